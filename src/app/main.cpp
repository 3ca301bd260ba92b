#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "AppVersion.h"
#include "CVornakApp.h"
#include "CamcorderSources.h"
#include "DisplayCheck.h"
#include "PreviewDecoders.h"
#include "PreviewRenderers.h"
#include "QuietMultimediaLog.h"
#include "TerminationSignals.h"

namespace {

constexpr const char* kNoDisplay =
    "vornak: cannot open the display (is DISPLAY or WAYLAND_DISPLAY set?); vornak-split and "
    "vornak-capture work without one.\n";

constexpr const char* kUsage =
    "Usage: vornak [OPTION]...\n"
    "Opens the Vornak window: \"Capturing\" records what an HDV camcorder plays from its tape,\n"
    "\"Scenes splitting\" splits .m2t/.ts files into one file per recorded scene.\n"
    "Settings and the window's place and size are kept in ~/.config/vornak/vornak.ini\n"
    "($XDG_CONFIG_HOME/vornak/vornak.ini), or in ./vornak.ini when the current directory has\n"
    "one.\n"
    "\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n"
    "\n"
    "Without a camcorder at hand, VORNAK_VIRTUAL_CAMCORDER=FILE[,FILE...] plays HDV (.m2t)\n"
    "and DV (.dv) files in order as the tape of a virtual camcorder (see the README for its\n"
    "other variables).\n";

bool HasArgument(int argc, char* argv[], const char* wanted) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], wanted) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answer before any window system is needed, so that --help and --version work without a
    // display (help2man runs both while the man page is built).
    if (HasArgument(argc, argv, "--help") || HasArgument(argc, argv, "-h")) {
        std::fputs(kUsage, stdout);
        return EXIT_SUCCESS;
    }
    if (HasArgument(argc, argv, "--version")) {
        std::printf("vornak (Vornak) %s\n", vornak::kAppVersion);
        return EXIT_SUCCESS;
    }
    if (!vornak::DisplayAvailable(
            vornak::ChosenPlatform(argc, argv, std::getenv("QT_QPA_PLATFORM")),
            std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"))) {
        std::fputs(kNoDisplay, stderr);
        return EXIT_FAILURE;
    }
    // Before any window: a bad virtual camcorder setting is told on the terminal once.
    vornak::InstallCamcorderSources(std::cerr);
    vornak::QuietMultimediaLog();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornak"));
    // The preview's demultiplexer, decoders and renderers, for the graph to find.
    vornak::RegisterPreviewDecoders();
    vornak::RegisterPreviewRenderers();

    vornak::CVornakApp app;
    if (!app.InitInstance()) {
        return EXIT_FAILURE;
    }
    vornak::CloseOnTerminationSignals(app.Sheet());
    return app.ExitInstance(QApplication::exec());
}
