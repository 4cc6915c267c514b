#include "platform/Path.h"

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
