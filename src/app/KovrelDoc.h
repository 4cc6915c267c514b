// The document: its file name, its title, the modified flag, and its life:
// new, open, save, save as and the question before changes are thrown away.
// The items themselves live in the view's grid.
#pragma once

#include "app/AppDialogs.h"
#include "grid/KovrelView.h"
#include "platform/FileSystem.h"

#include <QObject>
#include <QString>

class QWidget;

namespace kovrel::app {

// The file type the dialogs offer.
inline constexpr const char* kDocFilter = "Synchro Item File (*.kvd)";
inline constexpr const char* kDocSuffix = "kvd";
inline constexpr const char* kUntitled = "無題";
inline constexpr const char* kAskToSave = "%1 への変更を保存しますか？";

enum class OpenResult {
    Opened,   // the document is open (also a foreign file, as an empty list)
    Failed,   // could not be read; the previous document is as it was
    Replaced, // broken file: the previous document is gone, a new one stands
};

class CKovrelDoc : public QObject, public grid::IViewDocument {
    Q_OBJECT
public:
    CKovrelDoc() = default;

    void SetView(grid::CKovrelView* pView) { m_pView = pView; }
    grid::CKovrelView* GetView() const { return m_pView; }
    // Parent of the document's message boxes and file dialogs.
    void SetWindow(QWidget* pWindow) { m_pWindow = pWindow; }
    // Where the document's questions and file dialogs go (null: the real ones).
    void SetDialogs(IAppDialogs* pDialogs) { m_pDialogs = pDialogs; }
    // The file system documents are read from and written to (null: the disk).
    void SetFileSystem(platform::FileSystem* pFileSystem) { m_pFileSystem = pFileSystem; }

    void SetModifiedFlag(bool bModified = true) override;
    bool IsModified() const { return m_bModified; }
    const QString& GetPathName() const { return m_strPathName; }
    // The file's name with its extension, or "無題".
    QString GetTitle() const;
    // A file with a foreign header is open: Save asks for a name first.
    bool IsForeignFile() const { return m_bForeign; }

    // Empties the list (the document's log setting and the file version stay).
    void DeleteContents();
    void OnNewDocument();
    OpenResult OnOpenDocument(const QString& strPath);
    // Writes the list to strPath; false after the message has been shown.
    bool OnSaveDocument(const QString& strPath);

    // Save: the current name, or the dialog when there is none yet or the file
    // is another program's.
    bool DoFileSave();
    // Asks about the file version, then (for an empty strPath) for a name, then
    // saves. bReplace: the document takes the new name.
    bool DoSave(const QString& strPath, bool bReplace = true);
    // 0 go on, -1 the save is called off.
    int CheckSaveVersion();
    // Asks "save changes?" when modified. False: the user called it off (or the
    // save failed), so whatever asked must not go on.
    bool SaveModified();

signals:
    void titleChanged();
    // A document was saved or opened under this name (for the recent file list).
    void pathUsed(const QString& strPath);

private:
    void SetPathName(const QString& strPath);
    platform::FileSystem& FileSystem();
    IAppDialogs& Dialogs();

    grid::CKovrelView* m_pView = nullptr;
    QWidget* m_pWindow = nullptr;
    platform::FileSystem* m_pFileSystem = nullptr;
    IAppDialogs* m_pDialogs = nullptr;
    std::unique_ptr<IAppDialogs> m_pStdDialogs;
    QString m_strPathName;
    bool m_bModified = false;
    bool m_bForeign = false;
};

} // namespace kovrel::app
