#include "ListCommand.h"

#include "document/KvdFormat.h"
#include "text/Utf8.h"

#include <cstdio>
#include <cstring>

namespace kovrel::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 3;

// Text as one line of valid UTF-8: control characters and bytes that are not
// part of a well-formed UTF-8 character are shown as \xHH, so a stray line feed
// in a name cannot split a fact in two and the output stays readable.
std::string Printable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = text::CharLen(s, i);
        const auto c = static_cast<unsigned char>(s[i]);
        if (n == 1 && (c < 0x20 || c == 0x7F || c >= 0x80)) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out.append(s.substr(i, n));
        }
        i += n;
    }
    return out;
}

void PrintField(std::ostream& out, const char* pszKey, const OptStr& str) {
    out << pszKey << ' ' << (str ? Printable(*str) : std::string("(null)")) << '\n';
}

// One line per line of the pattern text. A final line feed ends the last line
// rather than starting an empty one; empty lines inside the text are shown,
// since they are part of what the document holds.
void PrintPattern(std::ostream& out, const OptStr& str) {
    if (!str || str->empty())
        return;
    std::string_view rest = *str;
    while (!rest.empty()) {
        const std::size_t nLf = rest.find('\n');
        out << "pattern " << Printable(rest.substr(0, nLf)) << '\n';
        if (nLf == std::string_view::npos)
            break;
        rest.remove_prefix(nLf + 1);
    }
}

std::string Quoted(const std::string& strPath) {
    return "\"" + Printable(strPath) + "\"";
}

} // namespace

int RunListCommand(const std::string& strPath, std::ostream& out, std::ostream& err) {
    CSyncItemList list;
    int nFileVersion = KVD_VERSION_1_0;
    const KvdFileResult res = LoadKvdFile(strPath, list, nFileVersion);
    switch (res.eStatus) {
    case KvdFileStatus::Ok:
        break;
    case KvdFileStatus::ForeignHeader:
        err << KVD_MSG_FOREIGN << '\n';
        return kExitUnreadable;
    case KvdFileStatus::ArchiveError:
        err << KVD_MSG_ARCHIVE_ERROR << '\n';
        return kExitUnreadable;
    case KvdFileStatus::OpenFailed:
        err << "kovrel-sync: cannot open " << Quoted(strPath) << ": " << std::strerror(res.nErrno)
            << '\n';
        return kExitUnreadable;
    case KvdFileStatus::ReadFailed:
        err << "kovrel-sync: cannot read " << Quoted(strPath) << ": " << std::strerror(res.nErrno)
            << '\n';
        return kExitUnreadable;
    default:
        err << "kovrel-sync: cannot read " << Quoted(strPath) << ": not a regular file\n";
        return kExitUnreadable;
    }

    // A zero-byte file is an empty document without a header: nothing to print.
    if (res.read.bHasHeader)
        out << "version " << res.read.header.nMajor << '.' << res.read.header.nMinor << '\n';
    for (int i = 0; i < list.GetCount(); ++i) {
        const SYNCITEM* pItem = list.GetAt(i);
        out << "item " << (i + 1) << '\n';
        PrintField(out, "path1", pItem->lpszPath1);
        PrintField(out, "path2", pItem->lpszPath2);
        char buf[32];
        std::snprintf(buf, sizeof buf, "option 0x%08X\n", static_cast<unsigned>(pItem->dwOption));
        out << buf;
        PrintPattern(out, pItem->lpszPattern);
    }
    if (!list.m_strDocLog.empty())
        out << "doclog " << Printable(list.m_strDocLog) << '\n';
    out.flush();
    if (!out) {
        err << "kovrel-sync: cannot write the listing\n";
        return kExitUnreadable;
    }
    return kExitOk;
}

} // namespace kovrel::cli
