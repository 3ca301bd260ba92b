#include "ThreadStart.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace vornak {
namespace {

// Nice steps per priority level: Lowest lands ten steps below the process.
constexpr int kNicePerLevel = 5;
constexpr int kNiceMin = -20;
constexpr int kNiceMax = 19;

}  // namespace

void SetCurrentThreadPriority(ThreadPriority priority) {
    if (priority == ThreadPriority::Normal) {
        return;
    }
    // On Linux a nice value belongs to a thread, named by its thread id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0) {
        return;
    }
    const int wanted =
        std::clamp(current - static_cast<int>(priority) * kNicePerLevel, kNiceMin, kNiceMax);
    (void)::setpriority(PRIO_PROCESS, tid, wanted);
}

std::thread StartThread(ThreadPriority priority, std::function<void()> body) {
    return std::thread([priority, body = std::move(body)] {
        SetCurrentThreadPriority(priority);
        body();
    });
}

}  // namespace vornak
