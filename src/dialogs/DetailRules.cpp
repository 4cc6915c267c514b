#include "dialogs/DetailRules.h"

namespace kovrel::dialogs {

namespace {

using R = CDetailRules;

// The radio groups: clicking one member marks it and clears the others.
struct GROUP {
    int anIds[3];
    int nCount;
};
constexpr GROUP kGroups[] = {
    {{R::IDC_NOFILE1_COPY, R::IDC_NOFILE1_DELETE, R::IDC_NOFILE1_IGNORE}, 3},
    {{R::IDC_NOFILE2_COPY, R::IDC_NOFILE2_DELETE, R::IDC_NOFILE2_IGNORE}, 3},
    {{R::IDC_RO1_FORCE, R::IDC_RO1_SKIP, 0}, 2},
    {{R::IDC_RO2_FORCE, R::IDC_RO2_SKIP, 0}, 2},
};

// The two missing-entry groups and the part of the word each one shows.
struct MISSINGGROUP {
    int nCopy;
    int nDelete;
    int nIgnore;
    MissingAction (CSyncOptions::*pGet)() const noexcept;
    void (CSyncOptions::*pSet)(MissingAction) noexcept;
};
constexpr MISSINGGROUP kMissingGroups[] = {
    {R::IDC_NOFILE1_COPY, R::IDC_NOFILE1_DELETE, R::IDC_NOFILE1_IGNORE, &CSyncOptions::MissingOn1,
     &CSyncOptions::SetMissingOn1},
    {R::IDC_NOFILE2_COPY, R::IDC_NOFILE2_DELETE, R::IDC_NOFILE2_IGNORE, &CSyncOptions::MissingOn2,
     &CSyncOptions::SetMissingOn2},
};

// The options that one button shows on its own: a check box (nOff 0) checked
// exactly when the option is on, or a pair of radio buttons, nOn marked when it
// is on and nOff when it is off. A new yes-or-no option is one more line here.
struct FLAGMARK {
    int nOn;
    int nOff;
    bool (CSyncOptions::*pGet)() const noexcept;
    void (CSyncOptions::*pSet)(bool) noexcept;
};
constexpr FLAGMARK kFlagMarks[] = {
    {R::IDC_RO1_FORCE, R::IDC_RO1_SKIP, &CSyncOptions::ForceReadOnly1,
     &CSyncOptions::SetForceReadOnly1},
    {R::IDC_RO2_FORCE, R::IDC_RO2_SKIP, &CSyncOptions::ForceReadOnly2,
     &CSyncOptions::SetForceReadOnly2},
    {R::IDC_COPY_OLDER, 0, &CSyncOptions::CopyOlder, &CSyncOptions::SetCopyOlder},
    {R::IDC_SUBDIRS, 0, &CSyncOptions::Subdirs, &CSyncOptions::SetSubdirs},
    {R::IDC_REMEMBER_STATE, 0, &CSyncOptions::RememberState, &CSyncOptions::SetRememberState},
};

} // namespace

int CDetailRules::IndexOf(int nId) noexcept {
    for (int i = 0; i < kButtonCount; ++i) {
        if (kButtonIds[static_cast<std::size_t>(i)] == nId) {
            return i;
        }
    }
    return -1;
}

void CDetailRules::SetCheck(int nId, bool bChecked) noexcept {
    At(nId).mark = bChecked ? Mark::Checked : Mark::Unchecked;
}

void CDetailRules::SelectInGroup(int nId) noexcept {
    for (const GROUP& group : kGroups) {
        bool bInGroup = false;
        for (int i = 0; i < group.nCount; ++i) {
            bInGroup = bInGroup || group.anIds[i] == nId;
        }
        if (bInGroup) {
            for (int i = 0; i < group.nCount; ++i) {
                SetCheck(group.anIds[i], group.anIds[i] == nId);
            }
            return;
        }
    }
}

void CDetailRules::Click(int nId) {
    if (IndexOf(nId) < 0) {
        return;
    }
    switch (nId) {
    case IDC_DIR_1TO2:
        Direction1To2();
        break;
    case IDC_DIR_2TO1:
        Direction2To1();
        break;
    case IDC_ONEWAY:
        OneWay();
        break;
    case IDC_COPY_OLDER:
    case IDC_SUBDIRS:
    case IDC_REMEMBER_STATE: {
        // A box in the third state stays as it is.
        BUTTON& box = At(nId);
        if (box.mark != Mark::Partial) {
            box.mark = box.mark == Mark::Checked ? Mark::Unchecked : Mark::Checked;
        }
        break;
    }
    default:
        SelectInGroup(nId);
        break;
    }
}

void CDetailRules::Direction1To2() noexcept {
    SetCheck(IDC_DIR_1TO2, true);
    SetCheck(IDC_DIR_2TO1, false);
    // Side 1 is only read: nothing may be copied to it or deleted from it.
    if (IsChecked(IDC_NOFILE1_COPY)) {
        SelectInGroup(IDC_NOFILE1_IGNORE);
    }
    if (IsChecked(IDC_NOFILE2_DELETE)) {
        SelectInGroup(IDC_NOFILE2_IGNORE);
    }
    Enable(IDC_NOFILE1_COPY, false);
    Enable(IDC_NOFILE2_DELETE, false);
    Enable(IDC_NOFILE2_COPY, true);
    Enable(IDC_NOFILE1_DELETE, true);
    Enable(IDC_RO1_FORCE, false);
    Enable(IDC_RO1_SKIP, false);
    Enable(IDC_RO2_FORCE, true);
    Enable(IDC_RO2_SKIP, true);
    NoRememberedState();
}

void CDetailRules::Direction2To1() noexcept {
    SetCheck(IDC_DIR_1TO2, false);
    SetCheck(IDC_DIR_2TO1, true);
    // Side 2 is only read.
    if (IsChecked(IDC_NOFILE2_COPY)) {
        SelectInGroup(IDC_NOFILE2_IGNORE);
    }
    if (IsChecked(IDC_NOFILE1_DELETE)) {
        SelectInGroup(IDC_NOFILE1_IGNORE);
    }
    Enable(IDC_NOFILE2_COPY, false);
    Enable(IDC_NOFILE1_DELETE, false);
    Enable(IDC_NOFILE1_COPY, true);
    Enable(IDC_NOFILE2_DELETE, true);
    Enable(IDC_RO1_FORCE, true);
    Enable(IDC_RO1_SKIP, true);
    Enable(IDC_RO2_FORCE, false);
    Enable(IDC_RO2_SKIP, false);
    NoRememberedState();
}

void CDetailRules::NoRememberedState() noexcept {
    // A one-way item copies one way whatever happened on the other side, so a
    // remembered state would decide nothing: choosing a direction clears it.
    SetCheck(IDC_REMEMBER_STATE, false);
    Enable(IDC_REMEMBER_STATE, false);
}

void CDetailRules::OneWay() noexcept {
    BUTTON& box = At(IDC_ONEWAY);
    if (box.mark == Mark::Unchecked) {
        box.mark = Mark::Checked;
        Enable(IDC_COPY_OLDER, true);
        Enable(IDC_DIR_1TO2, true);
        Enable(IDC_DIR_2TO1, true);
        // Turning one-way copying on keeps side 2 to side 1 when that was chosen
        // before, else starts with side 1 to side 2.
        if (IsChecked(IDC_DIR_2TO1)) {
            Direction2To1();
        } else {
            Direction1To2();
        }
    } else if (box.mark == Mark::Checked) {
        box.mark = Mark::Unchecked;
        Enable(IDC_COPY_OLDER, false);
        Enable(IDC_DIR_1TO2, false);
        Enable(IDC_DIR_2TO1, false);
        for (int nId :
             {IDC_NOFILE1_COPY, IDC_NOFILE1_DELETE, IDC_NOFILE2_COPY, IDC_NOFILE2_DELETE,
              IDC_RO1_FORCE, IDC_RO1_SKIP, IDC_RO2_FORCE, IDC_RO2_SKIP, IDC_REMEMBER_STATE}) {
            Enable(nId, true);
        }
    }
}

void CDetailRules::Load(CSyncOptions opt) {
    // A value the dialog does not offer leaves its whole group unmarked.
    for (const MISSINGGROUP& group : kMissingGroups) {
        SetCheck(group.nCopy, false);
        SetCheck(group.nDelete, false);
        SetCheck(group.nIgnore, false);
        switch ((opt.*group.pGet)()) {
        case MissingAction::Copy:
            SetCheck(group.nCopy, true);
            break;
        case MissingAction::Delete:
            SetCheck(group.nDelete, true);
            break;
        case MissingAction::Ignore:
            SetCheck(group.nIgnore, true);
            break;
        case MissingAction::Other:
            break;
        }
    }
    for (const FLAGMARK& flag : kFlagMarks) {
        const bool bOn = (opt.*flag.pGet)();
        if (flag.nOff != 0) {
            SelectInGroup(bOn ? flag.nOn : flag.nOff);
        } else {
            SetCheck(flag.nOn, bOn);
        }
    }
    // The direction first, then the one-way box set the other way round: its
    // handler inverts it, so it ends checked exactly for a one-way word, and
    // applies (or undoes) the direction's enabled states.
    switch (opt.OneWay()) {
    case OneWayDir::From1To2:
        Direction1To2();
        SetCheck(IDC_ONEWAY, false);
        break;
    case OneWayDir::From2To1:
        Direction2To1();
        SetCheck(IDC_ONEWAY, false);
        break;
    case OneWayDir::None:
        SetCheck(IDC_ONEWAY, true);
        break;
    }
    OneWay();
}

std::optional<CSyncOptions> CDetailRules::Word() const {
    if (IsChecked(IDC_NOFILE1_DELETE) && IsChecked(IDC_NOFILE2_DELETE)) {
        return std::nullopt;
    }
    // Built from nothing: the dialog hands back only the bits it shows. A group
    // without any mark is stored as do nothing.
    CSyncOptions opt;
    for (const MISSINGGROUP& group : kMissingGroups) {
        MissingAction action = MissingAction::Copy;
        if (!IsChecked(group.nCopy)) {
            action = IsChecked(group.nDelete) ? MissingAction::Delete : MissingAction::Ignore;
        }
        (opt.*group.pSet)(action);
    }
    for (const FLAGMARK& flag : kFlagMarks) {
        (opt.*flag.pSet)(IsChecked(flag.nOn));
    }
    if (IsChecked(IDC_ONEWAY)) {
        opt.SetOneWay(IsChecked(IDC_DIR_1TO2) ? OneWayDir::From1To2 : OneWayDir::From2To1);
        // Never handed back with a direction, whatever marks a caller forced.
        opt.SetRememberState(false);
    }
    return opt;
}

} // namespace kovrel::dialogs
