#include "CVornakApp.h"

#include <sys/resource.h>

#include <QApplication>

#include "AppIcon.h"

namespace vornak {

namespace {

// Capture must keep up with the tape; a higher priority keeps a busy desktop from starving it.
constexpr int kHighPriorityNice = -10;

}  // namespace

void RaiseProcessPriority() {
    // On Linux the nice value belongs to the calling thread and is inherited by new threads.
    (void)::setpriority(PRIO_PROCESS, 0, kHighPriorityNice);
}

bool CVornakApp::InitInstance() {
    RaiseProcessPriority();
    QApplication::setWindowIcon(MakeAppIcon());
    // The program ends with its window, not with whatever window happens to close last.
    QApplication::setQuitOnLastWindowClosed(false);

    m_pSheet = std::make_unique<CVornakSheets>();
    QObject::connect(m_pSheet.get(), &CVornakSheets::windowClosed, qApp, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!m_pSheet->Create()) {
        m_pSheet.reset();
        return false;
    }
    return true;
}

int CVornakApp::ExitInstance(int loopResult) {
    m_pSheet.reset();
    return loopResult;
}

}  // namespace vornak
