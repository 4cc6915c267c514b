#include "DocumentLoad.h"

#include "text/Utf8.h"

#include <cstdio>
#include <cstring>

namespace kovrel::cli {

std::string PrintableText(std::string_view s) {
    return text::PrintableText(s);
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
        // The program's own text as the desktop program shows it, then which
        // document it is about: a script may run many.
        err << KVD_MSG_ARCHIVE_ERROR << '\n' << "kovrel-sync: " << QuotedForMessage(strPath);
        switch (res.read.eFault) {
        case KvdFault::TooLarge:
            err << " is larger than " << (KVD_MAX_FILE_BYTES >> 20)
                << " MiB, more than any document holds\n";
            break;
        case KvdFault::OutOfMemory:
            err << " holds more items than memory allows\n";
            break;
        default:
            err << " is cut short or damaged\n";
            break;
        }
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
