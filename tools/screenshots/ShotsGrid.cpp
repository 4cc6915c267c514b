// Screenshots of the view: a sample list whose option words cover every glyph,
// the current cell inverted, and one cell being edited.
#include "grid/KovrelView.h"

#include <QApplication>
#include <QDir>
#include <QImage>
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

// Between them these option words show all fourteen glyphs.
const SampleItem kSample[] = {
    {"/home/yuki/ドキュメント", "/mnt/backup/ドキュメント", 0x0},
    {"/home/yuki/src/kovrel", "/srv/mirror/kovrel", 0x181},
    {"/home/yuki/写真/2026", "/media/usb/写真/2026", 0x10},
    {"/home/yuki/Music & Talks", "/mnt/nas/Music & Talks", 0x88},
    {"/etc/kovrel.conf", "/mnt/backup/etc/kovrel.conf", 0x10000},
    {"/var/www/site", "/srv/www/site", 0x500},
    {"/home/yuki/メール/アーカイブ/とても長い名前のフォルダ/さらに深い階層/最後",
     "/mnt/backup/メール", 0x10200},
    {"/opt/tools", "", 0x218},
    {"", "/tmp/scratch", 0x22},
};

void Populate(CKovrelView& view) {
    CSyncItemList list;
    for (const SampleItem& item : kSample) {
        SYNCITEM* pItem = list.SetAt(-1, item.pszPath1, item.pszPath2, nullptr);
        pItem->dwOption = item.dwOption;
    }
    view.LoadList(list);
}

bool Save(QWidget& widget, const QString& strDir, const QString& strName) {
    return widget.grab().toImage().save(QDir(strDir).filePath(strName));
}

} // namespace

// Writes grid_view.png and grid_edit.png into strDir; false when one could not be written.
bool ShotsGrid(const QString& strDir) {
    CKovrelView view;
    view.resize(900, 330);
    view.show();
    Populate(view);
    CItemGrid& grid = view.GetGrid();
    grid.SetCurSide(1);
    grid.SelectRow(2, -1);
    QApplication::processEvents();
    bool bOk = Save(view, strDir, QStringLiteral("grid_view.png"));

    // Editing side 1 of row 5, with Japanese typed through the input method.
    grid.SetCurSide(0);
    grid.SelectRow(5, -1);
    grid.BeginEdit();
    grid.GetEdit().end(false);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("/新しい場所"));
    QApplication::sendEvent(&grid.GetEdit(), &commit);
    QApplication::processEvents();
    bOk = Save(view, strDir, QStringLiteral("grid_edit.png")) && bOk;
    grid.EndEdit(false);
    return bOk;
}

} // namespace kovrel::shots

#ifdef KOVREL_GRID_SHOTS_MAIN
// Stand-alone: grid_shots <output directory>, offscreen.
#include <cstdlib>
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QString strDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(strDir);
    return kovrel::shots::ShotsGrid(strDir) ? 0 : 1;
}
#endif
