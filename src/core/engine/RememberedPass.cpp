// CSyncEngine, the remembered state in the pass: what the last run recorded of
// a pair goes into its decision (PairDecision.h), what the pair became is
// recorded for the next run (RememberedRun.h), and a conflict keeps both
// versions. Items that do not remember their state never get here past a
// flag test.
#include "engine/SyncEngine.h"

#include <algorithm>
#include <new>

#include "engine/SyncEngineImpl.h"
#include "platform/Path.h"

namespace kovrel {

namespace {

using platform::AttrStatus;
using platform::DirEntry;
using platform::EntryType;
using platform::FileAttr;

// What is recorded of one side. A directory's size and time change with what
// is put in it; whether anything inside changed is found from its entries.
STATESIDE SideOf(const FileAttr& attr) noexcept {
    if (attr.IsDirectory())
        return STATESIDE{true, EntryType::Directory, 0, {}};
    return STATESIDE::Of(attr);
}

STATESIDE SideOf(const FileAttr* pAttr) noexcept {
    return pAttr ? SideOf(*pAttr) : STATESIDE{};
}

// The relative path of a name beside strRel's entry.
std::string SiblingRel(std::string_view strRel, std::string_view strName) {
    const std::size_t nSep = strRel.rfind(kPathSep);
    std::string str(strRel.substr(0, nSep == std::string_view::npos ? 0 : nSep + 1));
    str += strName;
    return str;
}

} // namespace

void CSyncEngine::BeginRememberedItem(const std::string& strTop1, const std::string& strTop2,
                                      CSyncOptions options) {
    if (!options.UsesRememberedState())
        return;
    const STATERESULT result = m_remembered.BeginItem(strTop1, strTop2);
    if (!result.Ok())
        m_host.ShowError(StateErrorMessage(result));
}

void CSyncEngine::EndRememberedItem(bool bComplete) {
    const STATERESULT result = m_remembered.EndItem(bComplete);
    if (!result.Ok())
        m_host.ShowError(StateErrorMessage(result));
}

bool CSyncEngine::ChangedSince(const STATESIDE& recorded, const FileAttr& attrNow) {
    if (!recorded.bPresent || recorded.type != attrNow.type)
        return true;
    if (attrNow.IsDirectory())
        return false;
    if (recorded.nSize != attrNow.nSize)
        return true;
    if (recorded.ftWrite == attrNow.ftWrite)
        return false;
    // A time stored by a coarser file system is the same time.
    const platform::TimeInfo info = m_deviceTimes.InfoFor(attrNow.nDevice, m_fs);
    return CompareFileTimes(recorded.ftWrite, info, attrNow.ftWrite, info) != 0;
}

bool CSyncEngine::SameContents(const std::string& strPath1, const std::string& strPath2) {
    // One that cannot be read counts as different: both versions are kept.
    bool bSame = false;
    return m_fs.CompareFiles(strPath1, strPath2, bSame) == 0 && bSame;
}

void CSyncEngine::FillMemory(std::string_view strRel, const std::string& strPath1,
                             const FileAttr* pAttr1, const std::string& strPath2,
                             const FileAttr* pAttr2, bool bCompareContents, PAIRINPUT& input) {
    if (!m_remembered.Active() || !input.options.UsesRememberedState())
        return;
    // An item's own file that is absent may lie on a disk not mounted now:
    // that is never taken for a deletion.
    if (strRel.empty() && (!pAttr1 || !pAttr2))
        return;
    const STATEENTRY* pEntry = m_remembered.Find(strRel);
    if (!pEntry || !pEntry->side1.bPresent || !pEntry->side2.bPresent)
        return;
    PAIRMEMORY& memory = input.memory;
    memory.bKnown = true;
    memory.bChanged1 = pAttr1 && ChangedSince(pEntry->side1, *pAttr1);
    memory.bChanged2 = pAttr2 && ChangedSince(pEntry->side2, *pAttr2);
    if (bCompareContents && pAttr1 && pAttr2 && memory.bChanged1 && memory.bChanged2 &&
        pAttr1->type == EntryType::File && pAttr2->type == EntryType::File &&
        pAttr1->nSize == pAttr2->nSize)
        memory.bSameContents = SameContents(strPath1, strPath2);
}

void CSyncEngine::RememberFiles(std::string_view strRel, const PAIRDECISION& decision,
                                OpOutcome outcome, const std::string& strPath1,
                                const FileAttr* pAttr1, const std::string& strPath2,
                                const FileAttr* pAttr2) {
    if (!m_remembered.Active() || outcome != OpOutcome::Done)
        return;
    switch (decision.eAction) {
    case PairAction::None:
        m_remembered.Record(strRel, STATEENTRY{SideOf(pAttr1), SideOf(pAttr2)});
        break;
    case PairAction::Copy:
    case PairAction::Conflict: {
        // The source as the pair saw it: an edit made to it since is a change
        // for the next run. The target as the copy made it.
        const bool bOnto1 = decision.nTarget == 1;
        FileAttr attrMade;
        int nError = 0;
        if (m_fs.GetAttr(bOnto1 ? strPath1 : strPath2, attrMade, nError) != AttrStatus::Ok)
            break;
        const STATESIDE made = SideOf(attrMade);
        const STATESIDE source = SideOf(bOnto1 ? pAttr2 : pAttr1);
        m_remembered.Record(strRel, bOnto1 ? STATEENTRY{made, source} : STATEENTRY{source, made});
        break;
    }
    case PairAction::Delete:
        m_remembered.Forget(strRel);
        break;
    case PairAction::CopySkipped:
    case PairAction::DeleteSkipped:
        break;
    }
}

CSyncEngine::OpOutcome CSyncEngine::SyncConflict(std::string_view strRel,
                                                 const std::string& strPath1, const FileAttr& attr1,
                                                 const std::string& strPath2, const FileAttr& attr2,
                                                 int nKeep, bool bLastChance) {
    const bool bKeep1 = nKeep == 1;
    const std::string& strKeep = bKeep1 ? strPath1 : strPath2;
    const std::string& strOther = bKeep1 ? strPath2 : strPath1;
    const FileAttr& attrKeep = bKeep1 ? attr1 : attr2;
    const FileAttr& attrOther = bKeep1 ? attr2 : attr1;

    // A name free on both sides, for the kept version and its copy.
    const std::string strName(platform::SplitPath(strKeep).strName);
    const std::string strDirKeep = platform::ParentPath(strKeep);
    const std::string strDirOther = platform::ParentPath(strOther);
    std::string strConflictName;
    std::string strConflictKeep;
    std::string strConflictOther;
    for (int nNumber = 1;; ++nNumber) {
        strConflictName = ConflictName(strName, m_tmStart, nNumber);
        strConflictKeep = platform::JoinPath(strDirKeep, strConflictName);
        strConflictOther = platform::JoinPath(strDirOther, strConflictName);
        FileAttr attr;
        int nError = 0;
        if (m_fs.GetAttr(strConflictKeep, attr, nError) == AttrStatus::Absent &&
            m_fs.GetAttr(strConflictOther, attr, nError) == AttrStatus::Absent)
            break;
    }

    // First the older version is kept: nothing is replaced before it is safe.
    OpOutcome outcome = KeepConflictCopy(strKeep, strConflictKeep);
    if (outcome != OpOutcome::Done)
        return outcome;

    // The newer replaces it as any copy does. One that does not (it failed,
    // or the file changed meanwhile and the pair is decided again) leaves the
    // file as it was: the copy just made goes again, so none piles up.
    m_bCopyOverwrites = true;
    m_host.OnCopyStart(strOther, attrOther.nSize);
    outcome = CopyFileImpl(strOther, strKeep, bKeep1, platform::ExpectedTarget::Of(&attrKeep),
                           bLastChance);
    if (outcome != OpOutcome::Done) {
        platform::IgnoreFailure(m_fs.DeleteFile(strConflictKeep));
        return outcome;
    }
    ++m_stat.nConflicts;
    WriteLog("Conflict kept " + Shown(strConflictKeep));

    // The kept version goes to the other side too, so that neither side's
    // next run (nor a delete option) takes it away unseen.
    m_bCopyOverwrites = false;
    m_host.OnCopyStart(strConflictKeep, attrKeep.nSize);
    const OpOutcome copied = CopyFileImpl(strConflictKeep, strConflictOther, !bKeep1,
                                          platform::ExpectedTarget::None(), true);
    if (copied == OpOutcome::Aborted)
        return copied;
    if (copied == OpOutcome::Done && !strRel.empty()) {
        FileAttr attrs[2];
        int nError = 0;
        const std::string& strConflict1 = bKeep1 ? strConflictKeep : strConflictOther;
        const std::string& strConflict2 = bKeep1 ? strConflictOther : strConflictKeep;
        if (m_fs.GetAttr(strConflict1, attrs[0], nError) == AttrStatus::Ok &&
            m_fs.GetAttr(strConflict2, attrs[1], nError) == AttrStatus::Ok)
            m_remembered.Record(SiblingRel(strRel, strConflictName),
                                STATEENTRY{SideOf(attrs[0]), SideOf(attrs[1])});
    }
    return OpOutcome::Done;
}

MissingRule CSyncEngine::DecideMissingDir(std::string_view strRel, const std::string& strHave,
                                          const FileAttr& attrHave, int nMissing,
                                          const CPatternSet& ps, CSyncOptions options) {
    // An item's own top that is absent (an unmounted disk) is never taken for
    // a deletion: its ordinary rules ask first.
    if (!strRel.empty() && m_remembered.Active() && options.UsesRememberedState()) {
        const STATEENTRY* pEntry = m_remembered.Find(strRel);
        if (pEntry && pEntry->side1.bPresent && pEntry->side2.bPresent) {
            const int nHave = 3 - nMissing;
            const bool bChanged =
                ChangedSince(nHave == 1 ? pEntry->side1 : pEntry->side2, attrHave) ||
                SubtreeChangedSince(strHave, strRel, nHave, ps, options);
            return DecideMissingRemembered(options, nMissing, bChanged);
        }
    }
    return DecideMissing(options, nMissing);
}

bool CSyncEngine::SubtreeChangedSince(const std::string& strDir, std::string_view strRel, int nSide,
                                      const CPatternSet& ps, CSyncOptions options) {
    std::vector<DirEntry> entries;
    try {
        if (m_fs.ListDir(strDir, entries) != 0)
            return true;
    } catch (const std::bad_alloc&) {
        return true;
    }
    const std::string strPrefix = platform::DirPrefix(strDir);
    std::string strEntryRel(strRel);
    strEntryRel.push_back(kPathSep);
    const std::size_t nBaseRel = strEntryRel.size();
    for (const DirEntry& entry : entries) {
        m_deviceTimes.Observe(entry.attr);
        // A FIFO, socket or device is never deleted: it keeps its directory.
        if (entry.attr.type == EntryType::Other)
            continue;
        const bool bDir = entry.attr.IsDirectory();
        if (!IsEntrySelected(strRel, entry.strName, bDir, ps))
            continue;
        if (bDir && !options.Subdirs())
            continue;
        strEntryRel.resize(nBaseRel);
        strEntryRel += entry.strName;
        const STATEENTRY* pEntry = m_remembered.Find(strEntryRel);
        if (!pEntry || ChangedSince(nSide == 1 ? pEntry->side1 : pEntry->side2, entry.attr))
            return true;
        if (bDir && SubtreeChangedSince(strPrefix + entry.strName, std::string(strEntryRel), nSide,
                                        ps, options))
            return true;
    }
    return false;
}

void CSyncEngine::RememberDir(std::string_view strRel, const std::string& strDir1,
                              const std::string& strDir2, bool bBothListed) {
    if (!m_remembered.Active() || strRel.empty())
        return;
    const STATESIDE dir{true, EntryType::Directory, 0, {}};
    // Walked on both sides: both are there, nothing to look at again.
    if (bBothListed) {
        m_remembered.Record(strRel, STATEENTRY{dir, dir});
        return;
    }
    FileAttr attrs[2];
    AttrStatus states[2];
    int nError = 0;
    states[0] = m_fs.GetAttr(strDir1, attrs[0], nError);
    states[1] = m_fs.GetAttr(strDir2, attrs[1], nError);
    const bool bDir1 = states[0] == AttrStatus::Ok && attrs[0].IsDirectory();
    const bool bDir2 = states[1] == AttrStatus::Ok && attrs[1].IsDirectory();
    if (bDir1 && bDir2)
        m_remembered.Record(strRel, STATEENTRY{dir, dir});
    else if (states[0] == AttrStatus::Absent && states[1] == AttrStatus::Absent)
        m_remembered.Forget(strRel);
}

void CSyncEngine::ForgetAbsentChildren(std::string_view strRel,
                                       const std::vector<DirEntry>& entries1,
                                       const std::vector<DirEntry>& entries2) {
    if (!m_remembered.Active())
        return;
    const auto listed = [](const std::vector<DirEntry>& entries, std::string_view strName) {
        // Sorted by folded name: the names that fold alike lie together.
        auto it = std::lower_bound(entries.begin(), entries.end(), strName,
                                   [](const DirEntry& entry, std::string_view str) {
                                       return text::CompareFoldOnly(entry.strName, str) < 0;
                                   });
        for (; it != entries.end() && text::CompareFoldOnly(it->strName, strName) == 0; ++it)
            if (it->strName == strName)
                return true;
        return false;
    };
    m_remembered.ForgetAbsentChildren(strRel, [&](std::string_view strName) {
        return listed(entries1, strName) || listed(entries2, strName);
    });
}

} // namespace kovrel
