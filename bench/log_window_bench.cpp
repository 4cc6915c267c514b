// The log window under a run's load: 100,000 lines appended to the shown
// window, waiting events let through at most every 50 ms as a run does, and
// for comparison after every line. Prints the cost per line beyond the loop's
// own work (measured by the same loop without the window).
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVREL_BUILD_BENCH=ON
//   ninja -C build/bench log_window_bench && build/bench/bench/log_window_bench [lines]
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialogs/SyncLogDlg.h"

namespace {

using Clock = std::chrono::steady_clock;

struct RESULT {
    double dSeconds = 0;
    double dEventSeconds = 0; // spent letting events through
    int nEventPasses = 0;
};

// One run: nEveryMs < 0 lets events through after every line, otherwise at
// most every nEveryMs milliseconds (and once at the end).
// nWorkUs: busy time per line standing in for the run's own work (copying),
// so that a run lasts long enough for many 50 ms passes.
RESULT Run(kovrel::dialogs::CSyncLogDlg* pDlg, const std::vector<std::string>& vecLines,
           int nEveryMs, int nWorkUs = 0) {
    RESULT result;
    if (pDlg != nullptr) {
        pDlg->BeginRun(nullptr);
        QApplication::processEvents();
    }
    const auto tStart = Clock::now();
    auto tLastPass = tStart;
    auto passEvents = [&](Clock::time_point tNow) {
        if (pDlg != nullptr) {
            QApplication::processEvents();
        }
        const auto tAfter = Clock::now();
        result.dEventSeconds += std::chrono::duration<double>(tAfter - tNow).count();
        ++result.nEventPasses;
        tLastPass = tAfter;
    };
    for (const std::string& strLine : vecLines) {
        if (nWorkUs > 0) {
            const auto tUntil = Clock::now() + std::chrono::microseconds(nWorkUs);
            while (Clock::now() < tUntil) {
            }
        }
        if (pDlg != nullptr) {
            pDlg->AddString(strLine);
        }
        const auto tNow = Clock::now();
        if (nEveryMs < 0 || tNow - tLastPass >= std::chrono::milliseconds(nEveryMs)) {
            passEvents(tNow);
        }
    }
    passEvents(Clock::now());
    result.dSeconds = std::chrono::duration<double>(Clock::now() - tStart).count();
    if (pDlg != nullptr) {
        pDlg->EndRun();
    }
    return result;
}

void Print(const char* pszName, const RESULT& r, const RESULT& base, std::size_t nLines) {
    const double dPerLineUs = (r.dSeconds - base.dSeconds) / double(nLines) * 1e6;
    std::printf("%-38s total %8.3f s  events %8.3f s in %6d passes (%6.3f ms each)  %8.3f "
                "us/line beyond the loop\n",
                pszName, r.dSeconds, r.dEventSeconds, r.nEventPasses,
                r.dEventSeconds / r.nEventPasses * 1e3, dPerLineUs);
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    const std::size_t nLines = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;

    // Lines as a run writes them: two paths of some depth, some Japanese.
    std::vector<std::string> vecLines;
    vecLines.reserve(nLines);
    for (std::size_t i = 0; i < nLines; ++i) {
        vecLines.push_back("/home/user/プロジェクト/src/module" + std::to_string(i % 97) + "/file" +
                           std::to_string(i) + ".cpp -> /media/backup/プロジェクト/src/module" +
                           std::to_string(i % 97) + "/file" + std::to_string(i) + ".cpp");
    }

    kovrel::dialogs::CSyncLogDlg dlg;
    dlg.resize(900, 600);
    Run(&dlg, vecLines, 50); // warm-up: fonts, glyph caches, first show
    const RESULT base50 = Run(nullptr, vecLines, 50);
    const RESULT shown50 = Run(&dlg, vecLines, 50);
    const RESULT base50w = Run(nullptr, vecLines, 50, 10);
    const RESULT shown50w = Run(&dlg, vecLines, 50, 10);
    // Events after every line repaint the window for every line, which takes
    // long: a third argument limits that part to fewer lines.
    const std::size_t nEveryLine =
        std::min<std::size_t>(nLines, argc > 2 ? std::strtoul(argv[2], nullptr, 10) : nLines);
    const std::vector<std::string> vecFew(vecLines.begin(),
                                          vecLines.begin() + std::ptrdiff_t(nEveryLine));
    const RESULT base1 = Run(nullptr, vecFew, -1);
    const RESULT shown1 = Run(&dlg, vecFew, -1);
    std::printf("%zu lines, window %dx%d, %d lines in view\n", nLines, dlg.width(), dlg.height(),
                dlg.GetVisibleLineCount());
    Print("loop alone, events every 50 ms", base50, base50, nLines);
    Print("window shown, events every 50 ms", shown50, base50, nLines);
    Print("loop + 10 us work/line, every 50 ms", base50w, base50w, nLines);
    Print("window + 10 us work/line, every 50 ms", shown50w, base50w, nLines);
    std::printf("events after every line, %zu lines:\n", nEveryLine);
    Print("loop alone, events every line", base1, base1, nEveryLine);
    Print("window shown, events every line", shown1, base1, nEveryLine);
    return dlg.GetCount() == int(nLines) ? 0 : 1;
}
