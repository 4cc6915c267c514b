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
// The pass and the file operations answer with a RunFlow: go on with the run, or
// stop it (No, Abort, Cancel, or a fatal error already reported). SyncCreateDir
// has a third outcome and its own CreateDirResult.
//
// The class is spread over files by what they hold:
//   SyncRun.cpp         the run over the list, the log file, summary and sounds
//   DirectoryPass.cpp   the pass over an item's two tops and their trees
//   FileOperations.cpp  copy, delete, create and remove, with their log lines
//   PairDecision.h      what happens to a pair of files (a pure function)
#pragma once

#include <compare>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "document/SyncItem.h"
#include "engine/FileTimes.h"
#include "engine/KeptListing.h"
#include "engine/PairDecision.h"
#include "engine/Patterns.h"
#include "engine/RememberedRun.h"
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
    // Items passed over by a No to one of this program's own questions (an
    // absent top, the deletion guard). No error of the summary, yet the run
    // did not do all it was asked: it ends as CompletedWithErrors.
    std::int32_t nPassedOver = 0;
    // Pairs changed on both sides since the last run, the older kept beside
    // itself under a conflict name (items that remember their state).
    std::int32_t nConflicts = 0;

    std::int64_t ErrorCount() const noexcept {
        return std::int64_t{nMkdirErrors} + nOtherErrors + nRmdirErrors + nDeleteErrors +
               nCopyErrors;
    }
};

// How a run ended; the CLI maps these to its exit statuses 0, 1 and 2.
enum class RunResult {
    Completed,           // went through the whole list, no error counted
    CompletedWithErrors, // went through the whole list, errors passed over (Yes, Ignore)
                         // or an item passed over by a No to one of our own questions
    Stopped              // stopped early: No, Abort, Cancel or a fatal error
};

// What the run does after a step of the pass or a file operation.
enum class [[nodiscard]] RunFlow : std::uint8_t{
    GoOn, // on with the next entry (also after Yes or Ignore)
    Stop  // end the run here: No, Abort, Cancel, or a fatal error already shown
};

// The outcome of creating a directory the other side has.
enum class [[nodiscard]] CreateDirResult : std::uint8_t{
    Created, // made; the pass fills it
    Skipped, // not made, the run goes on without it (Ignore)
    Stop     // not made, the run stops (Abort)
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
    // The file of the document being run (empty for one never saved): never
    // taken as its log file (LogFileCheck.h has the whole rule).
    void SetDocumentPath(std::string strDocPath) { m_strDocPath = std::move(strDocPath); }
    // The remembered state of the items that ask for it: its database (by
    // default DefaultStateDatabasePath(), looked up when a run starts) and
    // whether the run may write it (a dry run only reads it).
    void SetStateDatabase(std::string strPath) { m_strStatePath = std::move(strPath); }
    void SetStateReadOnly(bool bReadOnly) noexcept { m_bStateReadOnly = bReadOnly; }

    // One synchronisation of the whole list, in list order. The count and each
    // item are read afresh before each item (the host may let the list be edited
    // while it waits); nothing is kept pointing into the list across a yield.
    // A call made while a run is going on (through the host) does nothing and
    // returns Stopped: the two would share counters and log file.
    [[nodiscard]] RunResult Run(const CSyncItemList& list);

    const SYNCSTAT& GetStat() const noexcept { return m_stat; }
    bool IsRunning() const noexcept { return m_bRunning; }
    // True when the last run was cancelled before its first item: it wrote no
    // summary, and an unattended GUI run does not end the program then.
    bool StoppedBeforeFirstItem() const noexcept { return m_bStoppedBeforeFirstItem; }

    // The pass over one pair of paths as an item names them (the item's own two
    // top paths, after the wildcard list has been cut off): files, or trees.
    RunFlow SyncPair(const std::string& strPath1, const std::string& strPath2,
                     const CPatternSet& ps, CSyncOptions options);

private:
    struct FileCloser {
        void operator()(std::FILE* pFile) const noexcept;
    };

    // Asks the host for Cancel between the chunks of a copy, so that a large
    // file does not keep a cancelled run going; the copy is then abandoned.
    class CCopyCancel : public platform::ICopyObserver {
    public:
        explicit CCopyCancel(CSyncEngine& engine) : m_engine(engine) {}
        bool OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) override;

    private:
        CSyncEngine& m_engine;
    };

    // How a file operation ended after its Abort/Retry/Ignore questions. Redo:
    // the file changed since the pair was decided; nothing was done, and the
    // pair is to be decided again.
    enum class OpOutcome : std::uint8_t { Done, Ignored, Aborted, Redo };

    // How recent the attributes are that a pair of files is decided on.
    enum class PairSeen : std::uint8_t {
        Listed,    // from the directory's listing, perhaps minutes old
        Fresh,     // read again when the pair's turn came
        Redecided, // read again after a file changed under the pair's action
    };
    // What became of a pair of files.
    enum class FilesOutcome : std::uint8_t { GoOn, Stop, Redecide };

    RunFlow RunItem(const std::string& strItem1, const std::string& strItem2, CSyncOptions options,
                    const std::string& strPattern);
    void TakeWholePaths(const std::string& strItem1, const std::string& strItem2,
                        std::string& strTop1, std::string& strWild1, std::string& strTop2,
                        std::string& strWild2);
    bool TopsOverlap(const std::string& strTop1, const std::string& strTop2);

    // Attributes of an item's own path: a link to a directory counts as that
    // directory; a device, FIFO or socket is an error (EINVAL).
    platform::AttrStatus GetTopAttr(const std::string& strPath, platform::FileAttr& attr,
                                    int& nError);
    RunFlow SyncPairKnown(const std::string& strPath1, const platform::FileAttr* pAttr1,
                          const std::string& strPath2, const platform::FileAttr* pAttr2,
                          std::string_view strRel, const CPatternSet& ps, CSyncOptions options,
                          bool bTopLevel, PairSeen eSeen);
    // Reads both paths' attributes again and decides the pair on them.
    // A side that cannot be looked at below the top keeps what was seen
    // (pAttr1, pAttr2), so the operation reports the failure.
    RunFlow RedecidePair(const std::string& strPath1, const platform::FileAttr* pAttr1,
                         const std::string& strPath2, const platform::FileAttr* pAttr2,
                         std::string_view strRel, const CPatternSet& ps, CSyncOptions options,
                         bool bTopLevel, PairSeen eSeen);
    // What the decision of a pair of files (DecidePair) is given: the pass and
    // the deletion guard's count both build it here, so they never disagree.
    // The write times are compared only when both sides are present.
    // bForCount: for the deletion guard's count, which only wants deletions
    // (and copies as an estimate): no contents are read, and a pair present
    // on both sides is decided without the remembered state.
    PAIRINPUT PairInputFor(std::string_view strRel, const std::string& strPath1,
                           const platform::FileAttr* pAttr1, const std::string& strPath2,
                           const platform::FileAttr* pAttr2, CSyncOptions options, bool bForCount);
    // Decides a pair of files and carries the decision out. An action that
    // replaces or deletes is never carried out on listed attributes: Redecide.
    FilesOutcome SyncFiles(const std::string& strPath1, const platform::FileAttr* pAttr1,
                           const std::string& strPath2, const platform::FileAttr* pAttr2,
                           std::string_view strRel, CSyncOptions options, PairSeen eSeen,
                           bool bTopLevel);
    RunFlow SyncDirectory(const std::string& strDir1, const std::string& strDir2,
                          std::string_view strRel, const CPatternSet& ps,
                          const platform::FileAttr* pAttr1, const platform::FileAttr* pAttr2,
                          CSyncOptions options);
    RunFlow WalkDirectory(const std::string& strDir1, bool bList1, const std::string& strDir2,
                          bool bList2, std::string_view strRel, const CPatternSet& ps,
                          CSyncOptions options);
    // A tree listed whole before it is removed: each directory's listing in
    // the order the removal walks them (a directory, then each subdirectory's
    // tree in its listing's order). The walk takes them out as it goes.
    struct LISTEDDIR {
        std::string strPath;
        std::vector<platform::DirEntry> entries;
    };
    struct LISTEDTREE {
        std::vector<LISTEDDIR> dirs;
        std::size_t nNext = 0;     // the next listing the walk takes
        std::size_t nEntries = 0;  // entries listed, all directories together
        std::size_t nFiles = 0;    // of them not directories
        std::uint64_t nDevice = 0; // the file system of its top
        bool bCancelled = false;   // Cancel was pressed while it was listed
    };
    // Removes a directory that exists on one side only, as a whole. With the
    // trash on, a tree that would go entirely file by file goes to the trash
    // as one entry, its lines written as the file-by-file walk writes them;
    // any other tree goes file by file (RemoveTree) on the listing taken.
    RunFlow RemoveWholeTree(const std::string& strDir, int nSide);
    // Lists strDir's tree into tree as far as it can go whole; false as soon
    // as something in it would stay behind (or a listing fails or the tree is
    // too large to hold): the rest is listed by the walk as it comes to it.
    bool ListWholeTree(const std::string& strDir, const platform::FileAttr& attrRoot, int nSide,
                       LISTEDTREE& tree);
    // The lines and counts of a tree that went to the trash whole, in the
    // order RemoveTree writes them; dirs[nNext] is the directory strDir.
    void NoteTreeRemoved(LISTEDTREE& tree, int nSide);
    // Deletes a directory that exists on one side only, with everything in it
    // but FIFOs, sockets and devices; a directory that keeps one stays (and sets
    // *pKept, so its parents stay too). pTree: listings already taken for the
    // directories below, used instead of listing them again.
    RunFlow RemoveTree(const std::string& strDir, int nSide, bool* pKept = nullptr,
                       LISTEDTREE* pTree = nullptr);
    // One file of such a tree, deleted only while it is the one listed; one
    // that changed is looked at again once (a directory now, or a special file
    // that stays and sets bKept).
    RunFlow RemoveTreeFile(const std::string& strPath, int nSide,
                           const platform::FileAttr& attrListed, bool& bKept);
    // Before deleting because an item's top strAbsent is absent: asks when the
    // tree holds anything. bConfirmed false: pass over the item.
    RunFlow ConfirmMissingTop(const std::string& strAbsent, const std::string& strTree,
                              bool& bConfirmed);
    void FinishCreatedDir(const std::string& strModel, const std::string& strNew);

    // ---- The deletion guard (DeleteGuard.cpp) ----

    enum class GuardVerdict : std::uint8_t { GoOn, PassOver, Stop };
    // For an item of two directories whose options delete: counts what the
    // pass would delete on each side, keeping the listings for the pass, and
    // asks when the count calls for it. PassOver: the user said No (logged and
    // counted here); the item is to be left as it is.
    bool RememberedDeletes(CSyncOptions options) const noexcept;
    GuardVerdict GuardItem(const std::string& strTop1, const std::string& strTop2,
                           const CPatternSet& ps, CSyncOptions options);
    // The count walks the trees exactly as the pass will (the same selection,
    // pairing, decisions and nesting checks), without changing anything.
    void CountWalk(const std::string& strDir1, bool bList1, const std::string& strDir2, bool bList2,
                   std::string_view strRel, const CPatternSet& ps, CSyncOptions options,
                   DELETECOUNT& count);
    void CountPair(const std::string& strPath1, const platform::FileAttr* pAttr1,
                   const std::string& strPath2, const platform::FileAttr* pAttr2,
                   std::string_view strRel, const CPatternSet& ps, CSyncOptions options,
                   DELETECOUNT& count);
    void CountTree(const std::string& strDir, int nSide, DELETECOUNT& count);
    // Whether Cancel was pressed during the count (asked once per directory).
    bool CountCancelled();
    // Lists a directory for the count; false (nothing kept) when it cannot be.
    bool ListForCount(const std::string& strDir, std::vector<platform::DirEntry>& entries,
                      std::vector<std::string>& staleTemps);
    // True when a directory entered on side nSide (its attributes) is the
    // other side's top: the same tree reached twice, by a bind mount.
    bool IsOtherTop(const platform::FileAttr* pDir, int nSide) const noexcept;
    // Asks the question of nested tops for the item and ends the pass over it:
    // Stop, with m_bEndItem telling the run to go on with the next item (Yes).
    RunFlow EndItemNested();
    // Counts and shows a listing that did not fit in memory; the run stops.
    RunFlow OutOfMemory();
    // Lists one side of a walk; ENOENT gives an empty list. False after the
    // fatal message has been shown.
    [[nodiscard]] bool ListSide(const std::string& strDir,
                                std::vector<platform::DirEntry>& entries);
    // The same without a word on failure: 0 or the errno (ENOENT gives an
    // empty list and 0).
    [[nodiscard]] int ReadListing(const std::string& strDir,
                                  std::vector<platform::DirEntry>& entries);
    // Deletes the abandoned copy temporaries named in m_staleTemps from strDir.
    void DeleteStaleTemps(const std::string& strDir);
    // The same for those a directory holds, without listing the rest of it
    // (the directory of an item's single file).
    void ClearStaleTemps(const std::string& strDir);

    // ---- The remembered state (RememberedPass.cpp) ----

    // Loads the item's record when its options ask for it; a store that
    // fails is shown, and the item runs without it.
    void BeginRememberedItem(const std::string& strTop1, const std::string& strTop2,
                             CSyncOptions options);
    // Writes what the item's pass recorded, when it went through (bComplete).
    void EndRememberedItem(bool bComplete);
    // What the record says of a pair of files, into input.memory.
    void FillMemory(std::string_view strRel, const std::string& strPath1,
                    const platform::FileAttr* pAttr1, const std::string& strPath2,
                    const platform::FileAttr* pAttr2, bool bCompareContents, PAIRINPUT& input);
    // Whether an entry differs from its recorded side: type, size or write
    // time at the precision of the entry's file system.
    bool ChangedSince(const STATESIDE& recorded, const platform::FileAttr& attrNow);
    // Byte for byte (files too large to compare in memory count as different).
    bool SameContents(const std::string& strPath1, const std::string& strPath2);
    // Records what a pair of files became; a failed or skipped action keeps
    // the old record, so the next run decides as this one did.
    void RememberFiles(std::string_view strRel, const PAIRDECISION& decision, OpOutcome outcome,
                       const std::string& strPath1, const platform::FileAttr* pAttr1,
                       const std::string& strPath2, const platform::FileAttr* pAttr2);
    // Both sides changed: side nKeep's file is kept under a conflict name, the
    // other side's copied over it, the conflict copy copied to the other side.
    OpOutcome SyncConflict(std::string_view strRel, const std::string& strPath1,
                           const platform::FileAttr& attr1, const std::string& strPath2,
                           const platform::FileAttr& attr2, int nKeep, bool bLastChance);
    // The rule for a directory side nMissing lacks (the remembered one when
    // the record had it on both sides).
    MissingRule DecideMissingDir(std::string_view strRel, const std::string& strHave,
                                 const platform::FileAttr& attrHave, int nMissing,
                                 const CPatternSet& ps, CSyncOptions options);
    // Whether anything selected below strDir on side nSide differs from the
    // record (a listing that fails counts as a change).
    bool SubtreeChangedSince(const std::string& strDir, std::string_view strRel, int nSide,
                             const CPatternSet& ps, CSyncOptions options);
    // After a directory pair: recorded as on both sides when it is (bBothListed:
    // known without a look), forgotten when it is gone from both.
    void RememberDir(std::string_view strRel, const std::string& strDir1,
                     const std::string& strDir2, bool bBothListed);
    // A listed directory's recorded children that neither listing has.
    void ForgetAbsentChildren(std::string_view strRel,
                              const std::vector<platform::DirEntry>& entries1,
                              const std::vector<platform::DirEntry>& entries2);

    // ---- The file operations; each writes one log line per outcome ----

    // An empty directory.
    RunFlow SyncRemoveDir(const std::string& strPath, int nSide);
    // The count and line of a file deleted, and the line of a directory
    // removed: one place for the walk file by file and a tree gone whole.
    void NoteDeleted(const std::string& strPath, int nSide);
    void NoteRemovedDir(const std::string& strPath, int nSide);
    // Creates strNew (its parent must exist), writable. The pass gives the new
    // directory the model's permission bits and times once it has filled it.
    // nSide: the side strNew lies on.
    CreateDirResult SyncCreateDir(const std::string& strModel, const std::string& strNew,
                                  int nSide);

    // The copy and delete of a file, telling also whether the change was made.
    // bToSide1: the copy goes from side 2 to side 1 (strNew is the side-1 path).
    // The target must still be as expect says (the delete's: as pSeen, when
    // given); one that changed gives Redo, or, with bLastChance, the failure
    // box with the reason.
    [[nodiscard]] OpOutcome CopyFileImpl(const std::string& strExisting, const std::string& strNew,
                                         bool bToSide1, const platform::ExpectedTarget& expect,
                                         bool bLastChance);
    // The older version of a conflict, copied beside itself under strCopy (a
    // free name); a failure is asked about and logged as a copy's.
    [[nodiscard]] OpOutcome KeepConflictCopy(const std::string& strFile,
                                             const std::string& strCopy);
    // nSide: 1 or 2, the side the file lies on. bTopLevel: strPath is an item's
    // own path, whose attributes are those GetTopAttr reads.
    // A copy over an existing file in a run that keeps old versions: the
    // target's present version goes to the trash with the replace. 0 or errno.
    [[nodiscard]] int CopyKeepingOld(const std::string& strExisting, const std::string& strNew,
                                     const platform::ExpectedTarget& expect);
    // Once per file system: a log line that its overwrites keep nothing.
    void TellNoOldVersionKept(const platform::TrashResult& result);
    // Whether deletions on a file system without a usable trash are made for
    // good: the host is asked once per run and file system.
    bool DeleteWithoutTrash(const platform::TrashResult& result);
    // A deletion that found no trash and was not to be made for good: counted
    // and logged as passed over, the outcome Ignored, m_bDeletePassedOver set.
    [[nodiscard]] OpOutcome DeleteFileImpl(const std::string& strPath, int nSide,
                                           const platform::FileAttr* pSeen, bool bLastChance,
                                           bool bTopLevel = false);
    // Makes fnOperation (0 or errno) until it succeeds, asking Abort, Retry or
    // Ignore after each failure; Abort and Ignore count the error in nErrors and
    // log the failure line, strFailurePrefix followed by strSubject. With
    // pszChangedReason, platform::kErrTargetChanged means the file changed
    // since the decision: Redo at once, or with bLastChance the box with that
    // reason, whose Retry is a Redo.
    template <class F>
    OpOutcome TryOperation(F&& fnOperation, std::string_view strFailurePrefix,
                           const std::string& strSubject, std::int32_t& nErrors,
                           const char* pszChangedReason = nullptr, bool bLastChance = false);
    // The order of two files' write times, as precise as both file systems keep them.
    std::strong_ordering CompareWriteTimes(const platform::FileAttr& attr1,
                                           const platform::FileAttr& attr2);
    // Puts back the permission bits of an entry the operation did not replace.
    // Best effort: the failure of the operation itself is already reported.
    void RestoreMode(const std::string& strPath, std::uint32_t dwMode);

    // One line to the host's window, then to the log file when one is open.
    void WriteLog(const std::string& strLine);
    // The line of a change made, after telling the host its kind.
    void WriteActionLog(const std::string& strLine, RunActionKind eKind, int nSide);
    // The host's cancel flag, after letting waiting events through.
    bool CheckCancel();

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
    bool m_bCopyCancelled = false;  // a copy was abandoned for Cancel: stop, ask nothing
    bool m_bCopyOverwrites = false; // the next copy's target exists (told to the host)
    // File systems without a usable trash met in this run (by mount point):
    // whether their deletions are made for good (the answer to the question),
    // and those whose overwrites were told to keep no old version.
    std::unordered_map<std::string, bool> m_noTrashAnswers;
    std::unordered_set<std::string> m_noTrashToldOverwrite;
    bool m_bDeletePassedOver = false; // the last DeleteFileImpl left its file for want of a trash
    std::string m_strDocPath;
    CCopyCancel m_copyCancel{*this};
    SYNCSTAT m_stat;
    std::unique_ptr<std::FILE, FileCloser> m_pLogFile;
    std::string m_strLogScratch;           // a line with its end, written in one piece
    std::vector<std::string> m_staleTemps; // scratch for ListDir
    CKeptListing m_kept;                   // the current item's listings, counted by the guard
    bool m_bCountCancelled = false;        // Cancel was pressed while the guard counted
    CDeviceTimes m_deviceTimes;            // what the run has learnt of each device's times
    // The current item's paths as stored (for its questions), its tops' identities
    // (directories only), and whether a Stop of the pass ends only the item.
    std::string m_strItemShown1;
    std::string m_strItemShown2;
    platform::FileAttr m_topDirs[2];
    bool m_bTopDirs[2] = {false, false};
    bool m_bEndItem = false;
    // The remembered state of the run's items, and the run's local start time
    // (conflict names).
    CRememberedRun m_remembered;
    std::optional<std::string> m_strStatePath;
    bool m_bStateReadOnly = false;
    std::tm m_tmStart{};
};

} // namespace kovrel
