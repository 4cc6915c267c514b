// The view's command numbers and the shape of a command's definition. The view
// keeps the one table of its commands (CKovrelView::Commands) and makes its
// actions from it; the main frame puts those very actions into its menus and
// describes its own commands in the same shape.
#pragma once

#include <QKeyCombination>

#include <array>

class QAction;
class QObject;

namespace kovrel::grid {

// The view's command numbers. The button strip's "Synchronize !!" is command 104.
inline constexpr int ID_SYNCHRONIZE = 104;
inline constexpr int ID_ITEM_DETAIL = 32772;
inline constexpr int ID_ITEM_UP = 32773;
inline constexpr int ID_ITEM_DOWN = 32774;
inline constexpr int ID_ITEM_INSERT = 32775;
inline constexpr int ID_BROWSE_FILE = 32779;
inline constexpr int ID_BROWSE_DIR = 32780;
inline constexpr int ID_ITEM_CHANGE = 32781;
inline constexpr int ID_ITEM_DELETE = 32782;
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;

// An unused place among a command's keys.
inline constexpr QKeyCombination kNoKey(Qt::Key_unknown);

// One command as the user meets it. Texts are UTF-8; null means none.
struct COMMANDDEF {
    int nId;
    const char* pszText;                  // menu text: the label, a tab, then the key name shown
    const char* pszPrompt;                // status-bar prompt, shown whole (a tab in it stays)
    std::array<QKeyCombination, 2> aKeys; // unused places hold kNoKey
    const char* pszToolTip;
    const char* pszWhatsThis;
};

// A QAction for def, owned by pParent: text, prompt, shortcuts, tips, and the
// command number as its data.
QAction* CreateCommandAction(const COMMANDDEF& def, QObject* pParent);

} // namespace kovrel::grid
