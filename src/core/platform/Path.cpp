#include "platform/Path.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdint>

namespace kovrel::platform {

namespace {

// Length of strPath without its trailing separators; "/" keeps its one.
std::size_t TrimmedLength(std::string_view strPath) noexcept {
    std::size_t n = strPath.size();
    while (n > 1 && strPath[n - 1] == kPathSep)
        --n;
    return n;
}

} // namespace

PathParts SplitPath(std::string_view strPath) noexcept {
    const std::size_t n = TrimmedLength(strPath);
    if (n == 0)
        return {".", {}};
    if (n == 1 && strPath[0] == kPathSep)
        return {"/", {}};
    const std::size_t nSlash = strPath.rfind(kPathSep, n - 1);
    if (nSlash == std::string_view::npos)
        return {".", strPath.substr(0, n)};
    const std::string_view strName = strPath.substr(nSlash + 1, n - nSlash - 1);
    std::size_t nEnd = nSlash;
    while (nEnd > 0 && strPath[nEnd - 1] == kPathSep)
        --nEnd;
    if (nEnd == 0)
        return {"/", strName};
    return {strPath.substr(0, nEnd), strName};
}

std::string ParentPath(std::string_view strPath) {
    return std::string(SplitPath(strPath).strParent);
}

std::string DirPrefix(std::string_view strDir) {
    std::string str;
    str.reserve(strDir.size() + 64);
    str = strDir;
    if (str.empty() || str.back() != kPathSep)
        str.push_back(kPathSep);
    return str;
}

std::string JoinPath(std::string_view strDir, std::string_view strName) {
    std::string str = DirPrefix(strDir);
    str += strName;
    return str;
}

std::string NormalizePath(std::string_view strPath) {
    if (strPath.empty())
        return {};
    std::string strOut;
    strOut.reserve(strPath.size());
    const bool bAbsolute = strPath.front() == kPathSep;
    std::size_t nPos = 0;
    while (nPos < strPath.size()) {
        std::size_t nEnd = strPath.find(kPathSep, nPos);
        if (nEnd == std::string_view::npos)
            nEnd = strPath.size();
        const std::string_view strPart = strPath.substr(nPos, nEnd - nPos);
        if (!strPart.empty() && strPart != ".") {
            if (bAbsolute || !strOut.empty())
                strOut += kPathSep;
            strOut += strPart;
        }
        nPos = nEnd + 1;
    }
    if (strOut.empty())
        strOut = bAbsolute ? "/" : ".";
    return strOut;
}

bool IsSameOrInside(std::string_view strOuter, std::string_view strInner) noexcept {
    if (strOuter.empty() || strInner.size() < strOuter.size() ||
        strInner.compare(0, strOuter.size(), strOuter) != 0)
        return false;
    return strInner.size() == strOuter.size() || strOuter.back() == kPathSep ||
           strInner[strOuter.size()] == kPathSep;
}

} // namespace kovrel::platform

namespace kovrel::platform {

namespace {

bool IsLowerHex(std::string_view str) noexcept {
    return std::all_of(str.begin(), str.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A decimal number without a leading zero, at most 19 digits; false otherwise.
bool ParseDecimal(std::string_view str, std::uint64_t& n) noexcept {
    if (str.empty() || str.size() > 19 || (str[0] == '0' && str.size() > 1))
        return false;
    n = 0;
    for (const char c : str) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

} // namespace

bool ParseCopyTempName(std::string_view strName, std::string_view strPrefix,
                       CopyTempName& parts) noexcept {
    if (strName.substr(0, strPrefix.size()) != strPrefix)
        return false;
    std::string_view str = strName.substr(strPrefix.size());
    // <16 hex>-<32 hex>-<pid>-<counter>
    if (str.size() < 16 + 1 + 32 + 1 + 1 + 1 + 1 || str[16] != '-' || str[49] != '-')
        return false;
    const std::string_view strHost = str.substr(0, 16);
    const std::string_view strBoot = str.substr(17, 32);
    if (!IsLowerHex(strHost) || !IsLowerHex(strBoot))
        return false;
    str.remove_prefix(50);
    const std::size_t nDash = str.find('-');
    if (nDash == std::string_view::npos)
        return false;
    std::uint64_t nPid = 0;
    std::uint64_t nCounter = 0;
    if (!ParseDecimal(str.substr(0, nDash), nPid) || !ParseDecimal(str.substr(nDash + 1), nCounter))
        return false;
    parts.strHost = strHost;
    parts.strBoot = strBoot;
    parts.nPid = nPid;
    return true;
}

} // namespace kovrel::platform
