// Stands in for the disk's flushes in the capture tests: records each flush in order, as
// "file PATH" or "folder PATH", and fails those it is told to fail.
//
// Thread-safe: a split run flushes from its worker thread.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DiskSync.h"

namespace vornak::test {

class RecordingDiskSync : public DiskSync {
  public:
    int SyncFile(int fd) override;
    int SyncFolder(const std::string& folder) override;

    std::vector<std::string> Events() const;
    // Errors the flushes return (0: success).
    std::atomic<int> fileError{0};
    std::atomic<int> folderError{0};
    // Called with each event as it happens, on the flushing thread.
    std::function<void(const std::string& event)> onEvent;

  private:
    void Record(const std::string& event);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

}  // namespace vornak::test
