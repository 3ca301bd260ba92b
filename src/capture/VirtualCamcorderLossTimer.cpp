#include "VirtualCamcorderLossTimer.h"

#include <algorithm>

namespace vornak {
namespace {

// Longer waits are as good as endless, and would overflow the clock's arithmetic.
constexpr VirtualCamcorderLossTimer::Seconds kLongestDelay{1e9};

}  // namespace

VirtualCamcorderLossTimer::~VirtualCamcorderLossTimer() {
    Cancel();
}

void VirtualCamcorderLossTimer::Start(Seconds delay, std::function<void()> action) {
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable()) {
        return;
    }
    m_bCancelled = false;
    m_thread = std::thread([this, delay, action = std::move(action)] { Wait(delay, action); });
}

void VirtualCamcorderLossTimer::Cancel() {
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        m_bCancelled = true;
        if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id()) {
            return;  // the action cancels its own timer: it ends by itself, joined later
        }
        thread = std::move(m_thread);
    }
    m_cancelled.notify_all();
    thread.join();
}

bool VirtualCamcorderLossTimer::Started() const {
    std::lock_guard lock(m_mutex);
    return m_thread.joinable();
}

void VirtualCamcorderLossTimer::Wait(Seconds delay, const std::function<void()>& action) {
    {
        std::unique_lock lock(m_mutex);
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::clamp(delay, Seconds::zero(), kLongestDelay));
        if (m_cancelled.wait_until(lock, deadline, [this] { return m_bCancelled; })) {
            return;
        }
    }
    action();
}

}  // namespace vornak
