#include "DocumentLoad.h"

#include "text/Utf8.h"

#include <cstdio>
#include <cstring>

namespace kovrel::cli {

// Text as one line of valid UTF-8: control characters and bytes that are not
// part of a well-formed UTF-8 character are shown as \xHH, so a stray line feed
// in a name cannot split a fact in two and the output stays readable.
std::string PrintableText(std::string_view s) {
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

std::string QuotedForMessage(const std::string& strPath) {
    return "\"" + PrintableText(strPath) + "\"";
}

bool LoadDocumentOrReport(const std::string& strPath, CSyncItemList& list, int& nFileVersion,
                          KvdReadResult& read, std::ostream& err) {
    const KvdFileResult res = LoadKvdFile(strPath, list, nFileVersion);
    read = res.read;
    switch (res.eStatus) {
    case KvdFileStatus::Ok:
        return true;
    case KvdFileStatus::ForeignHeader:
        err << KVD_MSG_FOREIGN << '\n';
        break;
    case KvdFileStatus::ArchiveError:
        err << KVD_MSG_ARCHIVE_ERROR << '\n';
        break;
    case KvdFileStatus::OpenFailed:
        err << "kovrel-sync: cannot open " << QuotedForMessage(strPath) << ": "
            << std::strerror(res.nErrno) << '\n';
        break;
    case KvdFileStatus::ReadFailed:
        err << "kovrel-sync: cannot read " << QuotedForMessage(strPath) << ": "
            << std::strerror(res.nErrno) << '\n';
        break;
    default:
        err << "kovrel-sync: cannot read " << QuotedForMessage(strPath) << ": not a regular file\n";
        break;
    }
    return false;
}

} // namespace kovrel::cli
