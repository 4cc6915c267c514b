// The command numbers of the frame and the application. Each command is one
// QAction; the number stays as its name so menus, toolbar, shortcuts and
// enabled states can be told apart. The view's commands are numbered with the
// view (grid/ViewCommands.h).
#pragma once

#include "grid/ViewCommands.h"

namespace kovrel::app {

inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_FILE_MRU_FILE1 = 57616;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_HELP_FINDER = 57667;
inline constexpr int ID_CONTEXT_HELP = 57669;
inline constexpr int ID_HELP = 57670;
inline constexpr int ID_DEFAULT_HELP = 57671;
inline constexpr int ID_NEXT_PANE = 57680;
inline constexpr int ID_PREV_PANE = 57681;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;

inline constexpr int ID_OPTION_LOGFILE = 32777;
inline constexpr int ID_OPTION_SOUND = 32778;
// The whole list as a dry run in the log window.
inline constexpr int ID_PREVIEW = 32790;
// Check item: deleted and overwritten files go to the trash ([Env] UseTrash).
inline constexpr int ID_OPTION_TRASH = 32791;

} // namespace kovrel::app
