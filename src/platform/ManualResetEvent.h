// An event that stays signalled until someone resets it, with waits that may time out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace vornak {

class ManualResetEvent {
  public:
    // The name is a label for diagnostics; events are not shared between processes.
    explicit ManualResetEvent(std::string name = {}, bool signalled = false);

    void Set();
    void Reset();
    bool IsSet() const;
    void Wait();
    // True when signalled, false when the time ran out first.
    bool WaitFor(std::chrono::milliseconds timeout);
    const std::string& Name() const { return m_name; }

  private:
    std::string m_name;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bSignalled;
};

}  // namespace vornak
