// kovrel-duplicator: the desktop program.
#include "app/CommandLine.h"
#include "app/KovrelApp.h"
#include "ui/AppInfo.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    kovrel::ui::LoadQtJapaneseTranslation(qapp);

    // QApplication has taken out its own options; the rest is the program's.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const kovrel::app::CMDLINE cmdLine =
        kovrel::app::ParseArgumentVector(args, kovrel::app::PathExists);

    kovrel::app::CKovrelApp app;
    if (!app.InitInstance(cmdLine))
        return 1;
    return qapp.exec();
}
