#include "app/KovrelDoc.h"

#include "app/FileErrors.h"
#include "document/KvdFormat.h"
#include "document/SaveVersion.h"
#include "platform/PosixFileSystem.h"
#include "ui/MsgBox.h"
#include "ui/Text.h"

#include <QFileInfo>

namespace kovrel::app {

platform::FileSystem& CKovrelDoc::FileSystem() {
    if (m_pFileSystem)
        return *m_pFileSystem;
    static platform::PosixFileSystem s_disk;
    return s_disk;
}

IAppDialogs& CKovrelDoc::Dialogs() {
    if (m_pDialogs)
        return *m_pDialogs;
    if (!m_pStdDialogs)
        m_pStdDialogs = CreateStandardAppDialogs();
    return *m_pStdDialogs;
}

void CKovrelDoc::SetModifiedFlag(bool bModified) {
    if (m_bModified == bModified)
        return;
    m_bModified = bModified;
    emit titleChanged();
}

QString CKovrelDoc::GetTitle() const {
    if (m_strPathName.isEmpty())
        return ui::U(kUntitled);
    return QFileInfo(m_strPathName).fileName();
}

void CKovrelDoc::SetPathName(const QString& strPath) {
    m_strPathName = strPath.isEmpty() ? QString() : QFileInfo(strPath).absoluteFilePath();
    emit titleChanged();
}

void CKovrelDoc::DeleteContents() {
    if (m_pView)
        m_pView->ResetGrid();
}

void CKovrelDoc::OnNewDocument() {
    DeleteContents();
    m_bForeign = false;
    m_bModified = false;
    SetPathName(QString());
}

OpenResult CKovrelDoc::OnOpenDocument(const QString& strPath) {
    // Read into a list of its own; the view takes it over only once it has been
    // read, so a file that cannot be opened leaves the open document alone.
    CSyncItemList list;
    list.m_strDocLog = m_pView->GetList().m_strDocLog; // kept by a file that holds none
    int nFileVersion = m_pView->m_nFileVersion;
    const std::string strLocal = QFile::encodeName(strPath).toStdString();
    const KvdFileResult res = LoadKvdFile(FileSystem(), strLocal, list, nFileVersion);
    switch (res.eStatus) {
    case KvdFileStatus::Ok:
        m_pView->LoadList(list);
        m_pView->m_nFileVersion = nFileVersion;
        break;
    case KvdFileStatus::ForeignHeader:
        // Opens as an empty list under the file's name; Save will ask for a name
        // so another program's file is only replaced when the user says so.
        m_pView->LoadList(list);
        Dialogs().MessageBox(m_pView, ui::U(KVD_MSG_FOREIGN), ui::MB_OK | ui::MB_ICONEXCLAMATION,
                             ui::U(KVD_MSG_FOREIGN_CAPTION));
        m_bForeign = true;
        m_bModified = false;
        SetPathName(strPath);
        return OpenResult::Opened;
    case KvdFileStatus::ArchiveError:
        DeleteContents();
        m_pView->SetDocLog(std::string());
        Dialogs().MessageBox(m_pWindow, ui::U(KVD_MSG_ARCHIVE_ERROR),
                             ui::MB_OK | ui::MB_ICONEXCLAMATION);
        return OpenResult::Replaced;
    case KvdFileStatus::NotAFile:
        Dialogs().MessageBox(m_pWindow, NotAFileMessage(strPath),
                             ui::MB_OK | ui::MB_ICONEXCLAMATION);
        return OpenResult::Failed;
    default:
        Dialogs().MessageBox(m_pWindow, FileErrorMessage(FileAction::Open, res.nErrno, strPath),
                             ui::MB_OK | ui::MB_ICONEXCLAMATION);
        return OpenResult::Failed;
    }
    m_bForeign = false;
    m_bModified = false;
    SetPathName(strPath);
    return OpenResult::Opened;
}

bool CKovrelDoc::OnSaveDocument(const QString& strPath) {
    const std::string strLocal = QFile::encodeName(strPath).toStdString();
    const KvdFileResult res =
        SaveKvdFile(FileSystem(), strLocal, m_pView->GetList(), m_pView->m_nFileVersion);
    if (res.eStatus != KvdFileStatus::Ok) {
        Dialogs().MessageBox(m_pWindow, FileErrorMessage(FileAction::Save, res.nErrno, strPath),
                             ui::MB_OK | ui::MB_ICONEXCLAMATION);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

int CKovrelDoc::CheckSaveVersion() {
    const SaveVersionDecision decision = kovrel::CheckSaveVersion(
        m_pView->m_nFileVersion,
        [this] {
            switch (Dialogs().MessageBox(m_pWindow, ui::U(KVD_MSG_ASK_UPGRADE),
                                         ui::MB_YESNOCANCEL | ui::MB_ICONQUESTION)) {
            case ui::IDYES:
                return UpgradeAnswer::Yes;
            case ui::IDNO:
                return UpgradeAnswer::No;
            default:
                return UpgradeAnswer::Cancel;
            }
        },
        [this] {
            return Dialogs().MessageBox(m_pWindow, ui::U(KVD_MSG_ASK_KEEP_LAYOUT),
                                        ui::MB_OKCANCEL | ui::MB_ICONQUESTION) == ui::IDOK
                       ? KeepLayoutAnswer::Ok
                       : KeepLayoutAnswer::Cancel;
        });
    if (!decision.bSave)
        return -1;
    m_pView->m_nFileVersion = decision.nFileVersion;
    return 0;
}

bool CKovrelDoc::DoSave(const QString& strPath, bool bReplace) {
    if (CheckSaveVersion() != 0)
        return false;
    QString strName = strPath;
    if (strName.isEmpty()) {
        QString strProposed = m_strPathName;
        if (strProposed.isEmpty())
            strProposed = GetTitle() + QStringLiteral(".") + ui::U(kDocSuffix);
        strName = Dialogs().AskSaveDocumentName(m_pWindow, strProposed);
        if (strName.isEmpty())
            return false;
    }
    if (!OnSaveDocument(strName))
        return false;
    if (bReplace) {
        m_bForeign = false;
        SetPathName(strName);
    }
    emit pathUsed(QFileInfo(strName).absoluteFilePath());
    return true;
}

bool CKovrelDoc::DoFileSave() {
    if (m_strPathName.isEmpty() || m_bForeign)
        return DoSave(QString());
    return DoSave(m_strPathName);
}

bool CKovrelDoc::SaveModified() {
    if (!m_bModified)
        return true;
    const QString strName = m_strPathName.isEmpty() ? GetTitle() : m_strPathName;
    switch (Dialogs().MessageBox(m_pWindow, ui::U(kAskToSave).arg(strName), ui::MB_YESNOCANCEL)) {
    case ui::IDYES:
        return DoFileSave();
    case ui::IDNO:
        return true;
    default:
        return false;
    }
}

} // namespace kovrel::app
