// CSyncEngine, the directory pass: an item's two tops, the pairing of the
// names of two directories, the decision for each pair and the walk down the
// trees. What happens to a pair of files is decided by DecidePair
// (PairDecision.h); the operations themselves are in FileOperations.cpp.
#include "engine/SyncEngine.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "engine/PairDecision.h"
#include "engine/SyncEngineImpl.h"
#include "platform/Path.h"

namespace kovrel {

namespace {

using platform::AttrStatus;
using platform::DirEntry;
using platform::DirPrefix;
using platform::EntryType;
using platform::FileAttr;
using platform::IgnoreFailure;

// The program's own texts; %s and %d are filled in order by FormatText.
constexpr const char* kMsgAttrError =
    "エラー(%d)が発生しました。\n'%s'\nは不正なパス名，あるいは未接続の機器へのパスの可能性があり"
    "ます。\n無視して継続しますか？";
constexpr const char* kMsgListError =
    "エラー(%d)が発生しました。\n'%s'\nは不正なパス名，あるいは未接続の機器へのパスの可能性があり"
    "ます。\n処理を中止します。";
constexpr const char* kMsgFileAndDir =
    "ファイルとディレクトリの同期を行おうとしています。\n'%s' <-> '%s'\n無視して継続しますか？";
constexpr const char* kMsgSameName =
    "同名のファイルとディレクトリが存在します。\n'%s' <-> '%s'\n無視して継続しますか？";
constexpr const char* kMsgNoMemory = "メモリが不足しています。処理を継続できません中止します。";
constexpr const char* kMsgMissingTop = "'%s' が見つかりません。\n'%s' の中をすべて削除しますか？";

constexpr const char* kReasonSpecial =
    "a FIFO, socket or device file is never copied, replaced or deleted";

bool IsSpecial(const FileAttr* pAttr) noexcept {
    return pAttr && pAttr->type == EntryType::Other;
}

} // namespace

// The pairing walks both sorted listings in step, so a flat directory costs
// linear time. The file system already sorts; an unsorted listing would break the
// merge, so it is checked and sorted here if need be.
void EnsureSorted(std::vector<DirEntry>& entries) {
    if (!std::is_sorted(entries.begin(), entries.end(), platform::EntryLess))
        platform::SortEntries(entries);
}

// Pairs the names of both sides that differ at most in ASCII case. Within a group
// of such names (possible on a case-sensitive file system) identical names pair
// first, then the rest in listing order; what is left has no partner.
void PairByFoldedName(const std::vector<DirEntry>& e1, const std::vector<DirEntry>& e2,
                      std::vector<int>& match1, std::vector<int>& match2) {
    const std::size_t n1 = e1.size();
    const std::size_t n2 = e2.size();
    match1.assign(n1, -1);
    match2.assign(n2, -1);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n1 && j < n2) {
        const int nCmp = text::CompareFoldOnly(e1[i].strName, e2[j].strName);
        if (nCmp < 0) {
            ++i;
            continue;
        }
        if (nCmp > 0) {
            ++j;
            continue;
        }
        std::size_t iEnd = i + 1;
        while (iEnd < n1 && text::CompareFoldOnly(e1[iEnd].strName, e1[i].strName) == 0)
            ++iEnd;
        std::size_t jEnd = j + 1;
        while (jEnd < n2 && text::CompareFoldOnly(e2[jEnd].strName, e2[j].strName) == 0)
            ++jEnd;
        if (iEnd - i == 1 && jEnd - j == 1) {
            match1[i] = static_cast<int>(j);
            match2[j] = static_cast<int>(i);
        } else {
            for (std::size_t a = i; a < iEnd; ++a) {
                for (std::size_t b = j; b < jEnd; ++b) {
                    if (match2[b] < 0 && e1[a].strName == e2[b].strName) {
                        match1[a] = static_cast<int>(b);
                        match2[b] = static_cast<int>(a);
                        break;
                    }
                }
            }
            std::size_t b = j;
            for (std::size_t a = i; a < iEnd; ++a) {
                if (match1[a] >= 0)
                    continue;
                while (b < jEnd && match2[b] >= 0)
                    ++b;
                if (b == jEnd)
                    break;
                match1[a] = static_cast<int>(b);
                match2[b] = static_cast<int>(a);
            }
        }
        i = iEnd;
        j = jEnd;
    }
}

AttrStatus CSyncEngine::GetTopAttr(const std::string& strPath, FileAttr& attr, int& nError) {
    AttrStatus st = m_fs.GetAttr(strPath, attr, nError);
    if (st != AttrStatus::Ok)
        return st;
    // An item path naming a link to a directory means that directory: the user
    // chose it. Inside the trees links stay links and are never followed.
    if (attr.type == EntryType::Symlink) {
        std::string strReal;
        FileAttr attrReal;
        int nRealError = 0;
        // The same for a link to a file: its contents are what the user meant
        // (read from it, written through it), never the link.
        if (m_fs.RealPath(strPath, strReal) == 0 &&
            m_fs.GetAttr(strReal, attrReal, nRealError) == AttrStatus::Ok &&
            (attrReal.IsDirectory() || attrReal.type == EntryType::File))
            attr = attrReal;
    }
    // A device, FIFO or socket is never opened: as an item's own path it is an
    // invalid path.
    if (attr.type == EntryType::Other) {
        nError = EINVAL;
        return AttrStatus::Error;
    }
    return st;
}

RunFlow CSyncEngine::SyncPair(const std::string& strPath1, const std::string& strPath2,
                              const CPatternSet& ps, CSyncOptions options) {
    // Below these two nothing is reached through a link, whatever appears there
    // while the pass goes on.
    m_fs.SetTops(strPath1, strPath2);
    // What the deletion guard kept of this item is of no use to the next one.
    struct KeptClear {
        CKeptListing& kept;
        ~KeptClear() { kept.Clear(); }
    } keptClear{m_kept};
    FileAttr attr1;
    FileAttr attr2;
    int nError1 = 0;
    int nError2 = 0;
    const AttrStatus st1 = GetTopAttr(strPath1, attr1, nError1);
    if (st1 == AttrStatus::Error) {
        ++m_stat.nOtherErrors;
        return StopIf(!m_host.AskYesNoErrno(
            FormatText(kMsgAttrError, {Num(nError1), Shown(strPath1)}), nError1));
    }
    const AttrStatus st2 = GetTopAttr(strPath2, attr2, nError2);
    if (st2 == AttrStatus::Error) {
        ++m_stat.nOtherErrors;
        return StopIf(!m_host.AskYesNoErrno(
            FormatText(kMsgAttrError, {Num(nError2), Shown(strPath2)}), nError2));
    }
    if (st1 == AttrStatus::Ok)
        m_deviceTimes.Observe(attr1);
    if (st2 == AttrStatus::Ok)
        m_deviceTimes.Observe(attr2);
    // The same tree reached twice (one top a bind mount of the other) is the
    // same tree, whatever the paths say.
    m_bTopDirs[0] = st1 == AttrStatus::Ok && attr1.IsDirectory();
    m_bTopDirs[1] = st2 == AttrStatus::Ok && attr2.IsDirectory();
    m_topDirs[0] = attr1;
    m_topDirs[1] = attr2;
    if (m_bTopDirs[0] && IsOtherTop(&attr1, 1))
        return EndItemNested();
    switch (GuardItem(strPath1, strPath2, ps, options)) {
    case GuardVerdict::GoOn:
        break;
    case GuardVerdict::PassOver:
        return RunFlow::GoOn;
    case GuardVerdict::Stop:
        return RunFlow::Stop;
    }
    // An item of single files has no listing to find what a killed copy left
    // beside them: the directories that hold them are looked through for that.
    const bool bDirs = (st1 == AttrStatus::Ok && attr1.IsDirectory()) ||
                       (st2 == AttrStatus::Ok && attr2.IsDirectory());
    if (!bDirs && (st1 == AttrStatus::Ok || st2 == AttrStatus::Ok)) {
        // A copy through a top that links to a file leaves its temporary beside
        // the file it names.
        std::vector<std::string> dirs;
        for (const std::string* pPath : {&strPath1, &strPath2}) {
            dirs.push_back(platform::ParentPath(*pPath));
            std::string strReal;
            if (m_fs.RealPath(*pPath, strReal) == 0)
                dirs.push_back(platform::ParentPath(strReal));
        }
        for (std::size_t i = 0; i < dirs.size(); ++i)
            if (std::find(dirs.begin(), dirs.begin() + static_cast<std::ptrdiff_t>(i), dirs[i]) ==
                dirs.begin() + static_cast<std::ptrdiff_t>(i))
                ClearStaleTemps(dirs[i]);
    }
    // The tops' attributes were read just now: they count as fresh.
    return SyncPairKnown(strPath1, st1 == AttrStatus::Ok ? &attr1 : nullptr, strPath2,
                         st2 == AttrStatus::Ok ? &attr2 : nullptr, std::string_view(), ps, options,
                         true, PairSeen::Fresh);
}

RunFlow CSyncEngine::RedecidePair(const std::string& strPath1, const FileAttr* pAttr1,
                                  const std::string& strPath2, const FileAttr* pAttr2,
                                  std::string_view strRel, const CPatternSet& ps,
                                  CSyncOptions options, bool bTopLevel, PairSeen eSeen) {
    FileAttr attrs[2];
    AttrStatus states[2] = {AttrStatus::Absent, AttrStatus::Absent};
    const std::string* paths[2] = {&strPath1, &strPath2};
    const FileAttr* seen[2] = {pAttr1, pAttr2};
    for (int i = 0; i < 2; ++i) {
        int nError = 0;
        states[i] = bTopLevel ? GetTopAttr(*paths[i], attrs[i], nError)
                              : m_fs.GetAttr(*paths[i], attrs[i], nError);
        if (!bTopLevel && states[i] == AttrStatus::Error) {
            if (nError == ENOENT || nError == ENOTDIR) {
                // An entry whose directory one side lacks is absent there.
                states[i] = AttrStatus::Absent;
            } else {
                // What cannot be looked at now cannot be changed either: the
                // pair stays as listed, and the operation reports the failure
                // itself, as it always did.
                if (seen[i])
                    attrs[i] = *seen[i];
                states[i] = seen[i] ? AttrStatus::Ok : AttrStatus::Absent;
            }
        }
        if (states[i] == AttrStatus::Error) {
            ++m_stat.nOtherErrors;
            return StopIf(!m_host.AskYesNoErrno(
                FormatText(kMsgAttrError, {Num(nError), Shown(*paths[i])}), nError));
        }
        if (states[i] == AttrStatus::Ok)
            m_deviceTimes.Observe(attrs[i]);
    }
    return SyncPairKnown(strPath1, states[0] == AttrStatus::Ok ? &attrs[0] : nullptr, strPath2,
                         states[1] == AttrStatus::Ok ? &attrs[1] : nullptr, strRel, ps, options,
                         bTopLevel, eSeen);
}

// One pair whose attributes are known (null: absent). Below the top they come
// from the listing, so every entry is looked at once per side.
RunFlow CSyncEngine::SyncPairKnown(const std::string& strPath1, const FileAttr* pAttr1,
                                   const std::string& strPath2, const FileAttr* pAttr2,
                                   std::string_view strRel, const CPatternSet& ps,
                                   CSyncOptions options, bool bTopLevel, PairSeen eSeen) {
    if (!pAttr1 && !pAttr2)
        return RunFlow::GoOn;
    // A FIFO, socket or device holds its name on both sides: nothing is copied
    // over it, from it, or deleted because of it. Alone on its side it passes
    // silently, so trees with sockets in them do not fill the log.
    if (IsSpecial(pAttr1) || IsSpecial(pAttr2)) {
        if (!pAttr1 || !pAttr2)
            return RunFlow::GoOn;
        // A subdirectory the options leave unvisited is no action either.
        if (!bTopLevel && !options.Subdirs() && (pAttr1->IsDirectory() || pAttr2->IsDirectory()))
            return RunFlow::GoOn;
        WriteLog("Special file skipped " + Shown(IsSpecial(pAttr1) ? strPath1 : strPath2));
        m_host.ShowLineReason(kReasonSpecial);
        return StopIf(CheckCancel());
    }
    const bool bDir1 = pAttr1 && pAttr1->IsDirectory();
    const bool bDir2 = pAttr2 && pAttr2->IsDirectory();
    if (pAttr1 && pAttr2 && bDir1 != bDir2) {
        ++m_stat.nOtherErrors;
        return StopIf(!Ask(bTopLevel ? kMsgFileAndDir : kMsgSameName, strPath1, strPath2));
    }
    if (bDir1 || bDir2) {
        if (!bTopLevel && !options.Subdirs())
            return RunFlow::GoOn;
        return SyncDirectory(strPath1, strPath2, strRel, ps, pAttr1, pAttr2, options);
    }
    switch (SyncFiles(strPath1, pAttr1, strPath2, pAttr2, strRel, options, eSeen, bTopLevel)) {
    case FilesOutcome::Stop:
        return RunFlow::Stop;
    case FilesOutcome::Redecide:
        // Listed attributes become fresh ones; a file that changed under the
        // action gets one more decision.
        return RedecidePair(strPath1, pAttr1, strPath2, pAttr2, strRel, ps, options, bTopLevel,
                            eSeen == PairSeen::Listed ? PairSeen::Fresh : PairSeen::Redecided);
    case FilesOutcome::GoOn:
        break;
    }
    return StopIf(CheckCancel());
}

PAIRINPUT CSyncEngine::PairInputFor(std::string_view strRel, const std::string& strPath1,
                                    const FileAttr* pAttr1, const std::string& strPath2,
                                    const FileAttr* pAttr2, CSyncOptions options, bool bForCount) {
    PAIRINPUT input;
    input.options = options;
    if (pAttr1)
        input.side1 = {true, pAttr1->IsReadOnly()};
    if (pAttr2)
        input.side2 = {true, pAttr2->IsReadOnly()};
    if (pAttr1 && pAttr2)
        input.timeOrder = CompareWriteTimes(*pAttr1, *pAttr2);
    // The count wants deletions alone: what the last run saw matters only to
    // a pair that lacks a side, and no contents are read for it.
    if (!bForCount || !pAttr1 || !pAttr2)
        FillMemory(strRel, strPath1, pAttr1, strPath2, pAttr2, !bForCount, input);
    return input;
}

CSyncEngine::FilesOutcome
CSyncEngine::SyncFiles(const std::string& strPath1, const FileAttr* pAttr1,
                       const std::string& strPath2, const FileAttr* pAttr2, std::string_view strRel,
                       CSyncOptions options, PairSeen eSeen, bool bTopLevel) {
    const PAIRDECISION decision =
        DecidePair(PairInputFor(strRel, strPath1, pAttr1, strPath2, pAttr2, options, false));

    const bool bOnto1 = decision.nTarget == 1;
    const std::string& strTarget = bOnto1 ? strPath1 : strPath2;
    const FileAttr* pTargetAttr = bOnto1 ? pAttr1 : pAttr2;
    // A listing may be minutes old when a pair's turn comes (a large copy went
    // before it): what replaces or deletes a file is decided on what is there
    // now. Pairs with nothing to do are not looked at again, nor is a copy onto
    // a side that lacks the file: it replaces nothing, and its rename never
    // replaces a file that appeared meanwhile (the pair is decided afresh then).
    const bool bReplacesOrDeletes =
        ((decision.eAction == PairAction::Copy || decision.eAction == PairAction::Conflict) &&
         pTargetAttr) ||
        decision.eAction == PairAction::Delete;
    if (bReplacesOrDeletes && eSeen == PairSeen::Listed)
        return FilesOutcome::Redecide;
    const bool bLastChance = eSeen == PairSeen::Redecided;
    const auto outcomeOf = [](OpOutcome outcome) {
        switch (outcome) {
        case OpOutcome::Redo:
            return FilesOutcome::Redecide;
        case OpOutcome::Aborted:
            return FilesOutcome::Stop;
        case OpOutcome::Done:
        case OpOutcome::Ignored:
            break;
        }
        return FilesOutcome::GoOn;
    };
    OpOutcome outcome = OpOutcome::Done;
    switch (decision.eAction) {
    case PairAction::None:
        break;
    case PairAction::Copy: {
        m_bCopyOverwrites = pTargetAttr != nullptr;
        m_host.OnCopyStart(bOnto1 ? strPath2 : strPath1, (bOnto1 ? pAttr2 : pAttr1)->nSize);
        const platform::ExpectedTarget expect = platform::ExpectedTarget::Of(pTargetAttr);
        outcome = bOnto1 ? CopyFileImpl(strPath2, strPath1, true, expect, bLastChance)
                         : CopyFileImpl(strPath1, strPath2, false, expect, bLastChance);
        break;
    }
    case PairAction::Conflict:
        outcome = SyncConflict(strRel, strPath1, *pAttr1, strPath2, *pAttr2, decision.nTarget,
                               bLastChance);
        break;
    case PairAction::CopySkipped:
        WriteLog("Copy skipped " + Shown(strPath1) + (bOnto1 ? " <- " : " -> ") + Shown(strPath2));
        break;
    case PairAction::DeleteSkipped:
        WriteLog("Delete skipped " + Shown(strTarget));
        break;
    case PairAction::Delete: {
        const FileAttr& attr = bOnto1 ? *pAttr1 : *pAttr2;
        // Without its write bit the file could not be deleted on every system.
        if (decision.bClearReadOnly)
            IgnoreFailure(m_fs.SetMode(strTarget, attr.dwMode | kOwnerWrite));
        outcome = DeleteFileImpl(strTarget, decision.nTarget, &attr, bLastChance, bTopLevel);
        // A file that stays keeps its read-only attribute.
        if (decision.bClearReadOnly && outcome != OpOutcome::Done)
            RestoreMode(strTarget, attr.dwMode);
        break;
    }
    }
    RememberFiles(strRel, decision, outcome, strPath1, pAttr1, strPath2, pAttr2);
    return outcomeOf(outcome);
}

bool CSyncEngine::IsOtherTop(const FileAttr* pDir, int nSide) const noexcept {
    const int nOther = 2 - nSide; // index of the other side's top
    return pDir && pDir->IsDirectory() && m_bTopDirs[nOther] &&
           pDir->nDevice == m_topDirs[nOther].nDevice && pDir->nInode == m_topDirs[nOther].nInode;
}

RunFlow CSyncEngine::EndItemNested() {
    ++m_stat.nOtherErrors;
    m_bEndItem = Ask(kMsgOverlap, m_strItemShown1, m_strItemShown2);
    return RunFlow::Stop;
}

RunFlow CSyncEngine::SyncDirectory(const std::string& strDir1, const std::string& strDir2,
                                   std::string_view strRel, const CPatternSet& ps,
                                   const FileAttr* pAttr1, const FileAttr* pAttr2,
                                   CSyncOptions options) {
    // One comparison per directory entered: one that is the other side's top
    // would have the pass copy a tree into itself, level after level.
    if (!strRel.empty() && (IsOtherTop(pAttr1, 1) || IsOtherTop(pAttr2, 2)))
        return EndItemNested();
    const std::string* pModel = nullptr;   // the model of a directory created here
    const std::string* pCreated = nullptr; // and the new directory

    if (!pAttr1 || !pAttr2) {
        const bool bMissing1 = !pAttr1;
        const std::string& strHave = bMissing1 ? strDir2 : strDir1;
        const std::string& strLack = bMissing1 ? strDir1 : strDir2;
        switch (DecideMissingDir(strRel, strHave, bMissing1 ? *pAttr2 : *pAttr1, bMissing1 ? 1 : 2,
                                 ps, options)) {
        case MissingRule::Leave:
            return RunFlow::GoOn;
        case MissingRule::CopyOver:
            switch (SyncCreateDir(strHave, strLack, bMissing1 ? 1 : 2)) {
            case CreateDirResult::Stop:
                return RunFlow::Stop;
            case CreateDirResult::Skipped:
                return RunFlow::GoOn;
            case CreateDirResult::Created:
                break;
            }
            pModel = &strHave;
            pCreated = &strLack;
            break;
        case MissingRule::DeleteOther: {
            const bool bWhole = CanRemoveWholeDir(strRel, ps);
            if (bWhole) {
                const FileAttr& attrHave = bMissing1 ? *pAttr2 : *pAttr1;
                if (KeepsReadOnly(options, bMissing1 ? 2 : 1, attrHave.IsReadOnly())) {
                    WriteLog("Directory remove skipped " + Shown(strHave));
                    return StopIf(CheckCancel());
                }
            }
            // The item's own top is absent: an unmounted disk or a mistyped name
            // must not cost a whole tree without a word.
            if (strRel.empty()) {
                bool bConfirmed = false;
                if (ConfirmMissingTop(strLack, strHave, bConfirmed) == RunFlow::Stop)
                    return RunFlow::Stop;
                if (!bConfirmed)
                    return RunFlow::GoOn;
            }
            if (bWhole) {
                const RunFlow flowRemoved = RemoveWholeTree(strHave, bMissing1 ? 2 : 1);
                RememberDir(strRel, strDir1, strDir2, false);
                return flowRemoved;
            }
            // Exclusions forbid removing it whole: walk it, deleting what the
            // patterns select; the directory itself stays.
            break;
        }
        }
    }

    RunFlow flow = RunFlow::GoOn;
    if (pCreated && CheckCancel())
        flow = RunFlow::Stop;
    if (flow == RunFlow::GoOn) {
        // A directory just created is empty: no need to list it.
        flow = WalkDirectory(strDir1, pAttr1 != nullptr, strDir2, pAttr2 != nullptr, strRel, ps,
                             options);
    }
    if (pCreated)
        FinishCreatedDir(*pModel, *pCreated);
    if (flow == RunFlow::GoOn)
        RememberDir(strRel, strDir1, strDir2, pAttr1 && pAttr2);
    return flow;
}

RunFlow CSyncEngine::WalkDirectory(const std::string& strDir1, bool bList1,
                                   const std::string& strDir2, bool bList2, std::string_view strRel,
                                   const CPatternSet& ps, CSyncOptions options) {
    std::vector<DirEntry> entries1;
    std::vector<DirEntry> entries2;
    std::vector<int> match1;
    std::vector<int> match2;
    std::vector<char> selected1;
    try {
        if (bList1 && !ListSide(strDir1, entries1))
            return RunFlow::Stop;
        if (bList2 && !ListSide(strDir2, entries2))
            return RunFlow::Stop;
        EnsureSorted(entries1);
        EnsureSorted(entries2);
        PairByFoldedName(entries1, entries2, match1, match2);
        selected1.resize(entries1.size());
        ForgetAbsentChildren(strRel, entries1, entries2);
    } catch (const std::bad_alloc&) {
        return OutOfMemory();
    }

    const bool bThrough =
        VisitPairs(strDir1, entries1, strDir2, entries2, match1, match2, selected1, strRel, ps,
                   [&](const DirEntry* p1, const std::string& strPath1, const DirEntry* p2,
                       const std::string& strPath2, std::string_view strEntryRel) {
                       return SyncPairKnown(strPath1, p1 ? &p1->attr : nullptr, strPath2,
                                            p2 ? &p2->attr : nullptr, strEntryRel, ps, options,
                                            false, PairSeen::Listed) == RunFlow::GoOn;
                   });
    return StopIf(!bThrough);
}

RunFlow CSyncEngine::OutOfMemory() {
    ++m_stat.nOtherErrors;
    m_host.ShowError(kMsgNoMemory);
    return RunFlow::Stop;
}

RunFlow CSyncEngine::ConfirmMissingTop(const std::string& strAbsent, const std::string& strTree,
                                       bool& bConfirmed) {
    std::vector<DirEntry> entries;
    try {
        if (!ListSide(strTree, entries))
            return RunFlow::Stop;
    } catch (const std::bad_alloc&) {
        return OutOfMemory();
    }
    // An empty tree costs nothing: it goes as it always did.
    bConfirmed =
        entries.empty() ||
        m_host.AskMissingTop(FormatText(kMsgMissingTop, {Shown(strAbsent), Shown(strTree)}));
    if (!bConfirmed)
        ++m_stat.nPassedOver;
    return RunFlow::GoOn;
}

bool CSyncEngine::ListSide(const std::string& strDir, std::vector<DirEntry>& entries) {
    const int nError = ReadListing(strDir, entries);
    if (nError != 0) {
        ++m_stat.nOtherErrors;
        m_host.ShowErrorErrno(FormatText(kMsgListError, {Num(nError), Shown(strDir)}), nError);
        return false;
    }
    return true;
}

int CSyncEngine::ReadListing(const std::string& strDir, std::vector<DirEntry>& entries) {
    m_staleTemps.clear();
    // A directory the deletion guard listed is not listed again.
    const int nError = m_kept.Take(strDir, entries, m_staleTemps)
                           ? 0
                           : m_fs.ListDir(strDir, entries, &m_staleTemps);
    if (nError == ENOENT) {
        entries.clear();
        return 0;
    }
    if (nError != 0)
        return nError;
    for (const DirEntry& entry : entries)
        m_deviceTimes.Observe(entry.attr);
    DeleteStaleTemps(strDir);
    return 0;
}

void CSyncEngine::DeleteStaleTemps(const std::string& strDir) {
    // What an interrupted copy left behind is ours to clear away, unannounced:
    // one that cannot go now is tried again by the next run.
    if (!m_staleTemps.empty()) {
        const std::string strPrefix = DirPrefix(strDir);
        for (const std::string& strName : m_staleTemps)
            IgnoreFailure(m_fs.DeleteFile(strPrefix + strName));
        m_staleTemps.clear();
    }
}

void CSyncEngine::ClearStaleTemps(const std::string& strDir) {
    // A directory that cannot be read keeps its temporaries; the pair's own
    // operations report what is wrong with it.
    if (m_fs.ListStaleTemps(strDir, m_staleTemps) != 0) {
        m_staleTemps.clear();
        return;
    }
    DeleteStaleTemps(strDir);
}

void CSyncEngine::FinishCreatedDir(const std::string& strModel, const std::string& strNew) {
    // Best effort, as the creation's own attribute copy: failures stay silent.
    FileAttr attr;
    int nError = 0;
    if (m_fs.GetAttr(strModel, attr, nError) != AttrStatus::Ok)
        return;
    IgnoreFailure(m_fs.SetTimes(strNew, &attr.ftAccess, &attr.ftWrite));
    IgnoreFailure(m_fs.SetMode(strNew, attr.dwMode));
}

RunFlow CSyncEngine::RemoveTreeFile(const std::string& strPath, int nSide,
                                    const FileAttr& attrListed, bool& bKept) {
    FileAttr attr = attrListed;
    for (bool bLastChance = false;; bLastChance = true) {
        // Everything inside goes, read-only or not; the delete reports a file
        // that stays.
        if (attr.IsReadOnly())
            IgnoreFailure(m_fs.SetMode(strPath, attr.dwMode | kOwnerWrite));
        const OpOutcome outcome = DeleteFileImpl(strPath, nSide, &attr, bLastChance);
        if (m_bDeletePassedOver) {
            // It stays, and so does its directory; it keeps its attribute.
            if (attr.IsReadOnly())
                RestoreMode(strPath, attr.dwMode);
            bKept = true;
        }
        if (outcome != OpOutcome::Redo) {
            if (outcome == OpOutcome::Aborted)
                return RunFlow::Stop;
            return StopIf(CheckCancel());
        }
        // It changed since the listing: what is there now is looked at again.
        if (attr.IsReadOnly())
            RestoreMode(strPath, attr.dwMode);
        int nError = 0;
        AttrStatus status = m_fs.GetAttr(strPath, attr, nError);
        if (status == AttrStatus::Error && (nError == ENOENT || nError == ENOTDIR))
            status = AttrStatus::Absent; // its directory went with it
        switch (status) {
        case AttrStatus::Absent:
            return StopIf(CheckCancel());
        case AttrStatus::Error:
            ++m_stat.nOtherErrors;
            return StopIf(!m_host.AskYesNoErrno(
                FormatText(kMsgAttrError, {Num(nError), Shown(strPath)}), nError));
        case AttrStatus::Ok:
            break;
        }
        if (attr.IsDirectory())
            return RemoveTree(strPath, nSide, &bKept);
        if (attr.type == EntryType::Other) {
            bKept = true;
            return RunFlow::GoOn;
        }
    }
}

RunFlow CSyncEngine::RemoveWholeTree(const std::string& strDir, int nSide) {
    if (!m_settings.m_bUseTrash)
        return RemoveTree(strDir, nSide);
    // One entry in the trash, with one .trashinfo, costs far less than one for
    // each file. The directory itself is looked at, not a link to one (an
    // item's top may be a link: the walk removes what it leads to).
    LISTEDTREE tree;
    bool bWhole = false;
    FileAttr attrRoot;
    int nError = 0;
    if (m_fs.GetAttr(strDir, attrRoot, nError) == AttrStatus::Ok && attrRoot.IsDirectory()) {
        tree.nDevice = attrRoot.nDevice;
        try {
            bWhole = ListWholeTree(strDir, attrRoot, nSide, tree);
        } catch (const std::bad_alloc&) {
            bWhole = false; // the walk meets the shortage itself, where it always did
        }
    }
    if (tree.bCancelled)
        return RunFlow::Stop; // nothing of the tree is deleted yet
    // A tree of directories alone is only removed: nothing in it to restore.
    // A file that appears in the tree between its listing and the move goes to
    // the trash with it, without a line of its own: it is kept there, not lost.
    // A dry run's file system moves no directory (Failed): it walks the tree
    // file by file, which writes the same lines.
    if (bWhole && tree.nFiles > 0 &&
        m_fs.MoveToTrash(strDir).eStatus == platform::TrashStatus::Done) {
        // The tree is gone: the log says all of it before Cancel is looked at.
        NoteTreeRemoved(tree, nSide);
        return StopIf(CheckCancel());
    }
    // No trash there (the walk asks about it per file system as always), or a
    // tree that keeps something: file by file, on the listings already taken.
    return RemoveTree(strDir, nSide, nullptr, &tree);
}

bool CSyncEngine::ListWholeTree(const std::string& strDir, const FileAttr& attrDir, int nSide,
                                LISTEDTREE& tree) {
    // Whatever the walk would leave in place keeps the tree from going whole:
    // a directory it could not empty (without its write bit; another file
    // system mounted in it), entries a listing leaves out (trash directories,
    // live copy temporaries), special files, and the other side's top.
    if (attrDir.IsReadOnly() || attrDir.nDevice != tree.nDevice)
        return false;
    // Listing a large tree takes a while: Cancel is heard once per directory.
    if (CheckCancel()) {
        tree.bCancelled = true;
        return false;
    }
    std::size_t nUnlisted = 0;
    if (m_fs.CountUnlisted(strDir, nUnlisted) != 0 || nUnlisted != 0)
        return false;
    LISTEDDIR dir;
    dir.strPath = strDir;
    // A listing that fails is left to the walk, which reports it in its turn.
    if (ReadListing(strDir, dir.entries) != 0)
        return false;
    tree.nEntries += dir.entries.size();
    tree.dirs.push_back(std::move(dir));
    // A tree too large to hold is walked as it always was.
    if (tree.nEntries > CKeptListing::kDefaultMaxEntries)
        return false;
    const std::size_t iDir = tree.dirs.size() - 1;
    std::string strPath = DirPrefix(strDir);
    const std::size_t nBase = strPath.size();
    // By index: the listings below are added to tree.dirs as it goes.
    for (std::size_t i = 0; i < tree.dirs[iDir].entries.size(); ++i) {
        const DirEntry& entry = tree.dirs[iDir].entries[i];
        if (entry.attr.type == EntryType::Other)
            return false;
        if (!entry.attr.IsDirectory()) {
            ++tree.nFiles;
            continue;
        }
        if (IsOtherTop(&entry.attr, nSide))
            return false;
        strPath.resize(nBase);
        strPath += entry.strName;
        const FileAttr attrSub = entry.attr;
        if (!ListWholeTree(strPath, attrSub, nSide, tree))
            return false;
    }
    return true;
}

void CSyncEngine::NoteTreeRemoved(LISTEDTREE& tree, int nSide) {
    LISTEDDIR& dir = tree.dirs[tree.nNext++];
    std::string strPath = DirPrefix(dir.strPath);
    const std::size_t nBase = strPath.size();
    for (const DirEntry& entry : dir.entries) {
        if (entry.attr.IsDirectory()) {
            NoteTreeRemoved(tree, nSide);
            continue;
        }
        strPath.resize(nBase);
        strPath += entry.strName;
        NoteDeleted(strPath, nSide);
    }
    NoteRemovedDir(dir.strPath, nSide);
    std::vector<DirEntry>().swap(dir.entries);
}

RunFlow CSyncEngine::RemoveTree(const std::string& strDir, int nSide, bool* pKept,
                                LISTEDTREE* pTree) {
    std::vector<DirEntry> entries;
    if (pTree && pTree->nNext < pTree->dirs.size() && pTree->dirs[pTree->nNext].strPath == strDir) {
        // Listed already, stale temporaries cleared: taken as the walk's own.
        entries = std::move(pTree->dirs[pTree->nNext++].entries);
    } else {
        try {
            if (!ListSide(strDir, entries))
                return RunFlow::Stop;
        } catch (const std::bad_alloc&) {
            return OutOfMemory();
        }
    }
    std::string strPath = DirPrefix(strDir);
    const std::size_t nBase = strPath.size();
    // A FIFO, socket or device is never deleted; the directories that hold it
    // stay, each with its skip line.
    bool bKept = false;
    for (const DirEntry& entry : entries) {
        strPath.resize(nBase);
        strPath += entry.strName;
        RunFlow flow = RunFlow::GoOn;
        if (entry.attr.type == EntryType::Other) {
            bKept = true;
        } else if (entry.attr.IsDirectory()) {
            flow = IsOtherTop(&entry.attr, nSide) ? EndItemNested()
                                                  : RemoveTree(strPath, nSide, &bKept, pTree);
        } else {
            flow = RemoveTreeFile(strPath, nSide, entry.attr, bKept);
        }
        if (flow == RunFlow::Stop)
            return RunFlow::Stop;
    }
    if (bKept) {
        if (pKept)
            *pKept = true;
        WriteLog("Directory remove skipped " + Shown(strDir));
        return StopIf(CheckCancel());
    }
    if (SyncRemoveDir(strDir, nSide) == RunFlow::Stop)
        return RunFlow::Stop;
    return StopIf(CheckCancel());
}

std::strong_ordering CSyncEngine::CompareWriteTimes(const FileAttr& attr1, const FileAttr& attr2) {
    if (attr1.ftWrite == attr2.ftWrite)
        return std::strong_ordering::equal;
    return CompareFileTimes(attr1.ftWrite, m_deviceTimes.InfoFor(attr1.nDevice, m_fs),
                            attr2.ftWrite, m_deviceTimes.InfoFor(attr2.nDevice, m_fs));
}

} // namespace kovrel
