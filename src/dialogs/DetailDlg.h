// "詳細設定": the options and the pattern text of one sync item.
#pragma once

#include <cstdint>
#include <string>

#include "ui/TemplateDialog.h"

class QAbstractButton;
class QPlainTextEdit;

namespace kovrel::dialogs {

class CDetailDlg : public ui::CTemplateDialog {
    Q_OBJECT
public:
    explicit CDetailDlg(QWidget* pParent = nullptr);

    // In: the item's option word and its pattern text (UTF-8, lines ended by
    // CR LF). Out, after OK only: the edited word (unknown bits cleared) and
    // text. A text the user did not change comes back byte for byte.
    std::uint32_t m_dwOption = 0;
    std::string m_strPattern;

    // Control ids of the template, for tests and the screenshots.
    enum : int {
        IDC_SUBDIRS = 1019,
        IDC_NOFILE1_COPY = 1007,
        IDC_NOFILE1_DELETE = 1008,
        IDC_NOFILE1_IGNORE = 1009,
        IDC_NOFILE2_COPY = 1010,
        IDC_NOFILE2_DELETE = 1011,
        IDC_NOFILE2_IGNORE = 1012,
        IDC_RO1_FORCE = 1013,
        IDC_RO1_SKIP = 1015,
        IDC_RO2_FORCE = 1016,
        IDC_RO2_SKIP = 1018,
        IDC_ONEWAY = 1041,
        IDC_DIR_1TO2 = 1038,
        IDC_DIR_2TO1 = 1039,
        IDC_COPY_OLDER = 1042,
        IDC_PATTERN = 1046,
    };
    QAbstractButton* Button(int nId) const; // null for an unknown id
    QPlainTextEdit* PatternEdit() const { return m_pEdit; }

public slots:
    void accept() override; // OnOK

protected:
    bool OnInitDialog() override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    // Click handlers; each sets every mark and enabled state itself.
    void OnClicked(int nId);
    void OnDirection1To2();
    void OnDirection2To1();
    void OnOneWay();
    void SelectInGroup(int nId);
    bool IsChecked(int nId) const;
    void SetCheck(int nId, bool bChecked);
    void Enable(int nId, bool bEnable);

    QPlainTextEdit* m_pEdit = nullptr;
    QAbstractButton* m_apButtons[15] = {};
    QString m_strShownPattern; // the edit's text as put in, to see whether it changed
};

} // namespace kovrel::dialogs
