// A drag source for the window-manager tests: a small window that, when the
// mouse is pressed on it, drags the files named on its command line offering
// Copy, Move and Link with Move proposed (as a file manager does for a plain
// drag), then prints the action the drop target answered and ends a little
// later.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class CDragSource : public QWidget {
public:
    explicit CDragSource(QList<QUrl> urls) : m_urls(std::move(urls)) {}

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* pData = new QMimeData;
        pData->setUrls(m_urls);
        auto* pDrag = new QDrag(this);
        pDrag->setMimeData(pData);
        const Qt::DropAction action =
            pDrag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction);
        const char* psz = action == Qt::CopyAction   ? "copy"
                          : action == Qt::MoveAction ? "move"
                          : action == Qt::LinkAction ? "link"
                                                     : "ignore";
        std::printf("%s\n", psz);
        std::fflush(stdout);
        // The target fetches the data after the drop; stay until it has.
        QTimer::singleShot(3000, qApp, &QApplication::quit);
    }

private:
    QList<QUrl> m_urls;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i)
        urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
    CDragSource source(urls);
    source.setWindowTitle(QStringLiteral("kovrel drag source"));
    source.setGeometry(700, 500, 200, 150);
    source.show();
    return app.exec();
}
