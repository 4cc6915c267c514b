// Renders every registered window to <folder>/<name>.png, headless.
// Usage: kovrel_screenshots [folder] [name-filter]
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "Shots.h"
#include "ui/AppInfo.h"

namespace kovrel::shots {

namespace {
std::map<QString, ShotFn>& Registry() {
    static std::map<QString, ShotFn> s_map;
    return s_map;
}
} // namespace

void RegisterShot(const QString& strName, ShotFn fnShot) {
    Registry()[strName] = std::move(fnShot);
}

QImage GrabWindow(QWidget* pWindow, bool bKeep) {
    if (!pWindow->isVisible()) {
        pWindow->show();
    }
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
    // With QT_SCALE_FACTOR the grab has more device pixels than logical ones;
    // the picture keeps every device pixel, the frame drawn at the same ratio.
    const QImage imgClient = pWindow->grab().toImage();
    const qreal dDpr = imgClient.devicePixelRatio();
    const QSize szClient = imgClient.deviceIndependentSize().toSize();
    QFont fontCaption = QApplication::font();
    fontCaption.setBold(true);
    const int nCaption = QFontMetrics(fontCaption).height() + 8;
    QImage img(QSize(szClient.width() + 2, szClient.height() + nCaption + 1) * dDpr,
               QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dDpr);
    img.fill(QColor(0x40, 0x40, 0x40));
    QPainter painter(&img);
    painter.fillRect(QRect(1, 1, szClient.width(), nCaption - 1), QColor(0x2a, 0x52, 0x98));
    painter.setFont(fontCaption);
    painter.setPen(Qt::white);
    painter.drawText(QRect(6, 1, szClient.width() - 8, nCaption - 1),
                     Qt::AlignLeft | Qt::AlignVCenter, pWindow->windowTitle());
    painter.drawImage(QPoint(1, nCaption), imgClient);
    painter.end();
    if (!bKeep) {
        delete pWindow;
    }
    return img;
}

QImage GrabModal(const std::function<void()>& fnOpen,
                 const std::function<void(QWidget*)>& fnClose) {
    QImage img;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (pModal != nullptr && pModal->isVisible()) {
            timer.stop();
            img = GrabWindow(pModal, true);
            fnClose(pModal);
        }
    });
    timer.start();
    fnOpen();
    return img;
}

} // namespace kovrel::shots

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    kovrel::ui::LoadQtJapaneseTranslation(app);
    const QString strDir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/screenshots");
    const QString strFilter = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (!QDir().mkpath(strDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(strDir));
        return 1;
    }
    int nFailed = 0;
    for (const auto& [strName, fnShot] : kovrel::shots::Registry()) {
        if (!strFilter.isEmpty() && !strName.contains(strFilter)) {
            continue;
        }
        const QImage img = fnShot();
        const QString strFile = QDir(strDir).filePath(strName + QStringLiteral(".png"));
        if (img.isNull() || !img.save(strFile)) {
            std::fprintf(stderr, "failed: %s\n", qPrintable(strFile));
            ++nFailed;
            continue;
        }
        std::printf("%s\n", qPrintable(strFile));
    }
    return nFailed == 0 ? 0 : 1;
}
