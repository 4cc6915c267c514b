// CSyncEngine, the deletion guard: before an item whose options delete does
// anything, its trees are listed once and walked as the pass will walk them,
// counting per side the files the item selects and those it would delete. When
// that is most or all of a side the user is asked first; the listings are kept
// for the pass, which then lists nothing a second time. The pass reads a pair's
// attributes again before it replaces or deletes anything, so acting on a kept
// listing never acts on stale times.
#include "engine/DeleteGuard.h"

#include <new>

#include "engine/PairDecision.h"
#include "engine/SyncEngine.h"
#include "engine/SyncEngineImpl.h"
#include "platform/Path.h"

namespace kovrel {

namespace {

using platform::DirEntry;
using platform::DirPrefix;
using platform::EntryType;
using platform::FileAttr;

constexpr const char* kMsgMassDelete =
    "'%s' の %d 個のファイルのうち %d 個を削除します。\nよろしいですか？";

bool IsSpecialEntry(const FileAttr* pAttr) noexcept {
    return pAttr && pAttr->type == EntryType::Other;
}

} // namespace

bool OptionsDelete(CSyncOptions options) noexcept {
    return DecideMissing(options, 1) == MissingRule::DeleteOther ||
           DecideMissing(options, 2) == MissingRule::DeleteOther;
}

// Deletions an item that remembers its last run passes on from one side to the
// other, with options that delete nothing of themselves.
bool CSyncEngine::RememberedDeletes(CSyncOptions options) const noexcept {
    return m_remembered.Active() && options.UsesRememberedState() &&
           (DecideMissingRemembered(options, 1, false) == MissingRule::DeleteOther ||
            DecideMissingRemembered(options, 2, false) == MissingRule::DeleteOther);
}

bool GuardAsks(const DELETECOUNT& count, int nSide, int nPercent, int nMin) noexcept {
    const int x = nSide - 1;
    const std::int64_t nDeleted = count.nDeleted[x];
    const std::int64_t nHeld = count.nHeld[x];
    if (nDeleted <= 0)
        return false;
    if (count.nHeld[1 - x] == 0)
        return true;
    if (nDeleted >= nHeld && nHeld > 1)
        return true;
    return nDeleted * 100 >= std::int64_t{nPercent} * nHeld && nDeleted >= nMin;
}

CSyncEngine::GuardVerdict CSyncEngine::GuardItem(const std::string& strTop1,
                                                 const std::string& strTop2, const CPatternSet& ps,
                                                 CSyncOptions options) {
    // Items that delete nothing take the pass's own way, unchanged; so does an
    // item with an absent top, which has a question of its own.
    if (!m_settings.m_bDeleteGuard || !m_bTopDirs[0] || !m_bTopDirs[1] ||
        !(OptionsDelete(options) || RememberedDeletes(options)))
        return GuardVerdict::GoOn;
    DELETECOUNT count;
    m_bCountCancelled = false;
    try {
        CountWalk(strTop1, true, strTop2, true, std::string_view(), ps, options, count);
    } catch (const std::bad_alloc&) {
        m_kept.Clear();
        (void)OutOfMemory();
        return GuardVerdict::Stop;
    }
    if (m_bCountCancelled) {
        m_kept.Clear();
        return GuardVerdict::Stop;
    }
    m_host.OnDeleteCount(count);
    for (int nSide = 1; nSide <= 2; ++nSide) {
        if (!GuardAsks(count, nSide, m_settings.m_nDeleteGuardPercent,
                       m_settings.m_nDeleteGuardMin))
            continue;
        const std::string& strTop = nSide == 1 ? strTop1 : strTop2;
        const std::int64_t nHeld = count.nHeld[nSide - 1];
        const std::int64_t nDeleted = count.nDeleted[nSide - 1];
        // A Yes covers that side only: the other side's deletions get their
        // own question.
        if (m_host.AskMassDelete(
                FormatText(kMsgMassDelete, {Shown(strTop), Num(nHeld), Num(nDeleted)})))
            continue;
        m_kept.Clear();
        ++m_stat.nPassedOver;
        WriteLog("Item skipped (mass delete) " + Shown(strTop1) + " <-> " + Shown(strTop2));
        m_host.ShowLineReason("deleting " + Num(nDeleted) + " of " + Num(nHeld) +
                              " selected files under " + Shown(strTop) + " was not confirmed");
        return CheckCancel() ? GuardVerdict::Stop : GuardVerdict::PassOver;
    }
    return GuardVerdict::GoOn;
}

bool CSyncEngine::ListForCount(const std::string& strDir, std::vector<DirEntry>& entries,
                               std::vector<std::string>& staleTemps) {
    if (m_fs.ListDir(strDir, entries, &staleTemps) == 0)
        return true;
    // Not kept: the pass lists it itself and reports what is wrong in its turn.
    entries.clear();
    staleTemps.clear();
    return false;
}

// Listing a large tree on a slow disk takes a while: Cancel is heard once per
// directory, and ends the run before anything was done.
bool CSyncEngine::CountCancelled() {
    if (!m_bCountCancelled && CheckCancel())
        m_bCountCancelled = true;
    return m_bCountCancelled;
}

// As WalkDirectory: side 1's selected names first, then side 2's names that no
// selected side-1 name took, each side's path built with its own name.
void CSyncEngine::CountWalk(const std::string& strDir1, bool bList1, const std::string& strDir2,
                            bool bList2, std::string_view strRel, const CPatternSet& ps,
                            CSyncOptions options, DELETECOUNT& count) {
    if (CountCancelled())
        return;
    std::vector<DirEntry> entries1;
    std::vector<DirEntry> entries2;
    std::vector<std::string> stale1;
    std::vector<std::string> stale2;
    if (bList1 && !ListForCount(strDir1, entries1, stale1))
        return;
    if (bList2 && !ListForCount(strDir2, entries2, stale2)) {
        if (bList1)
            m_kept.Keep(strDir1, std::move(entries1), std::move(stale1));
        return;
    }
    EnsureSorted(entries1);
    EnsureSorted(entries2);
    std::vector<int> match1;
    std::vector<int> match2;
    PairByFoldedName(entries1, entries2, match1, match2);
    std::vector<char> selected1(entries1.size());
    VisitPairs(strDir1, entries1, strDir2, entries2, match1, match2, selected1, strRel, ps,
               [&](const DirEntry* p1, const std::string& strPath1, const DirEntry* p2,
                   const std::string& strPath2, std::string_view strEntryRel) {
                   CountPair(strPath1, p1 ? &p1->attr : nullptr, strPath2, p2 ? &p2->attr : nullptr,
                             strEntryRel, ps, options, count);
                   return true;
               });
    if (bList1)
        m_kept.Keep(strDir1, std::move(entries1), std::move(stale1));
    if (bList2)
        m_kept.Keep(strDir2, std::move(entries2), std::move(stale2));
}

// As SyncPairKnown and SyncDirectory below the top.
void CSyncEngine::CountPair(const std::string& strPath1, const FileAttr* pAttr1,
                            const std::string& strPath2, const FileAttr* pAttr2,
                            std::string_view strRel, const CPatternSet& ps, CSyncOptions options,
                            DELETECOUNT& count) {
    // A FIFO, socket or device is never deleted, nor anything because of it.
    if ((!pAttr1 && !pAttr2) || IsSpecialEntry(pAttr1) || IsSpecialEntry(pAttr2))
        return;
    const bool bDir1 = pAttr1 && pAttr1->IsDirectory();
    const bool bDir2 = pAttr2 && pAttr2->IsDirectory();
    if (pAttr1 && pAttr2 && bDir1 != bDir2)
        return; // the pass asks about it and leaves both
    if (bDir1 || bDir2) {
        if (!options.Subdirs())
            return;
        // The other side's top met again: the pass ends the item there.
        if (IsOtherTop(pAttr1, 1) || IsOtherTop(pAttr2, 2))
            return;
        if (pAttr1 && pAttr2) {
            CountWalk(strPath1, true, strPath2, true, strRel, ps, options, count);
            return;
        }
        const int nMissing = pAttr1 ? 2 : 1;
        const int nHave = 3 - nMissing;
        const std::string& strHave = pAttr1 ? strPath1 : strPath2;
        const FileAttr& attrHave = pAttr1 ? *pAttr1 : *pAttr2;
        switch (DecideMissingDir(strRel, strHave, attrHave, nMissing, ps, options)) {
        case MissingRule::Leave:
            return;
        case MissingRule::CopyOver:
            break;
        case MissingRule::DeleteOther:
            if (CanRemoveWholeDir(strRel, ps)) {
                if (!KeepsReadOnly(options, nHave, attrHave.IsReadOnly()))
                    CountTree(strHave, nHave, count);
                return;
            }
            break;
        }
        CountWalk(strPath1, pAttr1 != nullptr, strPath2, pAttr2 != nullptr, strRel, ps, options,
                  count);
        return;
    }
    if (pAttr1)
        ++count.nHeld[0];
    if (pAttr2)
        ++count.nHeld[1];
    const PAIRDECISION decision =
        DecidePair(PairInputFor(strRel, strPath1, pAttr1, strPath2, pAttr2, options, true));
    switch (decision.eAction) {
    case PairAction::Delete:
        ++count.nDeleted[decision.nTarget - 1];
        break;
    case PairAction::Copy:
        ++count.nCopies;
        count.nCopyBytes += (decision.nTarget == 1 ? pAttr2 : pAttr1)->nSize;
        break;
    case PairAction::Conflict:
        // The newer over the older, then the older kept on the other side too.
        count.nCopies += 2;
        count.nCopyBytes += pAttr1->nSize + pAttr2->nSize;
        break;
    case PairAction::None:
    case PairAction::CopySkipped:
    case PairAction::DeleteSkipped:
        break;
    }
}

// As RemoveTree: everything in it goes but FIFOs, sockets and devices.
void CSyncEngine::CountTree(const std::string& strDir, int nSide, DELETECOUNT& count) {
    if (CountCancelled())
        return;
    std::vector<DirEntry> entries;
    std::vector<std::string> staleTemps;
    if (!ListForCount(strDir, entries, staleTemps))
        return;
    std::string strPath = DirPrefix(strDir);
    const std::size_t nBase = strPath.size();
    for (const DirEntry& entry : entries) {
        if (entry.attr.type == EntryType::Other)
            continue;
        if (entry.attr.IsDirectory()) {
            if (!IsOtherTop(&entry.attr, nSide)) {
                strPath.resize(nBase);
                strPath += entry.strName;
                CountTree(strPath, nSide, count);
            }
            continue;
        }
        ++count.nHeld[nSide - 1];
        ++count.nDeleted[nSide - 1];
    }
    m_kept.Keep(strDir, std::move(entries), std::move(staleTemps));
}

} // namespace kovrel
