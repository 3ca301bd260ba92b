#include "ManualResetEvent.h"

#include <utility>

namespace vornak {

ManualResetEvent::ManualResetEvent(std::string name, bool signalled)
    : m_name(std::move(name)), m_bSignalled(signalled) {}

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    m_changed.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_bSignalled;
}

void ManualResetEvent::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_bSignalled; });
}

bool ManualResetEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_bSignalled; });
}

}  // namespace vornak
