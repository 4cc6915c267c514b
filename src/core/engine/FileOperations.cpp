// CSyncEngine, the file operations: copy, delete, remove and create a
// directory. Each asks Abort, Retry or Ignore on failure, counts, and writes
// one log line for each outcome.
#include "engine/SyncEngine.h"

#include "engine/SyncEngineImpl.h"

#include <cerrno>

namespace kovrel {

using platform::AttrStatus;
using platform::ExpectedTarget;
using platform::FileAttr;
using platform::IgnoreFailure;
using platform::TrashResult;
using platform::TrashStatus;

namespace {

constexpr const char* kReasonCopyChanged = "changed during the copy";
constexpr const char* kReasonDeleteChanged = "changed before it could be deleted";

} // namespace

template <class F>
CSyncEngine::OpOutcome CSyncEngine::TryOperation(F&& fnOperation, std::string_view strFailurePrefix,
                                                 const std::string& strSubject,
                                                 std::int32_t& nErrors,
                                                 const char* pszChangedReason, bool bLastChance) {
    for (;;) {
        const int nErrno = fnOperation();
        if (nErrno == 0)
            break;
        // A copy abandoned for Cancel is no failure: the run just stops.
        if (nErrno == ECANCELED && m_bCopyCancelled)
            return OpOutcome::Aborted;
        const bool bChanged = pszChangedReason && nErrno == platform::kErrTargetChanged;
        if (bChanged && !bLastChance)
            return OpOutcome::Redo;
        std::string strFailure(strFailurePrefix);
        strFailure += strSubject;
        const AbortRetryIgnore answer =
            bChanged ? m_host.AskAbortRetryIgnoreReason(strFailure, pszChangedReason)
                     : m_host.AskAbortRetryIgnoreErrno(strFailure, nErrno);
        if (answer == AbortRetryIgnore::Retry) {
            // What changed is looked at again before anything is tried.
            if (bChanged)
                return OpOutcome::Redo;
            continue;
        }
        ++nErrors;
        WriteLog(strFailure);
        return answer == AbortRetryIgnore::Abort ? OpOutcome::Aborted : OpOutcome::Ignored;
    }
    return OpOutcome::Done;
}

void CSyncEngine::RestoreMode(const std::string& strPath, std::uint32_t dwMode) {
    IgnoreFailure(m_fs.SetMode(strPath, dwMode));
}

CSyncEngine::OpOutcome CSyncEngine::CopyFileImpl(const std::string& strExisting,
                                                 const std::string& strNew, bool bToSide1,
                                                 const ExpectedTarget& expect, bool bLastChance) {
    // The side-1 path stands on the left, the arrow points at the target.
    const std::string strLine = bToSide1 ? Shown(strNew) + " <- " + Shown(strExisting)
                                         : Shown(strExisting) + " -> " + Shown(strNew);
    const auto fnCopy = [&] {
        if (!m_settings.m_bUseTrash || !m_bCopyOverwrites)
            return m_fs.CopyFile(strExisting, strNew, expect);
        return CopyKeepingOld(strExisting, strNew, expect);
    };
    const OpOutcome outcome = TryOperation(fnCopy, "Copy failed !! ", strLine, m_stat.nCopyErrors,
                                           kReasonCopyChanged, bLastChance);
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

CSyncEngine::OpOutcome CSyncEngine::KeepConflictCopy(const std::string& strFile,
                                                     const std::string& strCopy) {
    return TryOperation([&] { return m_fs.CopyFile(strFile, strCopy, ExpectedTarget::None()); },
                        "Copy failed !! ", Shown(strFile) + " -> " + Shown(strCopy),
                        m_stat.nCopyErrors);
}

int CSyncEngine::CopyKeepingOld(const std::string& strExisting, const std::string& strNew,
                                const ExpectedTarget& expect) {
    // The old version is linked into the trash first, so the copy's rename
    // leaves it restorable; a replace that does not happen takes it out again.
    const TrashResult kept = m_fs.KeepInTrash(strNew);
    switch (kept.eStatus) {
    case TrashStatus::Done: {
        const int nErrno = m_fs.CopyFile(strExisting, strNew, expect);
        if (nErrno != 0)
            IgnoreFailure(m_fs.DropFromTrash(kept));
        return nErrno;
    }
    case TrashStatus::NoHardLinks: {
        // No links here: the old version moves to the trash right before the
        // copy puts the new one in its place (the name is briefly absent). It
        // must still be the file the decision saw.
        FileAttr attrNow;
        int nError = 0;
        const AttrStatus status = m_fs.GetAttr(strNew, attrNow, nError);
        if (status == AttrStatus::Error)
            return nError;
        if (!expect.Holds(status == AttrStatus::Ok ? &attrNow : nullptr))
            return platform::kErrTargetChanged;
        if (status == AttrStatus::Ok) {
            const TrashResult moved = m_fs.MoveToTrash(strNew);
            if (moved.eStatus == TrashStatus::NoTrash) {
                TellNoOldVersionKept(moved);
                return m_fs.CopyFile(strExisting, strNew, expect);
            }
            if (!moved.Ok())
                return moved.nError != 0 ? moved.nError : EIO;
        }
        return m_fs.CopyFile(strExisting, strNew, ExpectedTarget::None());
    }
    case TrashStatus::NoTrash:
        TellNoOldVersionKept(kept);
        return m_fs.CopyFile(strExisting, strNew, expect);
    case TrashStatus::Failed:
        // Gone meanwhile: nothing to keep, and the copy itself sees that the
        // target is not the one the decision saw.
        if (kept.nError == ENOENT)
            return m_fs.CopyFile(strExisting, strNew, expect);
        break;
    }
    // The old version could not be kept: it is not replaced either.
    return kept.nError != 0 ? kept.nError : EIO;
}

void CSyncEngine::TellNoOldVersionKept(const TrashResult& result) {
    if (!m_noTrashToldOverwrite.insert(result.strMountPoint).second)
        return;
    WriteLog("No trash on " + Shown(result.strMountPoint) +
             ": overwritten files there are not kept");
}

bool CSyncEngine::DeleteWithoutTrash(const TrashResult& result) {
    const auto it = m_noTrashAnswers.find(result.strMountPoint);
    if (it != m_noTrashAnswers.end())
        return it->second;
    const bool bYes =
        m_host.AskDeleteWithoutTrash(FormatText(kMsgNoTrash, {Shown(result.strMountPoint)}),
                                     Shown(result.strMountPoint), result.nError);
    m_noTrashAnswers.emplace(result.strMountPoint, bYes);
    return bYes;
}

CSyncEngine::OpOutcome CSyncEngine::DeleteFileImpl(const std::string& strPath, int nSide,
                                                   const FileAttr* pSeen, bool bLastChance,
                                                   bool bTopLevel) {
    m_bDeletePassedOver = false;
    bool bPassedOver = false;
    const auto fnDelete = [&] {
        // A file that is no longer the one the decision saw stays. The look
        // comes right before the unlink: nothing compares and unlinks at once.
        if (pSeen) {
            FileAttr attrNow;
            int nError = 0;
            const AttrStatus status = bTopLevel ? GetTopAttr(strPath, attrNow, nError)
                                                : m_fs.GetAttr(strPath, attrNow, nError);
            if (status == AttrStatus::Error)
                return nError;
            if (status == AttrStatus::Absent || !platform::IsSameEntry(*pSeen, attrNow))
                return platform::kErrTargetChanged;
        }
        if (!m_settings.m_bUseTrash)
            return m_fs.DeleteFile(strPath);
        const TrashResult moved = m_fs.MoveToTrash(strPath);
        switch (moved.eStatus) {
        case TrashStatus::Done:
            return 0;
        case TrashStatus::NoTrash:
        case TrashStatus::NoHardLinks: // a move needs no links: never said of one
            if (DeleteWithoutTrash(moved))
                return m_fs.DeleteFile(strPath);
            bPassedOver = true;
            return 0;
        case TrashStatus::Failed:
            break;
        }
        return moved.nError != 0 ? moved.nError : EIO;
    };
    const OpOutcome outcome = TryOperation(fnDelete, "Delete failed !! ", Shown(strPath),
                                           m_stat.nDeleteErrors, kReasonDeleteChanged, bLastChance);
    if (outcome != OpOutcome::Done)
        return outcome;
    if (bPassedOver) {
        // Left where it is: no trash there, and no one said to delete for good.
        ++m_stat.nPassedOver;
        m_bDeletePassedOver = true;
        WriteLog("Delete skipped (no trash) " + Shown(strPath));
        return OpOutcome::Ignored;
    }
    NoteDeleted(strPath, nSide);
    return outcome;
}

void CSyncEngine::NoteDeleted(const std::string& strPath, int nSide) {
    if (nSide == 1)
        ++m_stat.nDeleted1;
    else
        ++m_stat.nDeleted2;
    WriteActionLog(Shown(strPath) + " Deleted", RunActionKind::DeleteFile, nSide);
}

void CSyncEngine::NoteRemovedDir(const std::string& strPath, int nSide) {
    WriteActionLog("Directory " + Shown(strPath) + " Removed", RunActionKind::RemoveDir, nSide);
}

RunFlow CSyncEngine::SyncRemoveDir(const std::string& strPath, int nSide) {
    const OpOutcome outcome =
        TryOperation([&] { return m_fs.RemoveDir(strPath); }, "Remove Dir. failed !! ",
                     Shown(strPath), m_stat.nRmdirErrors);
    if (outcome == OpOutcome::Done)
        NoteRemovedDir(strPath, nSide);
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
    case OpOutcome::Redo: // never without a reason for it
        return CreateDirResult::Skipped;
    case OpOutcome::Done:
        break;
    }
    WriteActionLog("Directory " + Shown(strNew) + " created", RunActionKind::CreateDir, nSide);
    return CreateDirResult::Created;
}

} // namespace kovrel
