// CSyncEngine, the run: the whole list in order, each item's two paths with
// their wildcard lists, the log file, the start, completed and cancelled lines,
// the summary and the closing sound. The pass over an item's trees is in
// DirectoryPass.cpp, the file operations in FileOperations.cpp.
#include "engine/SyncEngine.h"

#include <ctime>
#include <utility>

#include "engine/LogFileCheck.h"
#include "engine/SyncEngineImpl.h"
#include "platform/Path.h"

namespace kovrel {

namespace {

using platform::AttrStatus;
using platform::FileAttr;

// The program's own texts; %s and %d are filled in order by FormatText.
constexpr const char* kMsgBothWildcards =
    "両方にワイルドカードを指定することはできません。\n'%s' <-> '%s'\n無視して継続しますか？";

constexpr const char* kLineCanceled = "<< Canceled by User!! >>";
constexpr const char* kLineSummary1to2 = "File1 -> File2 コピーファイル数 : %d";
constexpr const char* kLineSummary2to1 = "File1 <- File2 コピーファイル数 : %d";
constexpr const char* kLineSummaryDel1 = "File1側削除ファイル数 : %d";
constexpr const char* kLineSummaryDel2 = "File2側削除ファイル数 : %d";
constexpr const char* kLineSummaryConflicts = "衝突ファイル数 : %d";
constexpr const char* kLineSummaryErr1 = "エラー個数 fileコピー : %d, file削除 : %d";
constexpr const char* kLineSummaryErr2 = "　　　　　 dir作成 : %d, dir削除 : %d";
constexpr const char* kLineSummaryErr3 = "　　　　　 その他 : %d";

// What follows the last separator of an item path (both kinds count there).
std::string_view LastComponent(std::string_view strPath) {
    const std::size_t nSep = strPath.find_last_of("\\/");
    return nSep == std::string_view::npos ? strPath : strPath.substr(nSep + 1);
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
    m_noTrashAnswers.clear();
    m_noTrashToldOverwrite.clear();
    // However the run ends, the file system lets go of the last item's tops and
    // of what it learnt of the devices.
    struct TopsGuard {
        platform::FileSystem& fs;
        ~TopsGuard() {
            fs.SetTops({}, {});
            fs.SetCopyObserver(nullptr);
        }
    } topsGuard{m_fs};
    m_bCopyCancelled = false;
    m_fs.SetCopyObserver(&m_copyCancel);
    // The remembered state is opened by the first item that asks for it, and
    // let go of however the run ends.
    m_tmStart = m_fnLocalTime();
    m_remembered.BeginRun(m_strStatePath ? *m_strStatePath : DefaultStateDatabasePath(),
                          !m_bStateReadOnly);
    struct StateGuard {
        CRememberedRun& remembered;
        ~StateGuard() { remembered.EndRun(); }
    } stateGuard{m_remembered};
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
        const CSyncOptions options(pItem->dwOption);
        const std::string strPattern = pItem->lpszPattern.value_or(std::string());
        m_host.OnItemBegin(i);
        const RunFlow flow = RunItem(strItem1, strItem2, options, strPattern);
        m_host.OnItemEnd(i);
        if (flow == RunFlow::Stop) {
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
                             CSyncOptions options, const std::string& strPattern) {
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
    // itself without end. The same tree reached twice (a bind mount) is caught
    // by the pass, which asks the same question.
    m_strItemShown1 = strItem1;
    m_strItemShown2 = strItem2;
    m_bEndItem = false;
    if (TopsOverlap(strTop1, strTop2)) {
        ++m_stat.nOtherErrors;
        return StopIf(!Ask(kMsgOverlap, strItem1, strItem2));
    }

    CPatternSet ps;
    ps.m_strFiles = !strWild1.empty() ? std::move(strWild1) : std::move(strWild2);
    ParsePatternText(ps, strPattern.c_str());
    m_stat.nRootLen = static_cast<std::int32_t>(strTop1.size());
    BeginRememberedItem(strTop1, strTop2, options);
    const RunFlow flow = SyncPair(strTop1, strTop2, ps, options);
    // Only a pass that went through records what it saw.
    EndRememberedItem(flow == RunFlow::GoOn);
    if (flow == RunFlow::GoOn)
        return RunFlow::GoOn;
    // The pass found the tops nested and was told to go on with the next item.
    return StopIf(!std::exchange(m_bEndItem, false));
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
    // Runs without conflicts end as they always did.
    if (m_stat.nConflicts > 0)
        WriteLog(FormatText(kLineSummaryConflicts, {Num(m_stat.nConflicts)}));
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
    // Opened without blocking, and only a file that is absent, empty or a log
    // of this program; the line ends are written as CR LF by WriteLog on every
    // platform. A refusal is shown; a file that cannot be opened is not.
    const LOGFILEOPEN opened = OpenLogFileChecked(*choice, m_strDocPath);
    if (opened.check.eVerdict != LogFileVerdict::Ok) {
        m_host.ShowError(LogFileRunRefusalText(opened.check, choice->strPath));
        return;
    }
    m_pLogFile.reset(opened.pFile);
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

void CSyncEngine::WriteActionLog(const std::string& strLine, RunActionKind eKind, int nSide) {
    m_host.OnRunAction(RUNACTION{eKind, nSide});
    WriteLog(strLine);
}

bool CSyncEngine::CheckCancel() {
    return m_host.CheckCancel();
}

bool CSyncEngine::CCopyCancel::OnCopyProgress(std::uint64_t nDone, std::uint64_t nTotal) {
    m_engine.m_host.OnCopyProgress(nDone, nTotal);
    // At the end the copy is done: it is kept, and the pass asks next.
    if (nDone >= nTotal || !m_engine.CheckCancel())
        return true;
    m_engine.m_bCopyCancelled = true;
    return false;
}

bool CSyncEngine::Ask(const char* pszFormat, const std::string& str1, const std::string& str2) {
    return m_host.AskYesNo(FormatText(pszFormat, {Shown(str1), Shown(str2)}));
}

} // namespace kovrel
