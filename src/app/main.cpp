// kovrel-duplicator: the desktop program.
#include "app/CommandLine.h"
#include "app/KovrelApp.h"
#include "ui/AppInfo.h"

#include <QApplication>

#include <iostream>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // --help and --version answer without a window, before Qt needs a display.
    {
        const std::vector<std::string> words(argv + 1, argv + argc);
        const kovrel::app::CMDLINE early =
            kovrel::app::ParseArgumentVector(words, kovrel::app::PathExists);
        if (early.request == kovrel::app::StartRequest::Help) {
            kovrel::app::PrintUsage(std::cout);
            return 0;
        }
        if (early.request == kovrel::app::StartRequest::Version) {
            kovrel::app::PrintVersion(std::cout);
            return 0;
        }
    }
    QApplication qapp(argc, argv);
    kovrel::ui::LoadQtJapaneseTranslation(qapp);

    // QApplication has taken out its own options; the rest is the program's.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const kovrel::app::CMDLINE cmdLine =
        kovrel::app::ParseArgumentVector(args, kovrel::app::PathExists);

    if (cmdLine.request == kovrel::app::StartRequest::BadOption) {
        std::cerr << "kovrel-duplicator: unknown option " << cmdLine.strBadOption << "\n\n";
        kovrel::app::PrintUsage(std::cerr);
        return kovrel::app::kExitUnreadable;
    }

    kovrel::app::CKovrelApp app;
    if (!app.InitInstance(cmdLine))
        return cmdLine.nAutoSync != 0 ? kovrel::app::kExitUnreadable : 1;
    const int nLoop = qapp.exec();
    return nLoop != 0 ? nLoop : app.ExitStatus();
}
