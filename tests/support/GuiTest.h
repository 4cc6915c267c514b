#pragma once
// Helpers for GUI tests that must answer a modal window the code under test
// opens: the answer is queued before the call that opens the window and runs
// from the window's own event loop, so no test ever waits on a person.
#include <QStringList>
#include <QWidget>

#include <functional>

namespace kovrel::test {

// Calls fnAnswer with the next modal widget that becomes active (polled every
// few milliseconds from the event loop). Gives up after nTimeoutMs; the test
// then sees WasAnswered() false instead of hanging.
class CModalAnswer {
public:
    explicit CModalAnswer(std::function<void(QWidget*)> fnAnswer, int nTimeoutMs = 5000);
    ~CModalAnswer();
    CModalAnswer(const CModalAnswer&) = delete;
    CModalAnswer& operator=(const CModalAnswer&) = delete;

    bool WasAnswered() const;
    QString SeenTitle() const; // window title of the modal widget answered
    QString SeenText() const;  // QMessageBox text, empty for other widgets

private:
    struct State;
    State* m_pState;
};

// Drops files on pTarget at pt (pTarget's coordinates) as a file manager does:
// a drag-enter carrying their URLs, then the drop.
void DropFiles(QWidget* pTarget, const QPoint& pt, const QStringList& astrPaths);
// The same from a source offering the given actions (a file manager offers
// Copy, Move and Link); the action the target told the source, or
// Qt::IgnoreAction when the drop was refused.
Qt::DropAction DropFilesOffering(QWidget* pTarget, const QPoint& pt, const QStringList& astrPaths,
                                 Qt::DropActions actions, Qt::DropAction proposed);

// Clicks the button of the active modal QMessageBox whose text is strButton
// (as shown, e.g. "はい(&Y)" or "はい" – mnemonics are ignored).
void ClickMessageBoxButton(QWidget* pBox, const QString& strButton);

} // namespace kovrel::test
