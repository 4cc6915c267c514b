#include "engine/SyncEngine.h"

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <new>

#include "text/Utf8.h"

namespace kovrel {

namespace {

using platform::AttrStatus;
using platform::DirEntry;
using platform::EntryType;
using platform::FileAttr;

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
constexpr const char* kMsgOverlap =
    "同期元と同期先が同じか、一方が他方の中にあります。\n'%s' <-> '%s'\n無視して継続しますか？";

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

bool Side1MayChange(std::uint32_t dwOption) {
    const std::uint32_t dwOneWay = dwOption & SIO_ONEWAY_MASK;
    return dwOneWay == 0 || (dwOneWay & SIO_ONEWAY_2TO1) != 0;
}

bool Side2MayChange(std::uint32_t dwOption) {
    const std::uint32_t dwOneWay = dwOption & SIO_ONEWAY_MASK;
    return dwOneWay == 0 || (dwOneWay & SIO_ONEWAY_1TO2) != 0;
}

// Names compared with a-z folded to A-Z and nothing else: names that differ only
// in ASCII case compare equal. A listing sorted by text::CompareFolded is sorted by
// this order as well, with such names next to each other.
int CompareFoldOnly(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(text::FoldAscii(a[i]));
        const auto cb = static_cast<unsigned char>(text::FoldAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return 0;
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
        const int nCmp = CompareFoldOnly(e1[i].strName, e2[j].strName);
        if (nCmp < 0) {
            ++i;
            continue;
        }
        if (nCmp > 0) {
            ++j;
            continue;
        }
        std::size_t iEnd = i + 1;
        while (iEnd < n1 && CompareFoldOnly(e1[iEnd].strName, e1[i].strName) == 0)
            ++iEnd;
        std::size_t jEnd = j + 1;
        while (jEnd < n2 && CompareFoldOnly(e2[jEnd].strName, e2[j].strName) == 0)
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

// The directory with the separator that entry names are appended to. A top
// directory of "/" already ends in it.
std::string DirPrefix(const std::string& strDir) {
    std::string str;
    str.reserve(strDir.size() + 64);
    str = strDir;
    if (str.empty() || str.back() != kPathSep)
        str.push_back(kPathSep);
    return str;
}

// True when strInner is strOuter or lies inside it, component-wise.
bool IsSameOrInside(const std::string& strOuter, const std::string& strInner) {
    if (strOuter.empty() || strInner.size() < strOuter.size() ||
        strInner.compare(0, strOuter.size(), strOuter) != 0)
        return false;
    return strInner.size() == strOuter.size() || strOuter.back() == kPathSep ||
           strInner[strOuter.size()] == kPathSep;
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
        if (RunItem(strItem1, strItem2, dwOption, strPattern) != 0) {
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
    return m_stat.ErrorCount() > 0 ? RunResult::CompletedWithErrors : RunResult::Completed;
}

int CSyncEngine::RunItem(const std::string& strItem1, const std::string& strItem2,
                         std::uint32_t dwOption, const std::string& strPattern) {
    std::string strTop1;
    std::string strTop2;
    std::string strWild1 = SplitWildcardPath(strItem1, strTop1);
    std::string strWild2 = SplitWildcardPath(strItem2, strTop2);
    if (!strWild1.empty() && !strWild2.empty()) {
        ++m_stat.nOtherErrors;
        return Ask(kMsgBothWildcards, strItem1, strItem2) ? 0 : 1;
    }
    // A tree synchronised with itself or with a tree inside it would copy into
    // itself without end.
    if (TopsOverlap(strTop1, strTop2)) {
        ++m_stat.nOtherErrors;
        return Ask(kMsgOverlap, strItem1, strItem2) ? 0 : 1;
    }

    CPatternSet ps;
    ps.m_strFiles = !strWild1.empty() ? std::move(strWild1) : std::move(strWild2);
    ParsePatternText(ps, strPattern.c_str());
    m_stat.nRootLen = static_cast<std::int32_t>(strTop1.size());
    return SyncPair(strTop1, strTop2, ps, dwOption);
}

bool CSyncEngine::TopsOverlap(const std::string& strTop1, const std::string& strTop2) {
    std::string strReal1;
    std::string strReal2;
    // A path that cannot even be resolved is reported by the pass itself.
    if (m_fs.RealPath(strTop1, strReal1) != 0 || m_fs.RealPath(strTop2, strReal2) != 0)
        return false;
    return IsSameOrInside(strReal1, strReal2) || IsSameOrInside(strReal2, strReal1);
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
}

void CSyncEngine::CloseLogFile() noexcept {
    m_pLogFile.reset();
}

int CSyncEngine::WriteLog(const std::string& strLine) {
    m_host.AppendLogLine(strLine);
    if (m_pLogFile) {
        std::fwrite(strLine.data(), 1, strLine.size(), m_pLogFile.get());
        std::fwrite("\r\n", 1, 2, m_pLogFile.get());
    }
    return 0;
}

bool CSyncEngine::CheckCancel() {
    return m_host.CheckCancel();
}

bool CSyncEngine::Ask(const char* pszFormat, const std::string& str1, const std::string& str2) {
    return m_host.AskYesNo(FormatText(pszFormat, {str1, str2}));
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

int CSyncEngine::SyncPair(const std::string& strPath1, const std::string& strPath2,
                          const CPatternSet& ps, std::uint32_t dwOption) {
    FileAttr attr1;
    FileAttr attr2;
    int nError1 = 0;
    int nError2 = 0;
    const AttrStatus st1 = GetTopAttr(strPath1, attr1, nError1);
    if (st1 == AttrStatus::Error) {
        ++m_stat.nOtherErrors;
        return m_host.AskYesNo(FormatText(kMsgAttrError, {Num(nError1), strPath1})) ? 0 : 1;
    }
    const AttrStatus st2 = GetTopAttr(strPath2, attr2, nError2);
    if (st2 == AttrStatus::Error) {
        ++m_stat.nOtherErrors;
        return m_host.AskYesNo(FormatText(kMsgAttrError, {Num(nError2), strPath2})) ? 0 : 1;
    }
    return SyncPairKnown(strPath1, st1 == AttrStatus::Ok ? &attr1 : nullptr, strPath2,
                         st2 == AttrStatus::Ok ? &attr2 : nullptr, std::string_view(), ps, dwOption,
                         true);
}

// One pair whose attributes are known (null: absent). Below the top they come
// from the listing, so every entry is looked at once per side.
int CSyncEngine::SyncPairKnown(const std::string& strPath1, const FileAttr* pAttr1,
                               const std::string& strPath2, const FileAttr* pAttr2,
                               std::string_view strRel, const CPatternSet& ps,
                               std::uint32_t dwOption, bool bTopLevel) {
    if (!pAttr1 && !pAttr2)
        return 0;
    const bool bDir1 = pAttr1 && pAttr1->IsDirectory();
    const bool bDir2 = pAttr2 && pAttr2->IsDirectory();
    if (pAttr1 && pAttr2 && bDir1 != bDir2) {
        ++m_stat.nOtherErrors;
        return Ask(bTopLevel ? kMsgFileAndDir : kMsgSameName, strPath1, strPath2) ? 0 : 1;
    }
    if (bDir1 || bDir2) {
        if (!bTopLevel && (dwOption & SIO_NO_SUBDIRS) != 0)
            return 0;
        return SyncDirectory(strPath1, strPath2, strRel, ps, pAttr1, pAttr2, dwOption);
    }
    if (SyncFiles(strPath1, pAttr1, strPath2, pAttr2, dwOption) != 0)
        return 1;
    return CheckCancel() ? 1 : 0;
}

int CSyncEngine::SyncFiles(const std::string& strPath1, const FileAttr* pAttr1,
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
                WriteLog("Delete skipped " + strHave);
                return 0;
            }
            if (bReadOnly)
                m_fs.SetMode(strHave, attrHave.dwMode | kOwnerWrite);
            bool bDone = false;
            const int nResult = DeleteFileImpl(strHave, nSide, bDone);
            // A file that stays keeps its read-only attribute.
            if (bReadOnly && !bDone)
                m_fs.SetMode(strHave, attrHave.dwMode);
            return nResult;
        }
        return 0;
    }

    // Both are files: the newer one wins, within the allowed direction.
    const auto cmp = pAttr1->ftWrite <=> pAttr2->ftWrite;
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
            WriteLog("Copy skipped " + strPath1 + " -> " + strPath2);
            return 0;
        }
        return CopyOver(strPath1, strPath2, *pAttr2, false);
    }
    if (b2to1) {
        if (pAttr1->IsReadOnly() && (dwOption & SIO_FORCE_RO1) == 0) {
            WriteLog("Copy skipped " + strPath1 + " <- " + strPath2);
            return 0;
        }
        return CopyOver(strPath2, strPath1, *pAttr1, true);
    }
    return 0;
}

// Copies over an existing target. A read-only target only loses its read-only
// bit; the copy's atomic replace takes its place, so until the new file is
// complete the old one stays, and a failed copy leaves it as it was.
int CSyncEngine::CopyOver(const std::string& strFrom, const std::string& strTo,
                          const FileAttr& attrTo, bool bToSide1) {
    const bool bReadOnly = attrTo.IsReadOnly();
    if (bReadOnly)
        m_fs.SetMode(strTo, attrTo.dwMode | kOwnerWrite);
    bool bDone = false;
    const int nResult = CopyFileImpl(strFrom, strTo, bToSide1, bDone);
    if (bReadOnly && !bDone)
        m_fs.SetMode(strTo, attrTo.dwMode);
    return nResult;
}

int CSyncEngine::SyncDirectory(const std::string& strDir1, const std::string& strDir2,
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
            const int nResult = SyncCreateDir(strHave, strLack);
            if (nResult == -1)
                return 1;
            if (nResult == 1)
                return 0;
            pModel = &strHave;
            pCreated = &strLack;
        } else if (dwNoFile == SIO_NOFILE1_DELETE && bRemoveMay) {
            if (CanRemoveWholeDir(strRel, ps) != 0) {
                const FileAttr& attrHave = bMissing1 ? *pAttr2 : *pAttr1;
                const bool bForce = (dwOption & (bMissing1 ? SIO_FORCE_RO2 : SIO_FORCE_RO1)) != 0;
                if (attrHave.IsReadOnly() && !bForce) {
                    WriteLog("Directory remove skipped " + strHave);
                    return CheckCancel() ? 1 : 0;
                }
                return RemoveTree(strHave, bMissing1 ? 2 : 1);
            }
            // Exclusions forbid removing it whole: walk it, deleting what the
            // patterns select; the directory itself stays.
        } else {
            return 0;
        }
    }

    int nResult = 0;
    if (pCreated && CheckCancel())
        nResult = 1;
    if (nResult == 0) {
        // A directory just created is empty: no need to list it.
        nResult = WalkDirectory(strDir1, pAttr1 != nullptr, strDir2, pAttr2 != nullptr, strRel, ps,
                                dwOption);
    }
    if (pCreated)
        FinishCreatedDir(*pModel, *pCreated);
    return nResult;
}

int CSyncEngine::WalkDirectory(const std::string& strDir1, bool bList1, const std::string& strDir2,
                               bool bList2, std::string_view strRel, const CPatternSet& ps,
                               std::uint32_t dwOption) {
    std::vector<DirEntry> entries1;
    std::vector<DirEntry> entries2;
    std::vector<int> match1;
    std::vector<int> match2;
    std::vector<char> selected1;
    try {
        if (bList1 && ListSide(strDir1, entries1) != 0)
            return -1;
        if (bList2 && ListSide(strDir2, entries2) != 0)
            return -1;
        EnsureSorted(entries1);
        EnsureSorted(entries2);
        PairByFoldedName(entries1, entries2, match1, match2);
        selected1.resize(entries1.size());
    } catch (const std::bad_alloc&) {
        ++m_stat.nOtherErrors;
        m_host.ShowError(kMsgNoMemory);
        return -1;
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
    auto visit = [&](int i1, int i2) -> int {
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
        const int nResult = visit(static_cast<int>(i), match1[i]);
        if (nResult != 0)
            return nResult;
    }
    // ...then side 2's names that no selected side-1 name has taken, filtered
    // with side 2's flag.
    for (std::size_t j = 0; j < entries2.size(); ++j) {
        const int i = match2[j];
        if (i >= 0 && selected1[static_cast<std::size_t>(i)])
            continue;
        if (!IsEntrySelected(strRel, entries2[j].strName, entries2[j].attr.IsDirectory(), ps))
            continue;
        const int nResult = visit(i, static_cast<int>(j));
        if (nResult != 0)
            return nResult;
    }
    return 0;
}

int CSyncEngine::ListSide(const std::string& strDir, std::vector<DirEntry>& entries) {
    m_staleTemps.clear();
    const int nError = m_fs.ListDir(strDir, entries, &m_staleTemps);
    if (nError == ENOENT) {
        entries.clear();
        return 0;
    }
    if (nError != 0) {
        ++m_stat.nOtherErrors;
        m_host.ShowError(FormatText(kMsgListError, {Num(nError), strDir}));
        return -1;
    }
    // What an interrupted copy left behind is ours to clear away, unannounced.
    if (!m_staleTemps.empty()) {
        const std::string strPrefix = DirPrefix(strDir);
        for (const std::string& strName : m_staleTemps)
            m_fs.DeleteFile(strPrefix + strName);
        m_staleTemps.clear();
    }
    return 0;
}

void CSyncEngine::FinishCreatedDir(const std::string& strModel, const std::string& strNew) {
    // Best effort, as the creation's own attribute copy: failures stay silent.
    FileAttr attr;
    int nError = 0;
    if (m_fs.GetAttr(strModel, attr, nError) != AttrStatus::Ok)
        return;
    SetFileTimes(strNew, &attr.ftAccess, &attr.ftWrite);
    m_fs.SetMode(strNew, attr.dwMode);
}

int CSyncEngine::RemoveTree(const std::string& strDir, int nSide) {
    std::vector<DirEntry> entries;
    try {
        if (ListSide(strDir, entries) != 0)
            return -1;
    } catch (const std::bad_alloc&) {
        ++m_stat.nOtherErrors;
        m_host.ShowError(kMsgNoMemory);
        return -1;
    }
    std::string strPath = DirPrefix(strDir);
    const std::size_t nBase = strPath.size();
    for (const DirEntry& entry : entries) {
        strPath.resize(nBase);
        strPath += entry.strName;
        int nResult = 0;
        if (entry.attr.IsDirectory()) {
            nResult = RemoveTree(strPath, nSide);
        } else {
            // Everything inside goes, read-only or not.
            if (entry.attr.IsReadOnly())
                m_fs.SetMode(strPath, entry.attr.dwMode | kOwnerWrite);
            nResult = SyncDeleteFile(strPath, nSide);
            if (nResult == 0 && CheckCancel())
                nResult = 1;
        }
        if (nResult != 0)
            return nResult;
    }
    const int nResult = SyncRemoveDir(strDir);
    if (nResult != 0)
        return nResult;
    return CheckCancel() ? 1 : 0;
}

// ---------------------------------------------------------------------------
// File operations

int CSyncEngine::SyncCopyFile(const std::string& strExisting, const std::string& strNew,
                              bool bToSide1) {
    bool bDone = false;
    return CopyFileImpl(strExisting, strNew, bToSide1, bDone);
}

int CSyncEngine::CopyFileImpl(const std::string& strExisting, const std::string& strNew,
                              bool bToSide1, bool& bDone) {
    // The side-1 path stands on the left, the arrow points at the target.
    const std::string strLine =
        bToSide1 ? strNew + " <- " + strExisting : strExisting + " -> " + strNew;
    bDone = false;
    while (m_fs.CopyFile(strExisting, strNew) != 0) {
        const std::string strFailure = "Copy failed !! " + strLine;
        const AbortRetryIgnore answer = m_host.AskAbortRetryIgnore(strFailure);
        if (answer == AbortRetryIgnore::Retry)
            continue;
        ++m_stat.nCopyErrors;
        WriteLog(strFailure);
        return answer == AbortRetryIgnore::Abort ? 1 : 0;
    }
    bDone = true;
    if (bToSide1)
        ++m_stat.nCopied2to1;
    else
        ++m_stat.nCopied1to2;
    WriteLog(strLine);
    return 0;
}

int CSyncEngine::SyncDeleteFile(const std::string& strPath, int nSide) {
    bool bDone = false;
    return DeleteFileImpl(strPath, nSide, bDone);
}

int CSyncEngine::DeleteFileImpl(const std::string& strPath, int nSide, bool& bDone) {
    bDone = false;
    while (m_fs.DeleteFile(strPath) != 0) {
        const std::string strFailure = "Delete failed !! " + strPath;
        const AbortRetryIgnore answer = m_host.AskAbortRetryIgnore(strFailure);
        if (answer == AbortRetryIgnore::Retry)
            continue;
        ++m_stat.nDeleteErrors;
        WriteLog(strFailure);
        return answer == AbortRetryIgnore::Abort ? 1 : 0;
    }
    bDone = true;
    if (nSide == 1)
        ++m_stat.nDeleted1;
    else
        ++m_stat.nDeleted2;
    WriteLog(strPath + " Deleted");
    return 0;
}

int CSyncEngine::SyncRemoveDir(const std::string& strPath) {
    while (m_fs.RemoveDir(strPath) != 0) {
        const std::string strFailure = "Remove Dir. failed !! " + strPath;
        const AbortRetryIgnore answer = m_host.AskAbortRetryIgnore(strFailure);
        if (answer == AbortRetryIgnore::Retry)
            continue;
        ++m_stat.nRmdirErrors;
        WriteLog(strFailure);
        return answer == AbortRetryIgnore::Abort ? 1 : 0;
    }
    WriteLog("Directory " + strPath + " Removed");
    return 0;
}

int CSyncEngine::SyncCreateDir(const std::string& strModel, const std::string& strNew) {
    (void)strModel; // its bits and times follow once the pass has filled the new one
    while (m_fs.CreateDir(strNew) != 0) {
        const std::string strFailure = "Create Dir. failed !! " + strNew;
        const AbortRetryIgnore answer = m_host.AskAbortRetryIgnore(strFailure);
        if (answer == AbortRetryIgnore::Retry)
            continue;
        ++m_stat.nMkdirErrors;
        WriteLog(strFailure);
        return answer == AbortRetryIgnore::Abort ? -1 : 1;
    }
    WriteLog("Directory " + strNew + " created");
    return 0;
}

int CSyncEngine::GetFileTimes(const std::string& strPath, platform::FileTime* pAccess,
                              platform::FileTime* pWrite) {
    return m_fs.GetTimes(strPath, pAccess, pWrite);
}

int CSyncEngine::SetFileTimes(const std::string& strPath, const platform::FileTime* pAccess,
                              const platform::FileTime* pWrite) {
    return m_fs.SetTimes(strPath, pAccess, pWrite);
}

} // namespace kovrel
