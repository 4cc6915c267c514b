#include "support/GuiTest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

namespace kovrel::test {

struct CModalAnswer::State {
    std::function<void(QWidget*)> fnAnswer;
    QTimer timer;
    int nLeftMs = 0;
    bool bAnswered = false;
    QString strTitle;
    QString strText;
};

CModalAnswer::CModalAnswer(std::function<void(QWidget*)> fnAnswer, int nTimeoutMs)
    : m_pState(new State) {
    m_pState->fnAnswer = std::move(fnAnswer);
    m_pState->nLeftMs = nTimeoutMs;
    m_pState->timer.setInterval(5);
    State* pState = m_pState;
    QObject::connect(&m_pState->timer, &QTimer::timeout, [pState] {
        pState->nLeftMs -= 5;
        QWidget* pModal = QApplication::activeModalWidget();
        if (pModal != nullptr && pModal->isVisible()) {
            pState->timer.stop();
            pState->bAnswered = true;
            pState->strTitle = pModal->windowTitle();
            if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
                pState->strText = pBox->text();
            }
            pState->fnAnswer(pModal);
        } else if (pState->nLeftMs <= 0) {
            pState->timer.stop();
        }
    });
    m_pState->timer.start();
}

CModalAnswer::~CModalAnswer() {
    delete m_pState;
}

bool CModalAnswer::WasAnswered() const {
    return m_pState->bAnswered;
}

QString CModalAnswer::SeenTitle() const {
    return m_pState->strTitle;
}

QString CModalAnswer::SeenText() const {
    return m_pState->strText;
}

static QString StripMnemonic(QString str) {
    const qsizetype nParen = str.indexOf(QStringLiteral("(&"));
    if (nParen >= 0) {
        str.truncate(nParen);
    }
    str.remove(QLatin1Char('&'));
    return str;
}

void DropFiles(QWidget* pTarget, const QPoint& pt, const QStringList& astrPaths) {
    DropFilesOffering(pTarget, pt, astrPaths, Qt::CopyAction, Qt::CopyAction);
}

Qt::DropAction DropFilesOffering(QWidget* pTarget, const QPoint& pt, const QStringList& astrPaths,
                                 Qt::DropActions actions, Qt::DropAction proposed) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& str : astrPaths) {
        urls.append(QUrl::fromLocalFile(str));
    }
    data.setUrls(urls);
    QDragEnterEvent enter(pt, actions, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(proposed);
    QApplication::sendEvent(pTarget, &enter);
    QDropEvent drop(QPointF(pt), actions, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(proposed);
    QApplication::sendEvent(pTarget, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

void ClickMessageBoxButton(QWidget* pBox, const QString& strButton) {
    const QString strWanted = StripMnemonic(strButton);
    for (QAbstractButton* pButton : pBox->findChildren<QAbstractButton*>()) {
        if (StripMnemonic(pButton->text()) == strWanted) {
            QTest::mouseClick(pButton, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no button " << strButton.toStdString() << " in the modal window";
    pBox->close();
}

} // namespace kovrel::test
