#include "app/AppDialogs.h"

#include "app/KovrelDoc.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/LogFileDlg.h"
#include "dialogs/SoundDlg.h"
#include "ui/MsgBox.h"
#include "ui/Text.h"

#include <QFileDialog>
#include <QFileInfo>

namespace kovrel::app {

namespace {

class CStandardAppDialogs final : public IAppDialogs {
public:
    int MessageBox(QWidget* pParent, const QString& strText, unsigned nType,
                   const QString& strCaption) override {
        return ui::ShowMessageBox(pParent, strText, nType, strCaption);
    }

    QString AskOpenDocumentName(QWidget* pParent) override {
        QFileDialog dlg(pParent, ui::U("開く"));
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
        dlg.setNameFilters({ui::U(kDocFilter), ui::U("すべてのファイル (*)")});
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().constFirst();
    }

    // .kvd is added to a name typed without an extension; an existing file is
    // replaced only after the dialog's own question.
    QString AskSaveDocumentName(QWidget* pParent, const QString& strProposed) override {
        QFileDialog dlg(pParent, ui::U("名前を付けて保存"));
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setNameFilter(ui::U(kDocFilter));
        dlg.setDefaultSuffix(ui::U(kDocSuffix));
        const QFileInfo info(strProposed);
        if (info.isAbsolute())
            dlg.setDirectory(info.absolutePath());
        dlg.selectFile(info.fileName());
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().constFirst();
    }

    bool RunLogFileDlg(QWidget* pParent, LOGFILECHOICE& choice,
                       const QString& strDocPath) override {
        dialogs::CLogFileDlg dlg(pParent);
        dlg.m_bDocLog = choice.bDocLog;
        dlg.m_strLogFile = QString::fromStdString(choice.strLogFile);
        dlg.m_bAppend = choice.bAppend;
        dlg.m_strDocPath = strDocPath;
        if (dlg.exec() != QDialog::Accepted)
            return false;
        choice.bDocLog = dlg.m_bDocLog;
        choice.strLogFile = dlg.m_strLogFile.toStdString();
        choice.bAppend = dlg.m_bAppend;
        return true;
    }

    bool RunSoundDlg(QWidget* pParent, SOUNDCHOICE& choice) override {
        dialogs::CSoundDlg dlg(pParent);
        dlg.m_bSoundOn = choice.bSoundOn;
        dlg.m_strEndSound = QString::fromStdString(choice.strEndSound);
        dlg.m_strErrSound = QString::fromStdString(choice.strErrSound);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        choice.bSoundOn = dlg.m_bSoundOn;
        choice.strEndSound = dlg.m_strEndSound.toStdString();
        choice.strErrSound = dlg.m_strErrSound.toStdString();
        return true;
    }

    void RunAboutDlg(QWidget* pParent) override {
        dialogs::CAboutDlg dlg(pParent);
        dlg.exec();
    }
};

} // namespace

std::unique_ptr<IAppDialogs> CreateStandardAppDialogs() {
    return std::make_unique<CStandardAppDialogs>();
}

} // namespace kovrel::app
