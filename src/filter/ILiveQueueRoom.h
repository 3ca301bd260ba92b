// Vornak's own face of a sink whose live queue has a bound: a source that is not tied to real
// time (a file played as fast as it is taken) asks it for room before each sample, so that it
// waits for the queue's reader instead of overrunning the queue. A real-time source never asks:
// its stream cannot wait, and what overruns the queue is counted as lost instead.
#pragma once

#include <chrono>

#include "Guid.h"
#include "Unknown.h"

namespace vornak {

inline constexpr IID IID_ILiveQueueRoom{
    0x6D2A4E91, 0x3B7C, 0x4F05, {0xA1, 0x9E, 0x52, 0x8C, 0x0D, 0x7B, 0x33, 0xE4}};

class ILiveQueueRoom : public IUnknown {
  public:
    // S_OK once one more sample would be taken without discarding any (also when nothing is
    // being queued: no live run, or one that has been stopped); S_FALSE when `timeout` ran out
    // first.
    virtual HRESULT WaitForRoom(std::chrono::milliseconds timeout) = 0;

  protected:
    ~ILiveQueueRoom() = default;
};

}  // namespace vornak
