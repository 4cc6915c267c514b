// "Select Directory": a directory picked from the local mounts ("My
// Computer") and the network mounts ("Network Computer"), or typed.
#pragma once

#include <string>
#include <vector>

#include "ui/TemplateDialog.h"

namespace kovrel::platform {
class FileSystem;
}

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kovrel::dialogs {

struct MOUNTENTRY {
    std::string strMountPoint; // absolute path, no trailing "/" except for "/"
    std::string strSource;     // device or remote ("server:/export", "//server/share")
    std::string strFsType;     // "ext4", "nfs4", "fuse.sshfs", ...
    bool bReadOnly = false;
};

// The mounted file systems in mount-table order, pseudo file systems left out.
class IMountTable {
public:
    virtual ~IMountTable() = default;
    virtual std::vector<MOUNTENTRY> GetMounts() const = 0;
};

// The real mount table (QStorageInfo::mountedVolumes()).
class CSystemMountTable final : public IMountTable {
public:
    std::vector<MOUNTENTRY> GetMounts() const override;
};

// True for file system types that reach another machine (nfs, cifs, sshfs...).
bool IsNetworkFsType(const std::string& strFsType);
// Server and share of a network mount's source: "server:/export" and
// "//server/share" give "server" and "export"/"share". False when the source
// names no server.
bool SplitNetworkSource(const std::string& strSource, std::string& strServer,
                        std::string& strShare);

class CSelectDirDlg : public ui::CTemplateDialog {
    Q_OBJECT
public:
    // pMounts: the mount table to show; null means the system's. pFileSystem:
    // where directories are read; null means the disk. Neither is owned.
    explicit CSelectDirDlg(QWidget* pParent = nullptr, const IMountTable* pMounts = nullptr,
                           platform::FileSystem* pFileSystem = nullptr);
    ~CSelectDirDlg() override;

    // In: the start path. Out, after OK only: the edit box's text with one
    // trailing "/" removed ("/" itself stays "/").
    std::string m_strPath;

    // Name shown for a directory, server or share: a name without any
    // lower-case ASCII letter or non-ASCII character is shown with every
    // letter after the first in lower case ("WINDOWS" as "Windows").
    static std::string MakeDisplayName(const std::string& strName);

    QTreeWidget* Tree() const { return m_pTree; }
    QLineEdit* PathEdit() const { return m_pEdit; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }
    QTreeWidgetItem* MyComputerItem() const { return m_hMyComputer; }
    QTreeWidgetItem* NetworkComputerItem() const { return m_hNetworkComputer; }

    // The path of a tree item: empty for the roots and servers (they are not
    // directories here), the mount point for a drive or share, the joined
    // real names below.
    std::string GetItemPath(QTreeWidgetItem* pItem) const;
    // The real (on-disk) name a directory item stands for.
    static std::string ItemRealName(const QTreeWidgetItem* pItem);

public slots:
    void accept() override; // OnOK

protected:
    bool OnInitDialog() override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    enum class NodeKind { MyComputer, NetworkComputer, Drive, Server, Share, Directory };
    struct RESOLVED;

    void InsertDrives();
    void InsertNetworkResources();
    void ExpandPath(const std::string& strPath);
    void SelectPath(const std::string& strPath);
    // The node a path starts from (a drive or share) and the rest of the path
    // below it; false when no listed mount holds the path.
    bool ResolveStart(const std::string& strPath, QTreeWidgetItem*& pStart, std::string& strRest);
    void FillNode(QTreeWidgetItem* pNode, const std::string& strDir);
    // A directory, or a symbolic link that leads to one.
    bool IsDirectory(const std::string& strPath);
    platform::FileSystem& FileSystem();
    static QTreeWidgetItem* FindChildByName(QTreeWidgetItem* pParent, const std::string& strName);
    QTreeWidgetItem* NewItem(QTreeWidgetItem* pParent, NodeKind nKind,
                             const std::string& strRealName, const std::string& strText);
    static NodeKind Kind(const QTreeWidgetItem* pItem);
    static bool IsFilled(const QTreeWidgetItem* pItem);
    static void SetFilled(QTreeWidgetItem* pItem, bool bFilled);

    void OnItemExpanding(QTreeWidgetItem* pItem);
    void OnItemCollapsed(QTreeWidgetItem* pItem);
    void OnSelChanged(QTreeWidgetItem* pItem);
    void Relayout();

    const IMountTable* m_pMounts;
    platform::FileSystem* m_pFileSystem;
    std::vector<MOUNTENTRY> m_vecLocal;   // the drives, "/" first
    std::vector<MOUNTENTRY> m_vecNetwork; // the network mounts
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLineEdit* m_pEdit = nullptr;
    QTreeWidget* m_pTree = nullptr;
    QTreeWidgetItem* m_hMyComputer = nullptr;
    QTreeWidgetItem* m_hNetworkComputer = nullptr;
    bool m_bFilling = false;
    bool m_bInitialized = false;
    // The path of the selected item as bytes, and as the edit shows it: a name
    // that is not valid UTF-8 comes back intact unless the user edits it.
    std::string m_strShownPath;
    QString m_strShownText;
};

} // namespace kovrel::dialogs
