// The view's real dialogs: the detailed settings, the directory browser and a
// file dialog that accepts a name that does not exist yet (a side-2 file often
// does not exist before the first run).
#include "grid/KovrelView.h"

#include "dialogs/DetailDlg.h"
#include "dialogs/SelectDirDlg.h"

#include <QDialog>
#include <QFile>
#include <QFileDialog>

namespace kovrel::grid {

namespace {

class CStandardViewDialogs final : public IViewDialogs {
public:
    bool RunDetail(QWidget* pParent, std::uint32_t& dwOption, std::string& strPattern) override {
        dialogs::CDetailDlg dlg(pParent);
        dlg.m_dwOption = dwOption;
        dlg.m_strPattern = strPattern;
        if (dlg.exec() != QDialog::Accepted) {
            return false;
        }
        dwOption = dlg.m_dwOption;
        strPattern = dlg.m_strPattern;
        return true;
    }

    bool BrowseDir(QWidget* pParent, std::string& strPath) override {
        dialogs::CSelectDirDlg dlg(pParent);
        dlg.m_strPath = strPath;
        if (dlg.exec() != QDialog::Accepted) {
            return false;
        }
        strPath = dlg.m_strPath;
        return true;
    }

    bool BrowseFile(QWidget* pParent, std::string& strPath, const std::string& strFolder) override {
        QFileDialog dlg(pParent);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::AnyFile); // a file that is yet to be made will do
        // Qt's own dialog: the same on every desktop, and it can be driven by tests.
        dlg.setOption(QFileDialog::DontUseNativeDialog, true);
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (!strFolder.empty()) {
            dlg.setDirectory(QFile::decodeName(QByteArray::fromStdString(strFolder)));
        }
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
            return false;
        }
        strPath = QFile::encodeName(dlg.selectedFiles().constFirst()).toStdString();
        return true;
    }
};

} // namespace

std::unique_ptr<IViewDialogs> CreateStandardViewDialogs() {
    return std::make_unique<CStandardViewDialogs>();
}

} // namespace kovrel::grid
