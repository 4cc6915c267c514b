// The grid's cost with a large document: loading 100,000 items and painting the
// first screen, then a repaint, a Page Down and a thumb drag to the middle at
// 100,000 items against 10 (and 1,000, which fills the window just as 100,000
// does, where 10 items leave most rows blank). Painting covers only the visible
// rows, so the last three cost the same at 1,000 and at 100,000.
//
// Build with -DKOVREL_BUILD_BENCH=ON (Release), run bench/grid_bench; offscreen.
#include "document/KvdFormat.h"
#include "grid/KovrelView.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using namespace kovrel;
using namespace kovrel::grid;

std::string MakeDocument(int nCount) {
    CSyncItemList list;
    for (int i = 0; i < nCount; ++i) {
        const std::string strName = std::to_string(i);
        SYNCITEM* pItem =
            list.SetAt(-1, ("/home/user/project/ファイル" + strName).c_str(),
                       ("/mnt/backup/project/ファイル" + strName).c_str(), "*.c\n!\\obj\\");
        pItem->dwOption = static_cast<std::uint32_t>(i % 7 == 0 ? 0x181 : 0);
    }
    return WriteKvd(list, KVD_VERSION_1_0);
}

struct Fixture {
    explicit Fixture(int nCount) {
        view.resize(900, 600);
        view.show();
        const std::string strDoc = MakeDocument(nCount);
        CSyncItemList list;
        int nVersion = 0;
        ReadKvd(strDoc, list, nVersion);
        view.LoadList(list);
        QApplication::processEvents();
    }
    void Paint() { view.GetGrid().render(&img); }

    CKovrelView view;
    QImage img{900, 570, QImage::Format_ARGB32_Premultiplied};
};

void BM_LoadAndFirstPaint(benchmark::State& state) {
    const std::string strDoc = MakeDocument(int(state.range(0)));
    CKovrelView view;
    view.resize(900, 600);
    view.show();
    QImage img(900, 570, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        CSyncItemList list;
        int nVersion = 0;
        ReadKvd(strDoc, list, nVersion);
        view.ResetGrid();
        view.LoadList(list);
        view.GetGrid().render(&img);
        benchmark::DoNotOptimize(img.bits());
    }
}
BENCHMARK(BM_LoadAndFirstPaint)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_Repaint(benchmark::State& state) {
    Fixture fx(int(state.range(0)));
    for (auto _ : state) {
        fx.Paint();
        benchmark::DoNotOptimize(fx.img.bits());
    }
}
BENCHMARK(BM_Repaint)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_PageDown(benchmark::State& state) {
    Fixture fx(int(state.range(0)));
    CItemGrid& grid = fx.view.GetGrid();
    for (auto _ : state) {
        grid.SelectRow(0, 0);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(&grid, &key);
        fx.Paint();
        benchmark::DoNotOptimize(fx.img.bits());
    }
}
BENCHMARK(BM_PageDown)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_ThumbToMiddle(benchmark::State& state) {
    Fixture fx(int(state.range(0)));
    CItemGrid& grid = fx.view.GetGrid();
    const int nMiddle = int(state.range(0)) / 2;
    for (auto _ : state) {
        grid.SelectRow(0, 0);
        grid.GetScrollBar().setSliderPosition(nMiddle); // what a drag of the thumb does
        fx.Paint();
        benchmark::DoNotOptimize(fx.img.bits());
    }
    state.counters["pos"] = grid.GetScrollPos();
}
BENCHMARK(BM_ThumbToMiddle)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
