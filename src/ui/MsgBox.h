// The one message box of the program. Every question and error goes through
// it so that captions, icons, button order, the default button and the Escape
// key behave the same everywhere.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace kovrel::ui {

// Buttons (one of these) ...
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_TYPEMASK = 0xF;
// ... combined with at most one icon. Without one, every box but Abort/Retry/
// Ignore shows the exclamation icon; Abort/Retry/Ignore shows none.
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_ICONMASK = 0xF0;
// ... and, for a question whose first answer can delete, the second button as
// the default (Enter and Space then never delete).
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;

// What the user answered.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Shows a modal box and returns the answer. Caption: the application title
// unless strCaption is given. Buttons from left to right in the order of the
// type's name, the first one the default (the second with MB_DEFBUTTON2). The
// box is at least wide enough to show its whole caption. Escape answers Cancel where there is
// a Cancel button, OK on an OK-only box, and does nothing on Yes/No and
// Abort/Retry/Ignore boxes (the window's close button likewise).
int ShowMessageBox(QWidget* pParent, const QString& strText, unsigned nType = MB_OK,
                   const QString& strCaption = QString());
// The same for UTF-8 text from the core.
int ShowMessageBox(QWidget* pParent, const std::string& strText, unsigned nType = MB_OK,
                   const QString& strCaption = QString());

// The button caption shown for an answer (Qt's translated standard text, with
// its mnemonic), e.g. "はい(&Y)" for IDYES under the Japanese translation.
QString MessageBoxButtonText(int nId);

} // namespace kovrel::ui
