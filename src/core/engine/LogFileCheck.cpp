#include "engine/LogFileCheck.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "document/KvdFormat.h"
#include "text/Utf8.h"

namespace kovrel {

namespace {

int RetryOpen(const char* pszPath, int nFlags) {
    int fd;
    do {
        fd = ::open(pszPath, nFlags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool SameFile(const struct stat& a, const struct stat& b) noexcept {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The document is the log file when both name the same file (links and other
// spellings of the path included). A document not on disk is no file.
bool IsDocumentFile(const struct stat& stLog, const std::string& strDocPath) {
    if (strDocPath.empty())
        return false;
    struct stat stDoc {};
    return ::stat(strDocPath.c_str(), &stDoc) == 0 && SameFile(stLog, stDoc);
}

// What a file's attributes alone decide: not a regular file, the document
// itself, or empty (fine). Nothing when its first bytes must be read.
std::optional<LOGFILECHECK> JudgeAttributes(const struct stat& st, const std::string& strDocPath) {
    if (!S_ISREG(st.st_mode))
        return LOGFILECHECK{LogFileVerdict::NotRegularFile, 0};
    if (IsDocumentFile(st, strDocPath))
        return LOGFILECHECK{LogFileVerdict::IsDocument, 0};
    if (st.st_size == 0)
        return LOGFILECHECK{};
    return std::nullopt;
}

// The verdict on an open regular file, by its identity and its first bytes.
LOGFILECHECK JudgeOpenFile(int fd, const std::string& strDocPath) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return {LogFileVerdict::Unreadable, errno};
    if (const std::optional<LOGFILECHECK> byAttributes = JudgeAttributes(st, strDocPath))
        return *byAttributes;
    char szHead[kLogFileHeadBytes];
    ssize_t n;
    do {
        n = ::pread(fd, szHead, sizeof szHead, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return {LogFileVerdict::Unreadable, errno};
    return {JudgeLogFileHead(std::string_view(szHead, static_cast<std::size_t>(n))), 0};
}

std::string Quoted(const std::string& strPath) {
    return "'" + text::PrintableText(strPath) + "'";
}

} // namespace

LogFileVerdict JudgeLogFileHead(std::string_view strHead) noexcept {
    if (strHead.empty() || strHead.starts_with(kLogFileStart))
        return LogFileVerdict::Ok;
    // A document begins with its header's length byte, then the magic.
    if (strHead.substr(0, KVD_MAGIC.size() + 1).find(KVD_MAGIC) != std::string_view::npos)
        return LogFileVerdict::HoldsDocument;
    return LogFileVerdict::NotALog;
}

LOGFILECHECK CheckLogFile(const std::string& strPath, const std::string& strDocPath) {
    if (strPath.empty())
        return {};
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0)
        return {}; // absent, or not to be reached at all: nothing is written there
    // Decided before the file is opened where the attributes suffice, and
    // again on the open file (the name may have changed hands in between).
    if (const std::optional<LOGFILECHECK> byAttributes = JudgeAttributes(st, strDocPath))
        return *byAttributes;
    // O_NONBLOCK: should the name have become a FIFO since stat, the open
    // returns at once and the check below turns it down.
    const int fd = RetryOpen(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {LogFileVerdict::Unreadable, errno};
    const LOGFILECHECK check = JudgeOpenFile(fd, strDocPath);
    ::close(fd);
    return check;
}

LOGFILEOPEN OpenLogFileChecked(const LOGFILECHOICE& choice, const std::string& strDocPath) {
    LOGFILEOPEN result;
    const bool bAppend = choice.mode == LogFileMode::Append;
    // Anything but a regular file is refused before it is opened: opening a
    // device can have effects of its own.
    struct stat st {};
    if (::stat(choice.strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        result.check = {LogFileVerdict::NotRegularFile, 0};
        return result;
    }
    // Read and write: the first bytes decide whether it may be written. Never
    // O_TRUNC here: an overwrite empties the file only once it has passed.
    const int nFlags = O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (bAppend ? O_APPEND : 0);
    int fd = RetryOpen(choice.strPath.c_str(), O_RDWR | nFlags);
    bool bWriteOnly = false;
    if (fd < 0 && errno == EACCES) {
        // A file its owner may write but not read: only an empty one can be
        // told to be harmless.
        fd = RetryOpen(choice.strPath.c_str(), O_WRONLY | nFlags);
        bWriteOnly = fd >= 0;
    }
    if (fd < 0) {
        result.nOpenErrno = errno;
        return result;
    }
    if (bWriteOnly) {
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            result.check = {LogFileVerdict::NotRegularFile, 0};
        else if (IsDocumentFile(st, strDocPath))
            result.check = {LogFileVerdict::IsDocument, 0};
        else if (st.st_size != 0)
            result.check = {LogFileVerdict::Unreadable, EACCES};
    } else {
        result.check = JudgeOpenFile(fd, strDocPath);
    }
    if (result.check.eVerdict == LogFileVerdict::Ok && !bAppend && ::ftruncate(fd, 0) != 0)
        result.nOpenErrno = errno;
    if (result.check.eVerdict != LogFileVerdict::Ok || result.nOpenErrno != 0) {
        ::close(fd);
        return result;
    }
    // A regular file never blocks; the flag only guarded the open.
    const int nStatus = ::fcntl(fd, F_GETFL);
    if (nStatus >= 0)
        (void)::fcntl(fd, F_SETFL, nStatus & ~O_NONBLOCK);
    result.pFile = ::fdopen(fd, bAppend ? "ab" : "wb");
    if (!result.pFile) {
        result.nOpenErrno = errno;
        ::close(fd);
    }
    return result;
}

std::string LogFileRefusalText(const LOGFILECHECK& check, const std::string& strPath) {
    switch (check.eVerdict) {
    case LogFileVerdict::Ok:
        return {};
    case LogFileVerdict::NotRegularFile:
        return Quoted(strPath) + " は通常のファイルではないため、ログファイルにできません。";
    case LogFileVerdict::IsDocument:
        return Quoted(strPath) +
               " は開いているKVDファイルそのものなので、ログファイルにできません。";
    case LogFileVerdict::HoldsDocument:
        return Quoted(strPath) + " はKVDファイルなので、ログファイルにできません。";
    case LogFileVerdict::NotALog:
        return Quoted(strPath) +
               " はKovrelDuplicatorのログではないため、上書きも追加書込もできません。";
    case LogFileVerdict::Unreadable:
        return Quoted(strPath) + " の中身を確かめられないため、ログファイルにできません。";
    }
    return {};
}

std::string LogFileRunRefusalText(const LOGFILECHECK& check, const std::string& strPath) {
    return LogFileRefusalText(check, strPath) + "\nログファイルなしで同期を続けます。";
}

} // namespace kovrel
