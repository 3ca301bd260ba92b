#include <QApplication>

#include <cstdlib>

#include "CVornakApp.h"
#include "TerminationSignals.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornak"));

    vornak::CVornakApp app;
    if (!app.InitInstance()) {
        return EXIT_FAILURE;
    }
    vornak::CloseOnTerminationSignals(app.Sheet());
    return app.ExitInstance(QApplication::exec());
}
