// "ﾛｸﾞﾌｧｲﾙ": the run's log file, overwrite or append, and whether the choice
// belongs to the open document only. Writes no setting itself; refuses a
// file that may not serve as a log (engine/LogFileCheck.h).
#pragma once

#include <QString>

#include "ui/TemplateDialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kovrel::dialogs {

class CLogFileDlg : public ui::CTemplateDialog {
    Q_OBJECT
public:
    explicit CLogFileDlg(QWidget* pParent = nullptr);

    // In and, after OK only, out.
    bool m_bDocLog = false; // the log file belongs to the open document
    QString m_strLogFile;   // taken as typed
    bool m_bAppend = false; // append to an existing file instead of overwriting
    // In only: the open document's file (empty when never saved). OK refuses a
    // log file the run would refuse (the document, another document, a file
    // that is no log, a FIFO or device), saying why, and the dialog stays open.
    QString m_strDocPath;

    QCheckBox* DocLogCheck() const { return m_pDocLog; }
    QLineEdit* FileEdit() const { return m_pEdit; }
    QRadioButton* OverwriteRadio() const { return m_pOverwrite; }
    QRadioButton* AppendRadio() const { return m_pAppend; }
    QPushButton* BrowseButton() const { return m_pBrowse; }

public slots:
    void accept() override; // OnOK

protected:
    bool OnInitDialog() override;

private:
    void OnBrowse();

    QCheckBox* m_pDocLog = nullptr;
    QLineEdit* m_pEdit = nullptr;
    QRadioButton* m_pAppend = nullptr;
    QRadioButton* m_pOverwrite = nullptr;
    QPushButton* m_pBrowse = nullptr;
};

// The file dialog both settings dialogs browse with: an open-form dialog that
// also accepts a name that does not exist yet. strDefaultSuffix is added to a
// name typed without one; astrFilters are Qt name filters. Empty on Cancel.
// It does not change the process's current directory.
QString BrowseForFile(QWidget* pParent, const QString& strDefaultSuffix,
                      const QStringList& astrFilters);

} // namespace kovrel::dialogs
