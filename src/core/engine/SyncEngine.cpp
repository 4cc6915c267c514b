#include "engine/SyncEngine.h"

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <new>

#include "platform/Path.h"
#include "text/Utf8.h"

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
constexpr const char* kMsgBothWildcards =
    "両方にワイルドカードを指定することはできません。\n'%s' <-> '%s'\n無視して継続しますか？";
constexpr const char* kMsgMissingTop = "'%s' が見つかりません。\n'%s' の中をすべて削除しますか？";
constexpr const char* kMsgOverlap =
    "同期元と同期先が同じか、一方が他方の中にあります。\n'%s' <-> '%s'\n無視して継続しますか？";

constexpr const char* kReasonSpecial =
    "a FIFO, socket or device file is never copied, replaced or deleted";

constexpr const char* kLineCanceled = "<< Canceled by User!! >>";
constexpr const char* kLineSummary1to2 = "File1 -> File2 コピーファイル数 : %d";
constexpr const char* kLineSummary2to1 = "File1 <- File2 コピーファイル数 : %d";
constexpr const char* kLineSummaryDel1 = "File1側削除ファイル数 : %d";
constexpr const char* kLineSummaryDel2 = "File2側削除ファイル数 : %d";
constexpr const char* kLineSummaryErr1 = "エラー個数 fileコピー : %d, file削除 : %d";
constexpr const char* kLineSummaryErr2 = "　　　　　 dir作成 : %d, dir削除 : %d";
constexpr const char* kLineSummaryErr3 = "　　　　　 その他 : %d";

constexpr std::uint32_t kOwnerWrite = 0200;

// Fills each %s or %d of the format with the next argument (already text). The
// texts hold no other conversions; "%%" is kept as one "%".
std::string FormatText(std::string_view strFormat, std::initializer_list<std::string_view> args) {
    std::string str;
    str.reserve(strFormat.size() + 64);
    auto it = args.begin();
    for (std::size_t i = 0; i < strFormat.size(); ++i) {
        const char c = strFormat[i];
        if (c == '%' && i + 1 < strFormat.size()) {
            const char cNext = strFormat[i + 1];
            if ((cNext == 's' || cNext == 'd') && it != args.end()) {
                str.append(*it++);
                ++i;
                continue;
            }
            if (cNext == '%') {
                str.push_back('%');
                ++i;
                continue;
            }
        }
        str.push_back(c);
    }
    return str;
}

std::string Num(long long n) {
    return std::to_string(n);
}

// A path as logs and messages show it: a line feed or a stray byte in a name
// must not split one entry into two lines.
std::string Shown(std::string_view strPath) {
    return text::PrintableText(strPath);
}

// What follows the last separator of an item path (both kinds count there).
std::string_view LastComponent(std::string_view strPath) {
    const std::size_t nSep = strPath.find_last_of("\\/");
    return nSep == std::string_view::npos ? strPath : strPath.substr(nSep + 1);
}

bool IsSpecial(const FileAttr* pAttr) noexcept {
    return pAttr && pAttr->type == EntryType::Other;
}

bool Side1MayChange(std::uint32_t dwOption) {
    const std::uint32_t dwOneWay = dwOption & SIO_ONEWAY_MASK;
    return dwOneWay == 0 || (dwOneWay & SIO_ONEWAY_2TO1) != 0;
}

bool Side2MayChange(std::uint32_t dwOption) {
    const std::uint32_t dwOneWay = dwOption & SIO_ONEWAY_MASK;
    return dwOneWay == 0 || (dwOneWay & SIO_ONEWAY_1TO2) != 0;
}

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

RunFlow StopIf(bool bStop) noexcept {
    return bStop ? RunFlow::Stop : RunFlow::GoOn;
}

std::tm LocalNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

} // namespace

void CSyncEngine::FileCloser::operator()(std::FILE* pFile) const noexcept {
    if (pFile)
        std::fclose(pFile);
}

CSyncEngine::CSyncEngine(platform::FileSystem& fs, CRunHost& host, const CRunSettings& settings)
    : m_fs(fs), m_host(host), m_settings(settings), m_fnLocalTime(LocalNow) {}

CSyncEngine::~CSyncEngine() = default;

void CSyncEngine::SetClock(LocalTimeFn fnLocalTime) {
    m_fnLocalTime = fnLocalTime ? std::move(fnLocalTime) : LocalTimeFn(LocalNow);
}

// ---------------------------------------------------------------------------
// The run

RunResult CSyncEngine::Run(const CSyncItemList& list) {
    if (m_bRunning)
        return RunResult::Stopped;
    m_bRunning = true;
    struct RunningGuard {
        bool& bRunning;
        ~RunningGuard() { bRunning = false; }
    } guard{m_bRunning};
    m_bStoppedBeforeFirstItem = false;
    m_deviceTimes.Clear();
    // However the run ends, the file system lets go of the last item's tops and
    // of what it learnt of the devices.
    struct TopsGuard {
        platform::FileSystem& fs;
        ~TopsGuard() { fs.SetTops({}, {}); }
    } topsGuard{m_fs};
    CloseLogFile();
    if (!m_bNoLogFile)
        OpenLogFile(list);
    WriteLog(FormatTimeLine("start"));
    m_stat = SYNCSTAT{};

    if (CheckCancel()) {
        // Cancelled before anything happened: no summary on this path.
        WriteLog(kLineCanceled);
        PlaySound(BeepType::Exclamation);
        CloseLogFile();
        m_bStoppedBeforeFirstItem = true;
        return RunResult::Stopped;
    }

    bool bStopped = false;
    for (int i = 0; i < list.GetCount(); ++i) {
        const SYNCITEM* pItem = list.GetAt(i);
        if (!pItem || !pItem->lpszPath1 || !pItem->lpszPath2 || pItem->lpszPath1->empty() ||
            pItem->lpszPath2->empty())
            continue;
        // Copies: the host may let the list change while the run waits.
        const std::string strItem1 = *pItem->lpszPath1;
        const std::string strItem2 = *pItem->lpszPath2;
        const std::uint32_t dwOption = pItem->dwOption;
        const std::string strPattern = pItem->lpszPattern.value_or(std::string());
        if (RunItem(strItem1, strItem2, dwOption, strPattern) == RunFlow::Stop) {
            WriteLog(kLineCanceled);
            bStopped = true;
            break;
        }
    }

    if (!bStopped) {
        WriteLog(FormatTimeLine("completed"));
        PlaySound(BeepType::Asterisk);
    } else {
        PlaySound(BeepType::Exclamation);
    }
    WriteSummary();
    CloseLogFile();

    if (bStopped)
        return RunResult::Stopped;
    return m_stat.ErrorCount() > 0 || m_stat.nPassedOver > 0 ? RunResult::CompletedWithErrors
                                                             : RunResult::Completed;
}

RunFlow CSyncEngine::RunItem(const std::string& strItem1, const std::string& strItem2,
                             std::uint32_t dwOption, const std::string& strPattern) {
    std::string strTop1;
    std::string strTop2;
    std::string strWild1 = SplitWildcardPath(strItem1, strTop1);
    std::string strWild2 = SplitWildcardPath(strItem2, strTop2);
    if (!strWild1.empty() || !strWild2.empty())
        TakeWholePaths(strItem1, strItem2, strTop1, strWild1, strTop2, strWild2);
    if (!strWild1.empty() && !strWild2.empty()) {
        ++m_stat.nOtherErrors;
        return StopIf(!Ask(kMsgBothWildcards, strItem1, strItem2));
    }
    // A tree synchronised with itself or with a tree inside it would copy into
    // itself without end.
    if (TopsOverlap(strTop1, strTop2)) {
        ++m_stat.nOtherErrors;
        return StopIf(!Ask(kMsgOverlap, strItem1, strItem2));
    }

    CPatternSet ps;
    ps.m_strFiles = !strWild1.empty() ? std::move(strWild1) : std::move(strWild2);
    ParsePatternText(ps, strPattern.c_str());
    m_stat.nRootLen = static_cast<std::int32_t>(strTop1.size());
    return SyncPair(strTop1, strTop2, ps, dwOption);
}

// "*", "?" and "|" are legal in a name here. A last component holding them is a
// name, not a wildcard list, when the whole path exists, or when the other side's
// whole path exists and ends in the same component (the first run towards a side
// that does not exist yet). Otherwise the split stands.
void CSyncEngine::TakeWholePaths(const std::string& strItem1, const std::string& strItem2,
                                 std::string& strTop1, std::string& strWild1, std::string& strTop2,
                                 std::string& strWild2) {
    auto exists = [this](const std::string& strPath) {
        FileAttr attr;
        int nError = 0;
        return m_fs.GetAttr(strPath, attr, nError) == AttrStatus::Ok;
    };
    const bool bExists1 = exists(strItem1);
    const bool bExists2 = exists(strItem2);
    const bool bSameLast = LastComponent(strItem1) == LastComponent(strItem2);
    if (!strWild1.empty() && (bExists1 || (bExists2 && bSameLast))) {
        strTop1 = strItem1;
        strWild1.clear();
    }
    if (!strWild2.empty() && (bExists2 || (bExists1 && bSameLast))) {
        strTop2 = strItem2;
        strWild2.clear();
    }
}

bool CSyncEngine::TopsOverlap(const std::string& strTop1, const std::string& strTop2) {
    std::string strReal1;
    std::string strReal2;
    // A path that cannot even be resolved is reported by the pass itself.
    if (m_fs.RealPath(strTop1, strReal1) != 0 || m_fs.RealPath(strTop2, strReal2) != 0)
        return false;
    return platform::IsSameOrInside(strReal1, strReal2) ||
           platform::IsSameOrInside(strReal2, strReal1);
}

void CSyncEngine::WriteSummary() {
    WriteLog(FormatText(kLineSummary1to2, {Num(m_stat.nCopied1to2)}));
    WriteLog(FormatText(kLineSummary2to1, {Num(m_stat.nCopied2to1)}));
    WriteLog(FormatText(kLineSummaryDel1, {Num(m_stat.nDeleted1)}));
    WriteLog(FormatText(kLineSummaryDel2, {Num(m_stat.nDeleted2)}));
    if (m_stat.ErrorCount() > 0) {
        WriteLog(
            FormatText(kLineSummaryErr1, {Num(m_stat.nCopyErrors), Num(m_stat.nDeleteErrors)}));
        WriteLog(
            FormatText(kLineSummaryErr2, {Num(m_stat.nMkdirErrors), Num(m_stat.nRmdirErrors)}));
        WriteLog(FormatText(kLineSummaryErr3, {Num(m_stat.nOtherErrors)}));
    }
}

std::string CSyncEngine::FormatTimeLine(const char* pszWhich) {
    const std::tm tm = m_fnLocalTime();
    char szTime[64];
    if (std::strftime(szTime, sizeof szTime, "%y/%m/%d %H:%M:%S", &tm) == 0)
        szTime[0] = '\0';
    return std::string("<< Synchronize ") + pszWhich + " " + szTime + " >>";
}

void CSyncEngine::PlaySound(BeepType nType) {
    const RUNSOUND sound = DecideRunSound(m_settings, nType);
    if (sound.kind != RunSoundKind::None)
        m_host.PlayRunSound(sound);
}

void CSyncEngine::OpenLogFile(const CSyncItemList& list) {
    const std::optional<LOGFILECHOICE> choice = ChooseLogFile(list.m_strDocLog, m_settings);
    if (!choice)
        return;
    // Binary mode: the line ends are written as CR LF by WriteLog on every platform.
    const char* pszMode = choice->mode == LogFileMode::Append ? "ab" : "wb";
    m_pLogFile.reset(std::fopen(choice->strPath.c_str(), pszMode));
    // Unbuffered: each line reaches the file when it is written (one write per
    // line), so a process killed mid-run loses none of the lines it has shown.
    // Nothing is forced to the disk, which would slow every action down.
    if (m_pLogFile)
        std::setvbuf(m_pLogFile.get(), nullptr, _IONBF, 0);
}

void CSyncEngine::CloseLogFile() noexcept {
    m_pLogFile.reset();
}

void CSyncEngine::WriteLog(const std::string& strLine) {
    m_host.AppendLogLine(strLine);
    if (m_pLogFile) {
        m_strLogScratch.assign(strLine);
        m_strLogScratch += "\r\n";
        std::fwrite(m_strLogScratch.data(), 1, m_strLogScratch.size(), m_pLogFile.get());
    }
}

bool CSyncEngine::CheckCancel() {
    return m_host.CheckCancel();
}

bool CSyncEngine::Ask(const char* pszFormat, const std::string& str1, const std::string& str2) {
    return m_host.AskYesNo(FormatText(pszFormat, {Shown(str1), Shown(str2)}));
}

// ---------------------------------------------------------------------------
// The directory pass

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
        if (m_fs.RealPath(strPath, strReal) == 0 &&
            m_fs.GetAttr(strReal, attrReal, nRealError) == AttrStatus::Ok && attrReal.IsDirectory())
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
                              const CPatternSet& ps, std::uint32_t dwOption) {
    // Below these two nothing is reached through a link, whatever appears there
    // while the pass goes on.
    m_fs.SetTops(strPath1, strPath2);
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
    return SyncPairKnown(strPath1, st1 == AttrStatus::Ok ? &attr1 : nullptr, strPath2,
                         st2 == AttrStatus::Ok ? &attr2 : nullptr, std::string_view(), ps, dwOption,
                         true);
}

// One pair whose attributes are known (null: absent). Below the top they come
// from the listing, so every entry is looked at once per side.
RunFlow CSyncEngine::SyncPairKnown(const std::string& strPath1, const FileAttr* pAttr1,
                                   const std::string& strPath2, const FileAttr* pAttr2,
                                   std::string_view strRel, const CPatternSet& ps,
                                   std::uint32_t dwOption, bool bTopLevel) {
    if (!pAttr1 && !pAttr2)
        return RunFlow::GoOn;
    // A FIFO, socket or device holds its name on both sides: nothing is copied
    // over it, from it, or deleted because of it. Alone on its side it passes
    // silently, so trees with sockets in them do not fill the log.
    if (IsSpecial(pAttr1) || IsSpecial(pAttr2)) {
        if (!pAttr1 || !pAttr2)
            return RunFlow::GoOn;
        // A subdirectory the options leave unvisited is no action either.
        if (!bTopLevel && (dwOption & SIO_NO_SUBDIRS) != 0 &&
            (pAttr1->IsDirectory() || pAttr2->IsDirectory()))
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
        if (!bTopLevel && (dwOption & SIO_NO_SUBDIRS) != 0)
            return RunFlow::GoOn;
        return SyncDirectory(strPath1, strPath2, strRel, ps, pAttr1, pAttr2, dwOption);
    }
    if (SyncFiles(strPath1, pAttr1, strPath2, pAttr2, dwOption) == RunFlow::Stop)
        return RunFlow::Stop;
    return StopIf(CheckCancel());
}

RunFlow CSyncEngine::SyncFiles(const std::string& strPath1, const FileAttr* pAttr1,
                               const std::string& strPath2, const FileAttr* pAttr2,
                               std::uint32_t dwOption) {
    const bool b1May = Side1MayChange(dwOption);
    const bool b2May = Side2MayChange(dwOption);

    // One side lacks the file: copy it over or delete the other.
    if (!pAttr1 || !pAttr2) {
        const bool bMissing1 = !pAttr1;
        const std::uint32_t dwNoFile =
            bMissing1 ? (dwOption & SIO_NOFILE1_MASK) : (dwOption & SIO_NOFILE2_MASK) >> 4;
        const bool bCopyMay = bMissing1 ? b1May : b2May;
        const bool bDeleteMay = bMissing1 ? b2May : b1May;
        const std::string& strHave = bMissing1 ? strPath2 : strPath1;
        const std::string& strLack = bMissing1 ? strPath1 : strPath2;
        const FileAttr& attrHave = bMissing1 ? *pAttr2 : *pAttr1;
        if (dwNoFile == SIO_NOFILE1_COPY && bCopyMay)
            return SyncCopyFile(strHave, strLack, bMissing1);
        if (dwNoFile == SIO_NOFILE1_DELETE && bDeleteMay) {
            const int nSide = bMissing1 ? 2 : 1;
            const bool bForce = (dwOption & (bMissing1 ? SIO_FORCE_RO2 : SIO_FORCE_RO1)) != 0;
            const bool bReadOnly = attrHave.IsReadOnly();
            if (bReadOnly && !bForce) {
                WriteLog("Delete skipped " + Shown(strHave));
                return RunFlow::GoOn;
            }
            // Without its write bit the file could not be deleted on every system.
            if (bReadOnly)
                IgnoreFailure(m_fs.SetMode(strHave, attrHave.dwMode | kOwnerWrite));
            const OpOutcome outcome = DeleteFileImpl(strHave, nSide);
            // A file that stays keeps its read-only attribute.
            if (bReadOnly && outcome != OpOutcome::Done)
                RestoreMode(strHave, attrHave.dwMode);
            return StopIf(outcome == OpOutcome::Aborted);
        }
        return RunFlow::GoOn;
    }

    // Both are files: the newer one wins, within the allowed direction.
    const auto cmp = CompareWriteTimes(*pAttr1, *pAttr2);
    const bool bNewer1 = cmp > 0;
    const bool bOlder1 = cmp < 0;
    const bool bCopyOlder = (dwOption & SIO_COPY_OLDER) != 0;
    bool b1to2 = false;
    bool b2to1 = false;
    if ((dwOption & SIO_ONEWAY_1TO2) != 0) {
        b1to2 = bNewer1 || (bOlder1 && bCopyOlder);
    } else if ((dwOption & SIO_ONEWAY_2TO1) != 0) {
        b2to1 = bOlder1 || (bNewer1 && bCopyOlder);
    } else {
        b1to2 = bNewer1;
        b2to1 = bOlder1;
    }
    if (b1to2) {
        if (pAttr2->IsReadOnly() && (dwOption & SIO_FORCE_RO2) == 0) {
            WriteLog("Copy skipped " + Shown(strPath1) + " -> " + Shown(strPath2));
            return RunFlow::GoOn;
        }
        return SyncCopyFile(strPath1, strPath2, false);
    }
    if (b2to1) {
        if (pAttr1->IsReadOnly() && (dwOption & SIO_FORCE_RO1) == 0) {
            WriteLog("Copy skipped " + Shown(strPath1) + " <- " + Shown(strPath2));
            return RunFlow::GoOn;
        }
        return SyncCopyFile(strPath2, strPath1, true);
    }
    return RunFlow::GoOn;
}

RunFlow CSyncEngine::SyncDirectory(const std::string& strDir1, const std::string& strDir2,
                                   std::string_view strRel, const CPatternSet& ps,
                                   const FileAttr* pAttr1, const FileAttr* pAttr2,
                                   std::uint32_t dwOption) {
    const std::string* pModel = nullptr;   // the model of a directory created here
    const std::string* pCreated = nullptr; // and the new directory

    if (!pAttr1 || !pAttr2) {
        const bool bMissing1 = !pAttr1;
        const std::uint32_t dwNoFile =
            bMissing1 ? (dwOption & SIO_NOFILE1_MASK) : (dwOption & SIO_NOFILE2_MASK) >> 4;
        const bool bCreateMay = bMissing1 ? Side1MayChange(dwOption) : Side2MayChange(dwOption);
        const bool bRemoveMay = bMissing1 ? Side2MayChange(dwOption) : Side1MayChange(dwOption);
        const std::string& strHave = bMissing1 ? strDir2 : strDir1;
        const std::string& strLack = bMissing1 ? strDir1 : strDir2;
        if (dwNoFile == SIO_NOFILE1_COPY && bCreateMay) {
            switch (SyncCreateDir(strHave, strLack)) {
            case CreateDirResult::Stop:
                return RunFlow::Stop;
            case CreateDirResult::Skipped:
                return RunFlow::GoOn;
            case CreateDirResult::Created:
                break;
            }
            pModel = &strHave;
            pCreated = &strLack;
        } else if (dwNoFile == SIO_NOFILE1_DELETE && bRemoveMay) {
            const bool bWhole = CanRemoveWholeDir(strRel, ps);
            if (bWhole) {
                const FileAttr& attrHave = bMissing1 ? *pAttr2 : *pAttr1;
                const bool bForce = (dwOption & (bMissing1 ? SIO_FORCE_RO2 : SIO_FORCE_RO1)) != 0;
                if (attrHave.IsReadOnly() && !bForce) {
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
            if (bWhole)
                return RemoveTree(strHave, bMissing1 ? 2 : 1);
            // Exclusions forbid removing it whole: walk it, deleting what the
            // patterns select; the directory itself stays.
        } else {
            return RunFlow::GoOn;
        }
    }

    RunFlow flow = RunFlow::GoOn;
    if (pCreated && CheckCancel())
        flow = RunFlow::Stop;
    if (flow == RunFlow::GoOn) {
        // A directory just created is empty: no need to list it.
        flow = WalkDirectory(strDir1, pAttr1 != nullptr, strDir2, pAttr2 != nullptr, strRel, ps,
                             dwOption);
    }
    if (pCreated)
        FinishCreatedDir(*pModel, *pCreated);
    return flow;
}

RunFlow CSyncEngine::WalkDirectory(const std::string& strDir1, bool bList1,
                                   const std::string& strDir2, bool bList2, std::string_view strRel,
                                   const CPatternSet& ps, std::uint32_t dwOption) {
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
    } catch (const std::bad_alloc&) {
        return OutOfMemory();
    }

    // Path buffers reused for every entry of this directory.
    std::string strPath1 = DirPrefix(strDir1);
    std::string strPath2 = DirPrefix(strDir2);
    std::string strEntryRel(strRel);
    strEntryRel.push_back(kPathSep);
    const std::size_t nBase1 = strPath1.size();
    const std::size_t nBase2 = strPath2.size();
    const std::size_t nBaseRel = strEntryRel.size();

    // Each side's path carries the name that side actually has.
    auto visit = [&](int i1, int i2) -> RunFlow {
        const DirEntry* p1 = i1 >= 0 ? &entries1[static_cast<std::size_t>(i1)] : nullptr;
        const DirEntry* p2 = i2 >= 0 ? &entries2[static_cast<std::size_t>(i2)] : nullptr;
        const std::string& strName1 = p1 ? p1->strName : p2->strName;
        const std::string& strName2 = p2 ? p2->strName : p1->strName;
        strPath1.resize(nBase1);
        strPath1 += strName1;
        strPath2.resize(nBase2);
        strPath2 += strName2;
        strEntryRel.resize(nBaseRel);
        strEntryRel += strName1;
        return SyncPairKnown(strPath1, p1 ? &p1->attr : nullptr, strPath2, p2 ? &p2->attr : nullptr,
                             strEntryRel, ps, dwOption, false);
    };

    // Side 1's names first, each filtered with its own directory flag...
    for (std::size_t i = 0; i < entries1.size(); ++i)
        selected1[i] =
            IsEntrySelected(strRel, entries1[i].strName, entries1[i].attr.IsDirectory(), ps);
    for (std::size_t i = 0; i < entries1.size(); ++i) {
        if (!selected1[i])
            continue;
        if (visit(static_cast<int>(i), match1[i]) == RunFlow::Stop)
            return RunFlow::Stop;
    }
    // ...then side 2's names that no selected side-1 name has taken, filtered
    // with side 2's flag.
    for (std::size_t j = 0; j < entries2.size(); ++j) {
        const int i = match2[j];
        if (i >= 0 && selected1[static_cast<std::size_t>(i)])
            continue;
        if (!IsEntrySelected(strRel, entries2[j].strName, entries2[j].attr.IsDirectory(), ps))
            continue;
        if (visit(i, static_cast<int>(j)) == RunFlow::Stop)
            return RunFlow::Stop;
    }
    return RunFlow::GoOn;
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
    m_staleTemps.clear();
    const int nError = m_fs.ListDir(strDir, entries, &m_staleTemps);
    if (nError == ENOENT) {
        entries.clear();
        return true;
    }
    if (nError != 0) {
        ++m_stat.nOtherErrors;
        m_host.ShowErrorErrno(FormatText(kMsgListError, {Num(nError), Shown(strDir)}), nError);
        return false;
    }
    for (const DirEntry& entry : entries)
        m_deviceTimes.Observe(entry.attr);
    // What an interrupted copy left behind is ours to clear away, unannounced:
    // one that cannot go now is tried again by the next run.
    if (!m_staleTemps.empty()) {
        const std::string strPrefix = DirPrefix(strDir);
        for (const std::string& strName : m_staleTemps)
            IgnoreFailure(m_fs.DeleteFile(strPrefix + strName));
        m_staleTemps.clear();
    }
    return true;
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

RunFlow CSyncEngine::RemoveTree(const std::string& strDir, int nSide, bool* pKept) {
    std::vector<DirEntry> entries;
    try {
        if (!ListSide(strDir, entries))
            return RunFlow::Stop;
    } catch (const std::bad_alloc&) {
        return OutOfMemory();
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
            flow = RemoveTree(strPath, nSide, &bKept);
        } else {
            // Everything inside goes, read-only or not; the delete reports a
            // file that stays.
            if (entry.attr.IsReadOnly())
                IgnoreFailure(m_fs.SetMode(strPath, entry.attr.dwMode | kOwnerWrite));
            flow = SyncDeleteFile(strPath, nSide);
            if (flow == RunFlow::GoOn && CheckCancel())
                flow = RunFlow::Stop;
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
    if (SyncRemoveDir(strDir) == RunFlow::Stop)
        return RunFlow::Stop;
    return StopIf(CheckCancel());
}

// ---------------------------------------------------------------------------
// File operations

template <class F>
CSyncEngine::OpOutcome CSyncEngine::TryOperation(F&& fnOperation, std::string_view strFailurePrefix,
                                                 const std::string& strSubject,
                                                 std::int32_t& nErrors) {
    for (;;) {
        const int nErrno = fnOperation();
        if (nErrno == 0)
            break;
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

std::strong_ordering CSyncEngine::CompareWriteTimes(const FileAttr& attr1, const FileAttr& attr2) {
    if (attr1.ftWrite == attr2.ftWrite)
        return std::strong_ordering::equal;
    return CompareFileTimes(attr1.ftWrite, m_deviceTimes.InfoFor(attr1.nDevice, m_fs),
                            attr2.ftWrite, m_deviceTimes.InfoFor(attr2.nDevice, m_fs));
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
    WriteLog(strLine);
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
    WriteLog(Shown(strPath) + " Deleted");
    return outcome;
}

RunFlow CSyncEngine::SyncRemoveDir(const std::string& strPath) {
    const OpOutcome outcome =
        TryOperation([&] { return m_fs.RemoveDir(strPath); }, "Remove Dir. failed !! ",
                     Shown(strPath), m_stat.nRmdirErrors);
    if (outcome == OpOutcome::Done)
        WriteLog("Directory " + Shown(strPath) + " Removed");
    return StopIf(outcome == OpOutcome::Aborted);
}

CreateDirResult CSyncEngine::SyncCreateDir(const std::string& strModel, const std::string& strNew) {
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
    WriteLog("Directory " + Shown(strNew) + " created");
    return CreateDirResult::Created;
}

} // namespace kovrel
