// The synchronisation run: the directory pass, the four file operations with
// their log lines, and the run over a document's whole item list.
//
// Use (GUI and CLI alike):
//
//     platform::PosixFileSystem fs;            // or an OverlayFileSystem over it for a dry run
//     CSyncEngine engine(fs, host, settings);  // host: a CRunHost, settings: CRunSettings
//     engine.SetNoLogFile(bDryRun);            // a dry run writes no log file
//     RunResult result = engine.Run(list);     // list: the document's CSyncItemList
//     const SYNCSTAT& stat = engine.GetStat(); // the counters of the run
//
// Before Run the host empties its log window, shows it and clears its cancel
// flag; after Run it turns its button back into "OK". Run is synchronous; it
// yields only through the host (CheckCancel and the questions).
//
// Result convention of the pass and the operations: 0 go on with the run, 1 stop
// (No, Abort or Cancel), -1 stop after an error already reported; SyncCreateDir
// has its own (see there).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/SyncItem.h"
#include "engine/Patterns.h"
#include "engine/RunHost.h"
#include "engine/RunSettings.h"
#include "platform/FileSystem.h"

namespace kovrel {

// The counters of a run, all reset when a run starts.
struct SYNCSTAT {
    std::int32_t nCopied1to2 = 0;
    std::int32_t nCopied2to1 = 0;
    std::int32_t nDeleted1 = 0;
    std::int32_t nDeleted2 = 0;
    std::int32_t nCopyErrors = 0;
    std::int32_t nDeleteErrors = 0;
    std::int32_t nMkdirErrors = 0;
    std::int32_t nRmdirErrors = 0;
    std::int32_t nOtherErrors = 0;
    // Byte length of the current item's side-1 top directory. Kept for the
    // record; the pass carries each entry's relative path itself.
    std::int32_t nRootLen = 0;

    std::int64_t ErrorCount() const noexcept {
        return std::int64_t{nMkdirErrors} + nOtherErrors + nRmdirErrors + nDeleteErrors +
               nCopyErrors;
    }
};

// How a run ended; the CLI maps these to its exit statuses 0, 1 and 2.
enum class RunResult {
    Completed,           // went through the whole list, no error counted
    CompletedWithErrors, // went through the whole list, errors passed over (Yes, Ignore)
    Stopped              // stopped early: No, Abort, Cancel or a fatal error
};

class CSyncEngine {
public:
    // Local broken-down time for the start and completed lines.
    using LocalTimeFn = std::function<std::tm()>;

    // fs, host and settings must outlive the engine.
    CSyncEngine(platform::FileSystem& fs, CRunHost& host, const CRunSettings& settings);
    ~CSyncEngine();
    CSyncEngine(const CSyncEngine&) = delete;
    CSyncEngine& operator=(const CSyncEngine&) = delete;

    // Replaces the clock (tests use a fixed time).
    void SetClock(LocalTimeFn fnLocalTime);
    // With true, Run opens no log file whatever the settings say; the lines still
    // go to the host.
    void SetNoLogFile(bool bNoLogFile) noexcept { m_bNoLogFile = bNoLogFile; }

    // One synchronisation of the whole list, in list order. The count and each
    // item are read afresh before each item (the host may let the list be edited
    // while it waits); nothing is kept pointing into the list across a yield.
    // A call made while a run is going on (through the host) does nothing and
    // returns Stopped: the two would share counters and log file.
    RunResult Run(const CSyncItemList& list);

    const SYNCSTAT& GetStat() const noexcept { return m_stat; }
    bool IsRunning() const noexcept { return m_bRunning; }
    // True when the last run was cancelled before its first item: it wrote no
    // summary, and an unattended GUI run does not end the program then.
    bool StoppedBeforeFirstItem() const noexcept { return m_bStoppedBeforeFirstItem; }

    // ---- The pass (result 0, 1 or -1) ----

    // The item's own two top paths.
    int SyncPair(const std::string& strPath1, const std::string& strPath2, const CPatternSet& ps,
                 std::uint32_t dwOption);
    // Deletes a directory that exists on one side only, with everything in it.
    int RemoveTree(const std::string& strDir, int nSide);

    // ---- The file operations; each writes one log line per outcome ----

    // bToSide1: the copy goes from side 2 to side 1 (strNew is the side-1 path).
    // 0 go on (also after Ignore), 1 stop (Abort).
    int SyncCopyFile(const std::string& strExisting, const std::string& strNew, bool bToSide1);
    // nSide: 1 or 2, the side the file lies on. 0 go on, 1 stop.
    int SyncDeleteFile(const std::string& strPath, int nSide);
    // An empty directory. 0 go on, 1 stop.
    int SyncRemoveDir(const std::string& strPath);
    // Creates strNew (its parent must exist), writable. 0 created, 1 not created
    // but go on without it (Ignore), -1 stop (Abort). The pass gives the new
    // directory the model's permission bits and times once it has filled it.
    int SyncCreateDir(const std::string& strModel, const std::string& strNew);

    // Times of the entry itself; a null pointer is not read or not set.
    // 0 or an error number.
    int GetFileTimes(const std::string& strPath, platform::FileTime* pAccess,
                     platform::FileTime* pWrite);
    int SetFileTimes(const std::string& strPath, const platform::FileTime* pAccess,
                     const platform::FileTime* pWrite);

    // One line to the host's window, then to the log file when one is open.
    int WriteLog(const std::string& strLine);
    // The host's cancel flag, after letting waiting events through.
    bool CheckCancel();

private:
    struct FileCloser {
        void operator()(std::FILE* pFile) const noexcept;
    };

    int RunItem(const std::string& strItem1, const std::string& strItem2, std::uint32_t dwOption,
                const std::string& strPattern);
    bool TopsOverlap(const std::string& strTop1, const std::string& strTop2);

    // Attributes of an item's own path: a link to a directory counts as that
    // directory; a device, FIFO or socket is an error (EINVAL).
    platform::AttrStatus GetTopAttr(const std::string& strPath, platform::FileAttr& attr,
                                    int& nError);
    int SyncPairKnown(const std::string& strPath1, const platform::FileAttr* pAttr1,
                      const std::string& strPath2, const platform::FileAttr* pAttr2,
                      std::string_view strRel, const CPatternSet& ps, std::uint32_t dwOption,
                      bool bTopLevel);
    int SyncFiles(const std::string& strPath1, const platform::FileAttr* pAttr1,
                  const std::string& strPath2, const platform::FileAttr* pAttr2,
                  std::uint32_t dwOption);
    int CopyOver(const std::string& strFrom, const std::string& strTo,
                 const platform::FileAttr& attrTo, bool bToSide1);
    int SyncDirectory(const std::string& strDir1, const std::string& strDir2,
                      std::string_view strRel, const CPatternSet& ps,
                      const platform::FileAttr* pAttr1, const platform::FileAttr* pAttr2,
                      std::uint32_t dwOption);
    int WalkDirectory(const std::string& strDir1, bool bList1, const std::string& strDir2,
                      bool bList2, std::string_view strRel, const CPatternSet& ps,
                      std::uint32_t dwOption);
    void FinishCreatedDir(const std::string& strModel, const std::string& strNew);
    // Lists one side of a walk; ENOENT gives an empty list. 0, or -1 after the
    // fatal message has been shown.
    int ListSide(const std::string& strDir, std::vector<platform::DirEntry>& entries);
    // The operations, telling also whether the change was made (false after Ignore
    // or Abort).
    int CopyFileImpl(const std::string& strExisting, const std::string& strNew, bool bToSide1,
                     bool& bDone);
    int DeleteFileImpl(const std::string& strPath, int nSide, bool& bDone);

    bool Ask(const char* pszFormat, const std::string& str1, const std::string& str2);
    void OpenLogFile(const CSyncItemList& list);
    void CloseLogFile() noexcept;
    std::string FormatTimeLine(const char* pszFormat);
    void PlaySound(BeepType nType);
    void WriteSummary();

    platform::FileSystem& m_fs;
    CRunHost& m_host;
    const CRunSettings& m_settings;
    LocalTimeFn m_fnLocalTime;
    bool m_bNoLogFile = false;
    bool m_bRunning = false;
    bool m_bStoppedBeforeFirstItem = false;
    SYNCSTAT m_stat;
    std::unique_ptr<std::FILE, FileCloser> m_pLogFile;
    std::vector<std::string> m_staleTemps; // scratch for ListDir
};

} // namespace kovrel
