#include "RunCommand.h"

#include "CliArgs.h"
#include "CliSettings.h"
#include "DocumentLoad.h"
#include "document/KvdFormat.h"
#include "engine/ListRun.h"
#include "engine/Patterns.h"
#include "platform/PosixFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel::cli {

int RunDocumentCommand(const std::string& strPath, const RUNOPTIONS& options) {
    CSyncItemList list;
    int nFileVersion = KVD_VERSION_1_0;
    KvdReadResult read;
    if (!LoadDocumentOrReport(strPath, list, nFileVersion, read, std::cerr))
        return kExitUnreadable;

    CRunSettings settings = ReadRunSettings();
    if (options.oUseTrash)
        settings.m_bUseTrash = *options.oUseTrash;
    CCliHost::InstallInterruptHandler();
    CCliHost host(options.answers, stdout, stderr);
    // Only a terminal gets the line drawn in place; a file or pipe gets
    // nothing extra.
    if (options.bProgress && ::isatty(STDERR_FILENO))
        host.EnableProgress();

    // A dry run goes through an overlay over the real file system (ListRun.h).
    platform::PosixFileSystem fsReal;
    const LISTRUNRESULT run = RunSyncList(fsReal, options.bDryRun, host, settings, list, strPath);
    host.ClearProgress();
    switch (run.result) {
    case RunResult::Completed:
        return kExitCompleted;
    case RunResult::CompletedWithErrors:
        return kExitCompletedWithErrors;
    case RunResult::Stopped:
        break;
    }
    return kExitStopped;
}

int AddItemCommand(const std::string& strPath, const std::string& strPath1,
                   const std::string& strPath2, const char* pszOption, const char* pszPattern) {
    CSyncItemList list;
    int nFileVersion = KVD_VERSION_1_0;
    struct stat st {};
    if (::stat(strPath.c_str(), &st) == 0) {
        KvdReadResult read;
        if (!LoadDocumentOrReport(strPath, list, nFileVersion, read, std::cerr))
            return kExitUnreadable;
        if (nFileVersion != KVD_VERSION_1_0) {
            // Saving would either drop information or convert the file; that is
            // the user's decision, made in the desktop program.
            std::cerr << "kovrel-sync: " << QuotedForMessage(strPath)
                      << " is in the old layout; open and save it in Kovrel Duplicator first\n";
            return kExitUnreadable;
        }
    } else if (errno != ENOENT) {
        std::cerr << "kovrel-sync: cannot open " << QuotedForMessage(strPath) << ": "
                  << std::strerror(errno) << '\n';
        return kExitUnreadable;
    }

    std::uint32_t dwOption = 0;
    if (pszOption) {
        const std::optional<std::uint32_t> word = ParseOptionWord(pszOption);
        if (!word) {
            std::cerr << "kovrel-sync: not an option word: " << pszOption << '\n';
            return kExitUnreadable;
        }
        dwOption = *word;
    }

    std::string strPattern;
    if (pszPattern)
        strPattern = NormalizePatternText(pszPattern);
    SYNCITEM* pItem = list.SetAt(-1, strPath1.c_str(), strPath2.c_str(),
                                 pszPattern ? strPattern.c_str() : nullptr);
    if (!pItem) {
        std::cerr << "kovrel-sync: out of memory\n";
        return kExitUnreadable;
    }
    pItem->dwOption = dwOption;

    const KvdFileResult res = SaveKvdFile(strPath, list, KVD_VERSION_1_0);
    if (res.eStatus != KvdFileStatus::Ok) {
        std::cerr << "kovrel-sync: cannot save " << QuotedForMessage(strPath) << ": "
                  << std::strerror(res.nErrno ? res.nErrno : EIO) << '\n';
        return kExitUnreadable;
    }
    return 0;
}

} // namespace kovrel::cli
