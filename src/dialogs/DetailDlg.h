// "詳細設定": the options and the pattern text of one sync item.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/DetailRules.h"
#include "ui/TemplateDialog.h"

class QAbstractButton;
class QPlainTextEdit;

namespace kovrel {

class CDetailDlg : public CTemplateDialog {
    Q_OBJECT
public:
    explicit CDetailDlg(QWidget* pParent = nullptr);

    // In: the item's option word and its pattern text (UTF-8, lines ended by
    // CR LF). Out, after OK only: the edited word (unknown bits cleared) and
    // text. A text the user did not change comes back byte for byte.
    std::uint32_t m_dwOption = 0;
    std::string m_strPattern;

    // Control ids of the template, for tests and the screenshots.
    using enum CDetailRules::ControlId;
    QAbstractButton* Button(int nId) const; // null for an unknown id
    QPlainTextEdit* PatternEdit() const { return m_pEdit; }

public slots:
    void accept() override; // OnOK

protected:
    bool OnInitDialog() override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    // The buttons' marks and enabled states, in and out of the rules.
    CDetailRules ReadButtons() const;
    void WriteButtons(const CDetailRules& rules);
    void OnClicked(int nId);

    QPlainTextEdit* m_pEdit = nullptr;
    QAbstractButton* m_apButtons[CDetailRules::kButtonCount] = {};
    QString m_strShownPattern; // the edit's text as put in, to see whether it changed
};

} // namespace kovrel
