// The lock type of filters, pins and queues.
#pragma once

#include <mutex>

namespace vornak {

// Recursive, as a filter calls its own locked operations (Run pauses first) under its lock.
using CCriticalSection = std::recursive_mutex;
using CAutoLock = std::lock_guard<CCriticalSection>;

}  // namespace vornak
