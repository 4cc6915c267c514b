#include "dialogs/SelectDirDlg.h"

#include "platform/Trash.h"

#include "platform/PosixFileSystem.h"

#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStorageInfo>
#include <QTreeWidget>

#include <algorithm>

namespace kovrel::dialogs {

namespace {

// Item data roles.
constexpr int kRoleKind = Qt::UserRole;
constexpr int kRoleRealName = Qt::UserRole + 1; // QByteArray: the name on disk
constexpr int kRoleFilled = Qt::UserRole + 2;   // bool: children read since last collapse
constexpr int kRoleMount = Qt::UserRole + 3;    // QByteArray: mount point of a drive or share

std::vector<std::string> SplitComponents(const std::string& strPath) {
    std::vector<std::string> vec;
    std::size_t nPos = 0;
    while (nPos <= strPath.size()) {
        std::size_t nEnd = strPath.find('/', nPos);
        if (nEnd == std::string::npos) {
            nEnd = strPath.size();
        }
        if (nEnd > nPos) {
            vec.push_back(strPath.substr(nPos, nEnd - nPos));
        }
        nPos = nEnd + 1;
    }
    return vec;
}

// Joining never doubles a separator: "/" and "usr" give "/usr".
std::string JoinPath(const std::string& strDir, const std::string& strName) {
    if (!strDir.empty() && strDir.back() == '/') {
        return strDir + strName;
    }
    return strDir + "/" + strName;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

QString ToQ(const std::string& str) {
    return QString::fromUtf8(str.data(), qsizetype(str.size()));
}

QByteArray ToBytes(const std::string& str) {
    return QByteArray(str.data(), qsizetype(str.size()));
}

std::string FromBytes(const QByteArray& ba) {
    return std::string(ba.constData(), std::size_t(ba.size()));
}

} // namespace

std::vector<MOUNTENTRY> CSystemMountTable::GetMounts() const {
    std::vector<MOUNTENTRY> vec;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid()) {
            continue;
        }
        MOUNTENTRY entry;
        entry.strMountPoint = info.rootPath().toStdString();
        entry.strSource = info.device().toStdString();
        entry.strFsType = info.fileSystemType().toStdString();
        entry.bReadOnly = info.isReadOnly();
        vec.push_back(std::move(entry));
    }
    return vec;
}

bool IsNetworkFsType(const std::string& strFsType) {
    // The same list decides where the trash cannot go.
    return platform::IsNetworkFsType(strFsType);
}

bool SplitNetworkSource(const std::string& strSource, std::string& strServer,
                        std::string& strShare) {
    if (strSource.size() > 2 && strSource.compare(0, 2, "//") == 0) {
        const std::size_t nSlash = strSource.find('/', 2);
        strServer =
            strSource.substr(2, nSlash == std::string::npos ? std::string::npos : nSlash - 2);
        strShare = nSlash == std::string::npos ? std::string() : strSource.substr(nSlash + 1);
    } else {
        const std::size_t nColon = strSource.find(':');
        if (nColon == std::string::npos || nColon == 0) {
            return false;
        }
        strServer = strSource.substr(0, nColon);
        strShare = strSource.substr(nColon + 1);
        strShare.erase(0, strShare.find_first_not_of('/'));
    }
    while (!strShare.empty() && strShare.back() == '/') {
        strShare.pop_back();
    }
    return !strServer.empty();
}

CSelectDirDlg::CSelectDirDlg(QWidget* pParent, const IMountTable* pMounts,
                             platform::FileSystem* pFileSystem)
    : ui::CTemplateDialog(pParent, QStringLiteral("Select Directory"),
                          QString::fromUtf8("ＭＳ 明朝"), 12, 220, 199),
      m_pMounts(pMounts), m_pFileSystem(pFileSystem) {
    // A caption and a sizing border, no system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setSizeGripEnabled(false);

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    Place(m_pOk, 23, 175, 50, 14);
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &CSelectDirDlg::accept);
    m_pCancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    Place(m_pCancel, 140, 175, 50, 14);
    connect(m_pCancel, &QPushButton::clicked, this, &CSelectDirDlg::reject);

    m_pTree = new QTreeWidget(this);
    m_pTree->setHeaderHidden(true);
    m_pTree->setColumnCount(1);
    m_pTree->setRootIsDecorated(true);
    m_pTree->setUniformRowHeights(true);
    m_pTree->setSortingEnabled(false);
    m_pTree->setFrameShape(QFrame::StyledPanel);
    m_pTree->setFrameShadow(QFrame::Sunken);
    Place(m_pTree, 6, 23, 207, 145);
    connect(m_pTree, &QTreeWidget::itemExpanded, this, &CSelectDirDlg::OnItemExpanding);
    connect(m_pTree, &QTreeWidget::itemCollapsed, this, &CSelectDirDlg::OnItemCollapsed);
    connect(m_pTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* pCurrent) { OnSelChanged(pCurrent); });

    m_pEdit = new QLineEdit(this);
    Place(m_pEdit, 6, 6, 207, 12);

    setTabOrder(m_pOk, m_pCancel);
    setTabOrder(m_pCancel, m_pTree);
    setTabOrder(m_pTree, m_pEdit);
}

CSelectDirDlg::~CSelectDirDlg() = default;

std::string CSelectDirDlg::MakeDisplayName(const std::string& strName) {
    for (char ch : strName) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || c >= 0x80) {
            return strName; // has its own case, or characters we do not fold
        }
    }
    std::string strDisplay = strName;
    for (std::size_t i = 1; i < strDisplay.size(); ++i) {
        if (strDisplay[i] >= 'A' && strDisplay[i] <= 'Z') {
            strDisplay[i] = static_cast<char>(strDisplay[i] - 'A' + 'a');
        }
    }
    return strDisplay;
}

CSelectDirDlg::NodeKind CSelectDirDlg::Kind(const QTreeWidgetItem* pItem) {
    return static_cast<NodeKind>(pItem->data(0, kRoleKind).toInt());
}

std::string CSelectDirDlg::ItemRealName(const QTreeWidgetItem* pItem) {
    return FromBytes(pItem->data(0, kRoleRealName).toByteArray());
}

bool CSelectDirDlg::IsFilled(const QTreeWidgetItem* pItem) {
    return pItem->data(0, kRoleFilled).toBool();
}

void CSelectDirDlg::SetFilled(QTreeWidgetItem* pItem, bool bFilled) {
    pItem->setData(0, kRoleFilled, bFilled);
}

QTreeWidgetItem* CSelectDirDlg::NewItem(QTreeWidgetItem* pParent, NodeKind nKind,
                                        const std::string& strRealName,
                                        const std::string& strText) {
    auto* pItem = pParent != nullptr ? new QTreeWidgetItem(pParent) : new QTreeWidgetItem();
    pItem->setText(0, ToQ(strText));
    pItem->setData(0, kRoleKind, static_cast<int>(nKind));
    pItem->setData(0, kRoleRealName, ToBytes(strRealName));
    if (pParent == nullptr) {
        m_pTree->addTopLevelItem(pItem);
    }
    return pItem;
}

std::string CSelectDirDlg::GetItemPath(QTreeWidgetItem* pItem) const {
    if (pItem == nullptr) {
        return {};
    }
    switch (Kind(pItem)) {
    case NodeKind::Drive:
    case NodeKind::Share:
        return FromBytes(pItem->data(0, kRoleMount).toByteArray());
    case NodeKind::Directory: {
        const std::string strParent = GetItemPath(pItem->parent());
        return strParent.empty() ? std::string() : JoinPath(strParent, ItemRealName(pItem));
    }
    default:
        return {};
    }
}

bool CSelectDirDlg::OnInitDialog() {
    m_bInitialized = false;
    m_strShownPath.clear();
    m_strShownText.clear();
    m_pTree->clear();
    m_hMyComputer = NewItem(nullptr, NodeKind::MyComputer, {}, "My Computer");
    m_hNetworkComputer = NewItem(nullptr, NodeKind::NetworkComputer, {}, "Network Computer");
    m_hNetworkComputer->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);

    // Split the mount table into the drives and the network mounts.
    CSystemMountTable systemTable;
    const IMountTable& table = m_pMounts != nullptr ? *m_pMounts : systemTable;
    m_vecLocal.clear();
    m_vecNetwork.clear();
    auto known = [this](const std::string& strMount) {
        auto same = [&](const MOUNTENTRY& e) { return e.strMountPoint == strMount; };
        return std::any_of(m_vecLocal.begin(), m_vecLocal.end(), same) ||
               std::any_of(m_vecNetwork.begin(), m_vecNetwork.end(), same);
    };
    for (const MOUNTENTRY& entry : table.GetMounts()) {
        // Bind-mounted files (a container's /etc/hosts) and mounts seen twice
        // are no drives.
        if (entry.strMountPoint.empty() || entry.strMountPoint[0] != '/' ||
            known(entry.strMountPoint) || !IsDirectory(entry.strMountPoint)) {
            continue;
        }
        if (IsNetworkFsType(entry.strFsType)) {
            m_vecNetwork.push_back(entry);
        } else if (!(entry.strFsType == "squashfs" && entry.bReadOnly)) {
            m_vecLocal.push_back(entry);
        }
    }
    std::stable_partition(m_vecLocal.begin(), m_vecLocal.end(),
                          [](const MOUNTENTRY& e) { return e.strMountPoint == "/"; });

    InsertDrives();
    ExpandPath(m_strPath);
    SelectPath(m_strPath);
    m_pEdit->setFocus(Qt::OtherFocusReason);
    m_bInitialized = true;
    return false;
}

void CSelectDirDlg::InsertDrives() {
    for (const MOUNTENTRY& entry : m_vecLocal) {
        // The label of an unnamed volume: an empty volume text, then the root.
        QTreeWidgetItem* pDrive = NewItem(m_hMyComputer, NodeKind::Drive, entry.strMountPoint,
                                          " (" + entry.strMountPoint + ")");
        pDrive->setData(0, kRoleMount, ToBytes(entry.strMountPoint));
        pDrive->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    const bool bWasFilling = m_bFilling;
    m_bFilling = true;
    m_hMyComputer->setExpanded(true);
    m_bFilling = bWasFilling;
}

void CSelectDirDlg::InsertNetworkResources() {
    for (const MOUNTENTRY& entry : m_vecNetwork) {
        std::string strServer;
        std::string strShare;
        if (!SplitNetworkSource(entry.strSource, strServer, strShare)) {
            strServer = entry.strSource.empty() ? entry.strFsType : entry.strSource;
            strShare.clear();
        }
        if (strShare.empty()) {
            strShare = entry.strMountPoint; // nothing else names the share
        }
        QTreeWidgetItem* pServer = nullptr;
        for (int i = 0; i < m_hNetworkComputer->childCount(); ++i) {
            QTreeWidgetItem* pChild = m_hNetworkComputer->child(i);
            if (EqualsNoCase(ItemRealName(pChild), strServer)) {
                pServer = pChild;
                break;
            }
        }
        if (pServer == nullptr) {
            pServer = NewItem(m_hNetworkComputer, NodeKind::Server, strServer,
                              MakeDisplayName(strServer));
        }
        bool bHave = false;
        for (int i = 0; i < pServer->childCount() && !bHave; ++i) {
            bHave = pServer->child(i)->data(0, kRoleMount).toByteArray() ==
                    ToBytes(entry.strMountPoint);
        }
        if (!bHave) {
            QTreeWidgetItem* pShare =
                NewItem(pServer, NodeKind::Share, strShare, MakeDisplayName(strShare));
            pShare->setData(0, kRoleMount, ToBytes(entry.strMountPoint));
            pShare->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        }
    }
}

bool CSelectDirDlg::ResolveStart(const std::string& strPath, QTreeWidgetItem*& pStart,
                                 std::string& strRest) {
    pStart = nullptr;
    if (strPath.empty() || strPath[0] != '/') {
        return false;
    }
    // The listed mount whose mount point is the longest whole-component prefix.
    const std::vector<std::string> vecPath = SplitComponents(strPath);
    const MOUNTENTRY* pBest = nullptr;
    bool bBestNetwork = false;
    std::size_t nBestLen = 0;
    auto consider = [&](const MOUNTENTRY& entry, bool bNetwork) {
        const std::vector<std::string> vecMount = SplitComponents(entry.strMountPoint);
        if (vecMount.size() > vecPath.size() || (pBest != nullptr && vecMount.size() < nBestLen)) {
            return;
        }
        if (std::equal(vecMount.begin(), vecMount.end(), vecPath.begin())) {
            pBest = &entry;
            bBestNetwork = bNetwork;
            nBestLen = vecMount.size();
        }
    };
    for (const MOUNTENTRY& entry : m_vecLocal) {
        consider(entry, false);
    }
    for (const MOUNTENTRY& entry : m_vecNetwork) {
        consider(entry, true);
    }
    if (pBest == nullptr) {
        return false;
    }
    strRest.clear();
    for (std::size_t i = nBestLen; i < vecPath.size(); ++i) {
        strRest += (strRest.empty() ? "" : "/") + vecPath[i];
    }
    const QByteArray baMount = ToBytes(pBest->strMountPoint);
    QTreeWidgetItem* pRoot = bBestNetwork ? m_hNetworkComputer : m_hMyComputer;
    for (int i = 0; i < pRoot->childCount() && pStart == nullptr; ++i) {
        QTreeWidgetItem* pChild = pRoot->child(i);
        if (!bBestNetwork) {
            if (pChild->data(0, kRoleMount).toByteArray() == baMount) {
                pStart = pChild;
            }
            continue;
        }
        for (int j = 0; j < pChild->childCount(); ++j) {
            if (pChild->child(j)->data(0, kRoleMount).toByteArray() == baMount) {
                pStart = pChild->child(j);
                break;
            }
        }
    }
    return pStart != nullptr;
}

QTreeWidgetItem* CSelectDirDlg::FindChildByName(QTreeWidgetItem* pParent,
                                                const std::string& strName) {
    // The exact name first: on a case-sensitive disk "Data" and "DATA" are
    // two directories. Letter case is ignored only when nothing matches exactly.
    for (int i = 0; i < pParent->childCount(); ++i) {
        if (ItemRealName(pParent->child(i)) == strName) {
            return pParent->child(i);
        }
    }
    for (int i = 0; i < pParent->childCount(); ++i) {
        if (EqualsNoCase(ItemRealName(pParent->child(i)), strName)) {
            return pParent->child(i);
        }
    }
    return nullptr;
}

platform::FileSystem& CSelectDirDlg::FileSystem() {
    if (m_pFileSystem != nullptr) {
        return *m_pFileSystem;
    }
    static platform::PosixFileSystem s_disk;
    return s_disk;
}

bool CSelectDirDlg::IsDirectory(const std::string& strPath) {
    platform::FileSystem& fs = FileSystem();
    platform::FileAttr attr;
    int nError = 0;
    if (fs.GetAttr(strPath, attr, nError) != platform::AttrStatus::Ok) {
        return false;
    }
    if (attr.type != platform::EntryType::Symlink) {
        return attr.IsDirectory();
    }
    std::string strTarget;
    return fs.RealPath(strPath, strTarget) == 0 &&
           fs.GetAttr(strTarget, attr, nError) == platform::AttrStatus::Ok && attr.IsDirectory();
}

void CSelectDirDlg::FillNode(QTreeWidgetItem* pNode, const std::string& strDir) {
    qDeleteAll(pNode->takeChildren());
    std::vector<std::string> vecNames;
    std::vector<platform::DirEntry> vecEntries;
    // A directory that cannot be read shows no children.
    if (FileSystem().ListDir(strDir, vecEntries) == 0) {
        for (const platform::DirEntry& entry : vecEntries) {
            // Hidden directories are listed too; a link to a directory is one.
            if (entry.attr.IsDirectory() || (entry.attr.type == platform::EntryType::Symlink &&
                                             IsDirectory(JoinPath(strDir, entry.strName)))) {
                vecNames.push_back(entry.strName);
            }
        }
    }
    std::vector<std::pair<QString, std::string>> vecSorted;
    vecSorted.reserve(vecNames.size());
    for (const std::string& strName : vecNames) {
        vecSorted.emplace_back(ToQ(MakeDisplayName(strName)), strName);
    }
    std::sort(vecSorted.begin(), vecSorted.end(), [](const auto& a, const auto& b) {
        const int n = QString::compare(a.first, b.first, Qt::CaseInsensitive);
        return n != 0 ? n < 0 : a.second < b.second;
    });
    for (const auto& [strText, strName] : vecSorted) {
        QTreeWidgetItem* pChild = NewItem(pNode, NodeKind::Directory, strName, {});
        pChild->setText(0, strText);
        pChild->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    // No subdirectories (or none readable): no expand button any more.
    pNode->setChildIndicatorPolicy(vecSorted.empty()
                                       ? QTreeWidgetItem::DontShowIndicator
                                       : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    SetFilled(pNode, true);
}

void CSelectDirDlg::ExpandPath(const std::string& strPath) {
    if (strPath.empty()) {
        return;
    }
    m_bFilling = true;
    QTreeWidgetItem* pNode = nullptr;
    std::string strRest;
    InsertNetworkResources();
    if (ResolveStart(strPath, pNode, strRest) && Kind(pNode) == NodeKind::Share) {
        m_hNetworkComputer->setExpanded(true);
        pNode->parent()->setExpanded(true);
    }
    std::string strDir = pNode != nullptr ? GetItemPath(pNode) : std::string();
    std::size_t nPos = 0;
    while (pNode != nullptr) {
        if (!IsFilled(pNode)) {
            FillNode(pNode, strDir);
        }
        pNode->setExpanded(true);
        if (nPos >= strRest.size()) {
            break;
        }
        std::size_t nSlash = strRest.find('/', nPos);
        if (nSlash == std::string::npos) {
            nSlash = strRest.size();
        }
        pNode = FindChildByName(pNode, strRest.substr(nPos, nSlash - nPos));
        nPos = nSlash + 1;
        if (pNode != nullptr) {
            strDir = JoinPath(strDir, ItemRealName(pNode));
        }
    }
    m_bFilling = false;
}

void CSelectDirDlg::SelectPath(const std::string& strPath) {
    QTreeWidgetItem* pNode = nullptr;
    std::string strRest;
    if (!ResolveStart(strPath, pNode, strRest)) {
        return;
    }
    for (const std::string& strComponent : SplitComponents(strRest)) {
        pNode = FindChildByName(pNode, strComponent);
        if (pNode == nullptr) {
            return;
        }
    }
    m_pTree->setCurrentItem(pNode);
    m_pTree->scrollToItem(pNode);
}

void CSelectDirDlg::OnItemExpanding(QTreeWidgetItem* pItem) {
    if (m_bFilling) {
        return; // our own expand requests
    }
    m_bFilling = true;
    switch (Kind(pItem)) {
    case NodeKind::NetworkComputer:
        InsertNetworkResources();
        // Expanded with nothing below it, the tree would drop its expand
        // button for good; folded again it keeps it, so the connections can
        // be looked for again once a share is mounted.
        if (pItem->childCount() == 0) {
            pItem->setExpanded(false);
        }
        break;
    case NodeKind::Server:
        InsertNetworkResources();
        break;
    case NodeKind::Drive:
    case NodeKind::Share:
    case NodeKind::Directory:
        // Read only this node: its path may lie under another mount's drive
        // (the "home" directory of "/" is not the drive "/home").
        if (!IsFilled(pItem)) {
            FillNode(pItem, GetItemPath(pItem));
        }
        break;
    default:
        break;
    }
    m_bFilling = false;
}

void CSelectDirDlg::OnItemCollapsed(QTreeWidgetItem* pItem) {
    // Read afresh at the next expansion.
    const NodeKind nKind = Kind(pItem);
    if (nKind == NodeKind::Drive || nKind == NodeKind::Share || nKind == NodeKind::Directory) {
        SetFilled(pItem, false);
    }
}

void CSelectDirDlg::OnSelChanged(QTreeWidgetItem* pItem) {
    if (pItem == nullptr) {
        return;
    }
    const std::string strPath = GetItemPath(pItem);
    if (strPath.empty()) {
        return; // a root or a server: no directory, the edit box keeps its text
    }
    m_strShownPath = strPath;
    m_strShownText = ToQ(strPath);
    m_pEdit->setText(m_strShownText);
    m_pEdit->selectAll();
}

void CSelectDirDlg::accept() {
    const QString strText = m_pEdit->text();
    m_strPath = !m_strShownText.isEmpty() && strText == m_strShownText ? m_strShownPath
                                                                       : strText.toStdString();
    if (m_strPath.size() > 1 && m_strPath.back() == '/') {
        m_strPath.pop_back();
    }
    ui::CTemplateDialog::accept();
}

void CSelectDirDlg::resizeEvent(QResizeEvent* pEvent) {
    ui::CTemplateDialog::resizeEvent(pEvent);
    if (m_bInitialized) {
        Relayout();
    }
}

void CSelectDirDlg::Relayout() {
    const int nW = width();
    const int nH = height();
    const int nE = m_pEdit->height();
    const int nButtonW = m_pOk->width();
    const int nButtonH = m_pOk->height();
    m_pEdit->setGeometry(5, 5, nW - 10, nE);
    m_pTree->setGeometry(5, nE + 10, nW - 10, nH - nButtonH - 20 - (nE + 10));
    m_pOk->setGeometry(20, nH - nButtonH - 10, nButtonW, nButtonH);
    m_pCancel->setGeometry(nW - nButtonW - 20, nH - nButtonH - 10, nButtonW, nButtonH);
}

} // namespace kovrel::dialogs
