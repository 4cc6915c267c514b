// "サウンド": bells on or off and the sound files of the end of a run; each
// file can be tried out. Writes no setting itself.
#pragma once

#include <QString>

#include "ui/TemplateDialog.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kovrel::dialogs {

class CSoundDlg : public ui::CTemplateDialog {
    Q_OBJECT
public:
    explicit CSoundDlg(QWidget* pParent = nullptr);

    // In and, after OK only, out.
    bool m_bSoundOn = false;
    QString m_strEndSound; // played when a run went through the whole list
    QString m_strErrSound; // played when a run stopped early

    QRadioButton* OnRadio() const { return m_pOn; }
    QRadioButton* OffRadio() const { return m_pOff; }
    QLineEdit* EndEdit() const { return m_pEndEdit; }
    QLineEdit* ErrEdit() const { return m_pErrEdit; }
    QPushButton* EndBrowseButton() const { return m_pEndBrowse; }
    QPushButton* ErrBrowseButton() const { return m_pErrBrowse; }
    QPushButton* EndTestButton() const { return m_pEndTest; }
    QPushButton* ErrTestButton() const { return m_pErrTest; }

public slots:
    void accept() override; // OnOK

protected:
    bool OnInitDialog() override;

private:
    void OnBrowse(QLineEdit* pEdit);
    static void OnTest(const QLineEdit* pEdit);

    QLineEdit* m_pErrEdit = nullptr;
    QLineEdit* m_pEndEdit = nullptr;
    QRadioButton* m_pOn = nullptr;
    QRadioButton* m_pOff = nullptr;
    QPushButton* m_pEndBrowse = nullptr;
    QPushButton* m_pErrBrowse = nullptr;
    QPushButton* m_pEndTest = nullptr;
    QPushButton* m_pErrTest = nullptr;
};

} // namespace kovrel::dialogs
