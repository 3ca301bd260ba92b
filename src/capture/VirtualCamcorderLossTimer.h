// The virtual camcorder's timed unplugging: runs an action once, on a thread of its own, a
// while after it is started, unless it is cancelled first. The camcorder starts it when its
// filter runs and cancels it when the filter stops or goes, so that no thread outlives it.
//
// Start and Cancel are called under the filter's lock; Cancel from the action itself does not
// wait for itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vornak {

class VirtualCamcorderLossTimer {
  public:
    using Seconds = std::chrono::duration<double>;

    VirtualCamcorderLossTimer() = default;
    ~VirtualCamcorderLossTimer();
    VirtualCamcorderLossTimer(const VirtualCamcorderLossTimer&) = delete;
    VirtualCamcorderLossTimer& operator=(const VirtualCamcorderLossTimer&) = delete;

    // Calls `action` after `delay`. Does nothing while a start has not been cancelled (even
    // when its action has run already): the time counts from the first start.
    void Start(Seconds delay, std::function<void()> action);
    // Ends the wait without the action and waits for the thread; an action that has begun
    // finishes first.
    void Cancel();
    bool Started() const;

  private:
    void Wait(Seconds delay, const std::function<void()>& action);

    mutable std::mutex m_mutex;
    std::condition_variable m_cancelled;
    bool m_bCancelled = false;
    std::thread m_thread;
};

}  // namespace vornak
