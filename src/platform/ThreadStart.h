// Threads started with a scheduling priority, relative to the process's own.
#pragma once

#include <functional>
#include <thread>

namespace vornak {

// The levels of the original thread priorities; Lowest is -2 below normal.
enum class ThreadPriority {
    Lowest = -2,
    BelowNormal = -1,
    Normal = 0,
    AboveNormal = 1,
    Highest = 2
};

// Starts `body` on a new thread that first moves itself to `priority`. Raising a priority needs
// a privilege most users lack; a refusal leaves the thread at normal priority, silently.
std::thread StartThread(ThreadPriority priority, std::function<void()> body);

// Moves the calling thread to `priority`, best effort.
void SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace vornak
