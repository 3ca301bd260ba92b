// Lets the window's event loop run until a condition holds, as the page's queued calls need.
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace vornak::test {

// False when `done` still fails after a generous safety limit, so that a broken build fails
// instead of hanging.
inline bool ProcessEventsUntil(const std::function<bool()>& done) {
    constexpr auto kSafetyLimit = std::chrono::seconds(60);
    constexpr auto kPause = std::chrono::milliseconds(5);
    const auto deadline = std::chrono::steady_clock::now() + kSafetyLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(kPause);
    }
    QCoreApplication::processEvents();
    return true;
}

}  // namespace vornak::test
