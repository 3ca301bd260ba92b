#include "TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>

#include <csignal>

#include "CVornakSheets.h"

namespace vornak {

namespace {

constexpr int kReadEnd = 0;
constexpr int kWriteEnd = 1;
// Written from the signal handler, which may do nothing but async-signal-safe calls.
int g_wakeUp[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost by dropping this one.
    [[maybe_unused]] ssize_t written = ::write(g_wakeUp[kWriteEnd], &byte, 1);
}

}  // namespace

void CloseOnTerminationSignals(CVornakSheets* window) {
    if (::pipe2(g_wakeUp, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_wakeUp[kReadEnd], QSocketNotifier::Read, window);
    QPointer<CVornakSheets> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [target] {
        char drain[64];
        while (::read(g_wakeUp[kReadEnd], drain, sizeof drain) > 0) {
        }
        if (target != nullptr) {
            target->CloseWithoutAsking();
        }
    });

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace vornak
