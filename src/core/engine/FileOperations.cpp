// CSyncEngine, the file operations: copy, delete, remove and create a
// directory. Each asks Abort, Retry or Ignore on failure, counts, and writes
// one log line for each outcome.
#include "engine/SyncEngine.h"

#include "engine/SyncEngineImpl.h"

#include <cerrno>

namespace kovrel {

using platform::IgnoreFailure;

template <class F>
CSyncEngine::OpOutcome CSyncEngine::TryOperation(F&& fnOperation, std::string_view strFailurePrefix,
                                                 const std::string& strSubject,
                                                 std::int32_t& nErrors) {
    for (;;) {
        const int nErrno = fnOperation();
        if (nErrno == 0)
            break;
        // A copy abandoned for Cancel is no failure: the run just stops.
        if (nErrno == ECANCELED && m_bCopyCancelled)
            return OpOutcome::Aborted;
        std::string strFailure(strFailurePrefix);
        strFailure += strSubject;
        const AbortRetryIgnore answer = m_host.AskAbortRetryIgnoreErrno(strFailure, nErrno);
        if (answer == AbortRetryIgnore::Retry)
            continue;
        ++nErrors;
        WriteLog(strFailure);
        return answer == AbortRetryIgnore::Abort ? OpOutcome::Aborted : OpOutcome::Ignored;
    }
    return OpOutcome::Done;
}

void CSyncEngine::RestoreMode(const std::string& strPath, std::uint32_t dwMode) {
    IgnoreFailure(m_fs.SetMode(strPath, dwMode));
}

RunFlow CSyncEngine::SyncCopyFile(const std::string& strExisting, const std::string& strNew,
                                  bool bToSide1) {
    return StopIf(CopyFileImpl(strExisting, strNew, bToSide1) == OpOutcome::Aborted);
}

CSyncEngine::OpOutcome CSyncEngine::CopyFileImpl(const std::string& strExisting,
                                                 const std::string& strNew, bool bToSide1) {
    // The side-1 path stands on the left, the arrow points at the target.
    const std::string strLine = bToSide1 ? Shown(strNew) + " <- " + Shown(strExisting)
                                         : Shown(strExisting) + " -> " + Shown(strNew);
    const OpOutcome outcome = TryOperation([&] { return m_fs.CopyFile(strExisting, strNew); },
                                           "Copy failed !! ", strLine, m_stat.nCopyErrors);
    if (outcome != OpOutcome::Done)
        return outcome;
    if (bToSide1)
        ++m_stat.nCopied2to1;
    else
        ++m_stat.nCopied1to2;
    WriteActionLog(strLine,
                   m_bCopyOverwrites ? RunActionKind::CopyOverwrite : RunActionKind::CopyNew,
                   bToSide1 ? 1 : 2);
    return outcome;
}

RunFlow CSyncEngine::SyncDeleteFile(const std::string& strPath, int nSide) {
    return StopIf(DeleteFileImpl(strPath, nSide) == OpOutcome::Aborted);
}

CSyncEngine::OpOutcome CSyncEngine::DeleteFileImpl(const std::string& strPath, int nSide) {
    const OpOutcome outcome =
        TryOperation([&] { return m_fs.DeleteFile(strPath); }, "Delete failed !! ", Shown(strPath),
                     m_stat.nDeleteErrors);
    if (outcome != OpOutcome::Done)
        return outcome;
    if (nSide == 1)
        ++m_stat.nDeleted1;
    else
        ++m_stat.nDeleted2;
    WriteActionLog(Shown(strPath) + " Deleted", RunActionKind::DeleteFile, nSide);
    return outcome;
}

RunFlow CSyncEngine::SyncRemoveDir(const std::string& strPath, int nSide) {
    const OpOutcome outcome =
        TryOperation([&] { return m_fs.RemoveDir(strPath); }, "Remove Dir. failed !! ",
                     Shown(strPath), m_stat.nRmdirErrors);
    if (outcome == OpOutcome::Done)
        WriteActionLog("Directory " + Shown(strPath) + " Removed", RunActionKind::RemoveDir, nSide);
    return StopIf(outcome == OpOutcome::Aborted);
}

CreateDirResult CSyncEngine::SyncCreateDir(const std::string& strModel, const std::string& strNew,
                                           int nSide) {
    (void)strModel; // its bits and times follow once the pass has filled the new one
    switch (TryOperation([&] { return m_fs.CreateDir(strNew); }, "Create Dir. failed !! ",
                         Shown(strNew), m_stat.nMkdirErrors)) {
    case OpOutcome::Aborted:
        return CreateDirResult::Stop;
    case OpOutcome::Ignored:
        return CreateDirResult::Skipped;
    case OpOutcome::Done:
        break;
    }
    WriteActionLog("Directory " + Shown(strNew) + " created", RunActionKind::CreateDir, nSide);
    return CreateDirResult::Created;
}

} // namespace kovrel
