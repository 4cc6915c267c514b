// The rules of the detailed settings dialog without its widgets: which marks an
// option word puts on the sixteen buttons, what a click on each button does to
// the marks and enabled states (the interlocks of one-way copying, which also
// govern the remembered-state box: it is offered for two-way copying only), and
// which word the marks stand for. The dialog copies its buttons' states in, lets
// a rule run and copies them back out, so every rule is written here once and
// can be tested without a window.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "document/SyncOptions.h"

namespace kovrel::dialogs {

class CDetailRules {
public:
    // The template's control ids.
    enum ControlId : int {
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
        IDC_REMEMBER_STATE = 1047,
    };
    // The buttons in the order the dialog keeps them.
    static constexpr std::array kButtonIds = {
        IDC_SUBDIRS,      IDC_NOFILE1_COPY,   IDC_NOFILE1_DELETE, IDC_NOFILE1_IGNORE,
        IDC_NOFILE2_COPY, IDC_NOFILE2_DELETE, IDC_NOFILE2_IGNORE, IDC_RO1_FORCE,
        IDC_RO1_SKIP,     IDC_RO2_FORCE,      IDC_RO2_SKIP,       IDC_ONEWAY,
        IDC_DIR_1TO2,     IDC_DIR_2TO1,       IDC_COPY_OLDER,     IDC_REMEMBER_STATE};
    static constexpr int kButtonCount = static_cast<int>(kButtonIds.size());
    // Index into kButtonIds, or -1 for an id that is no button.
    static int IndexOf(int nId) noexcept;

    // A button's mark; only a three-state box can be Partial.
    enum class Mark { Unchecked, Checked, Partial };
    struct BUTTON {
        Mark mark = Mark::Unchecked;
        bool bEnabled = true;
        friend bool operator==(const BUTTON&, const BUTTON&) = default;
    };
    // A fresh dialog: nothing marked, everything enabled.
    CDetailRules() = default;

    // Read and set one button by id (the id must be one of kButtonIds).
    const BUTTON& At(int nId) const noexcept { return m_aButtons[IndexOf(nId)]; }
    BUTTON& At(int nId) noexcept { return m_aButtons[IndexOf(nId)]; }
    bool IsChecked(int nId) const noexcept { return At(nId).mark == Mark::Checked; }
    bool IsEnabled(int nId) const noexcept { return At(nId).bEnabled; }

    // The marks and enabled states that opening the dialog with this word gives.
    void Load(CSyncOptions opt);
    // A click on button nId; an id that is no button changes nothing.
    void Click(int nId);
    // The word the marks stand for (marks of disabled buttons count too; only the
    // bits the dialog knows are set). Nothing while both delete choices are
    // marked: the dialog refuses to close then.
    std::optional<CSyncOptions> Word() const;

private:
    void SetCheck(int nId, bool bChecked) noexcept;
    void Enable(int nId, bool bEnable) noexcept { At(nId).bEnabled = bEnable; }
    void SelectInGroup(int nId) noexcept;
    void Direction1To2() noexcept;
    void Direction2To1() noexcept;
    void OneWay() noexcept;
    void NoRememberedState() noexcept;

    std::array<BUTTON, kButtonCount> m_aButtons{};
};

} // namespace kovrel::dialogs
