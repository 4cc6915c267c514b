// The About box: the program's icon and version line.
#pragma once

#include <QIcon>

#include "ui/TemplateDialog.h"

namespace kovrel::dialogs {

class CAboutDlg : public ui::CTemplateDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};

// The program's icon (every size), from the resources.
QIcon ProgramIcon();

} // namespace kovrel::dialogs
