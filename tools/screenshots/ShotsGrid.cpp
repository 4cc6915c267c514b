// Screenshots of the view: a sample list whose option words cover every glyph,
// the current cell inverted, and one cell being edited.
#include "Shots.h"
#include "grid/KovrelView.h"

#include <QApplication>
#include <QInputMethodEvent>

#include <cstdint>
#include <string>

namespace kovrel::shots {

namespace {

struct SampleItem {
    const char* pszPath1;
    const char* pszPath2;
    std::uint32_t dwOption;
};

// Between them these option words show all fourteen glyphs and the mark of a
// remembered last run.
const SampleItem kSample[] = {
    {"/home/yuki/ドキュメント", "/mnt/backup/ドキュメント", 0x0},
    {"/home/yuki/src/kovrel", "/srv/mirror/kovrel", 0x181},
    {"/home/yuki/写真/2026", "/media/usb/写真/2026", 0x20010}, // remembers its last run
    {"/home/yuki/Music & Talks", "/mnt/nas/Music & Talks", 0x88},
    {"/etc/kovrel.conf", "/mnt/backup/etc/kovrel.conf", 0x10000},
    {"/var/www/site", "/srv/www/site", 0x500},
    {"/home/yuki/メール/アーカイブ/とても長い名前のフォルダ/さらに深い階層/最後",
     "/mnt/backup/メール", 0x10200},
    {"/opt/tools", "", 0x218},
    {"", "/tmp/scratch", 0x22},
};

void Populate(grid::CKovrelView& view) {
    CSyncItemList list;
    for (const SampleItem& item : kSample) {
        SYNCITEM* pItem = list.SetAt(-1, item.pszPath1, item.pszPath2, nullptr);
        pItem->dwOption = item.dwOption;
    }
    view.LoadList(list);
}

} // namespace

grid::CKovrelView* MakeView(int nCurRow, int nCurSide) {
    auto* pView = new grid::CKovrelView;
    pView->setWindowTitle(QStringLiteral("サンプル.kvd - Kovrel Duplicator"));
    pView->resize(900, 330);
    pView->show(); // sizes reach the grid once the window is shown
    QApplication::processEvents();
    Populate(*pView);
    pView->GetGrid().SetCurSide(nCurSide);
    pView->GetGrid().SelectRow(nCurRow, -1);
    return pView;
}

} // namespace kovrel::shots

using namespace kovrel;
using namespace kovrel::shots;

KOVREL_SHOTS(RegisterGridShots) {
    // The current cell (side 2 of row 2) inverted.
    RegisterShot(QStringLiteral("grid_view"), [] { return GrabWindow(MakeView(2, 1)); });
    // Side 1 of row 5 being edited, with Japanese typed through the input method.
    RegisterShot(QStringLiteral("grid_edit"), [] {
        grid::CKovrelView* pView = MakeView(5, 0);
        grid::CItemGrid& grid = pView->GetGrid();
        grid.BeginEdit();
        grid.GetEdit().end(false);
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("/新しい場所"));
        QApplication::sendEvent(&grid.GetEdit(), &commit);
        return GrabWindow(pView);
    });
}
