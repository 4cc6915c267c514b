// Names and texts every window of the program shares.
#pragma once

#include <QString>

class QCoreApplication;

namespace kovrel::ui {

// The caption of message boxes and the tail of the main window's title.
inline const char* const KOVREL_APP_TITLE = "Kovrel Duplicator";
// The About box's version line.
inline const char* const KOVREL_VERSION_LINE = "KovrelDuplicator Version 1.20";
// Where the settings profile lives (QSettings organisation and application).
inline const char* const KOVREL_PROFILE_ORG = "Marovin_Quellan";
inline const char* const KOVREL_PROFILE_APP = "Kovrel Duplicator";

inline QString AppTitle() {
    return QString::fromUtf8(KOVREL_APP_TITLE);
}

// Loads Qt's own Japanese texts (button captions of message and file dialogs)
// and installs them in the application, so standard buttons read like the
// program's other texts. The translator lives as long as the application.
// False when the translation files are missing (the texts stay English).
bool LoadQtJapaneseTranslation(QCoreApplication& app);

} // namespace kovrel::ui
