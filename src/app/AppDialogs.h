// The questions, messages and dialogs of the document and the application, as
// one seam: the program shows the real boxes (CreateStandardAppDialogs), tests
// answer them directly.
#pragma once

#include "app/LogFileRules.h"

#include <QString>

#include <memory>

class QWidget;

namespace kovrel::app {

// The sound dialog's values.
struct SOUNDCHOICE {
    bool bSoundOn = false;
    std::string strEndSound;
    std::string strErrSound;
};

class IAppDialogs {
public:
    virtual ~IAppDialogs() = default;
    // A message box as ShowMessageBox shows it (nType: MB_ buttons and icon;
    // an empty caption is the application's title); returns the answer (IDOK...).
    virtual int MessageBox(QWidget* pParent, const QString& strText, unsigned nType,
                           const QString& strCaption = QString()) = 0;
    // The document to open; empty when cancelled.
    virtual QString AskOpenDocumentName(QWidget* pParent) = 0;
    // The name to save under, strProposed offered; empty when cancelled.
    virtual QString AskSaveDocumentName(QWidget* pParent, const QString& strProposed) = 0;
    // The log file and sound dialogs: choice in and, after OK only (true), out.
    // The log file dialog refuses the open document (strDocPath) as a log file.
    virtual bool RunLogFileDlg(QWidget* pParent, LOGFILECHOICE& choice,
                               const QString& strDocPath) = 0;
    virtual bool RunSoundDlg(QWidget* pParent, SOUNDCHOICE& choice) = 0;
    virtual void RunAboutDlg(QWidget* pParent) = 0;
};

// The real boxes and dialogs.
std::unique_ptr<IAppDialogs> CreateStandardAppDialogs();

} // namespace kovrel::app
