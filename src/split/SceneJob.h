// One input's split (or listing) job, as a batch of inputs runs it.
//
// Transport streams are the only format today; a second tape format brings a job of its own
// behind this interface, and the batch, the names, the refusals and the listings stay as they
// are. A job reports its lines and finished scenes to the log sink it was given, and ends at
// once when the stop byte in its settings is set.
#pragma once

#include <cstdint>

namespace vornak {

// How a job ended, for callers that must act on it; the log lines are for people.
enum class SplitResult {
    Completed,     // the input was read to its end and every scene written and flushed
    Stopped,       // a stop request ended the job
    InputFailed,   // the input could not be opened, is no regular file or failed to read
    NoStream,      // no stream of the job's format was found in the input; nothing was written
    CreateFailed,  // a scene file could not be created; the job ended there
    WriteFailed,   // a scene file could not be written or flushed to the disk in full
};

// True when any byte could not be read or written: every result but Completed and Stopped.
inline bool IsFailure(SplitResult result) {
    return result != SplitResult::Completed && result != SplitResult::Stopped;
}

class SceneJob {
  public:
    virtual ~SceneJob() = default;

    // Splits the whole input. Returns at the end of input, on a stop request, or at once when
    // the input cannot be opened.
    virtual void Run() = 0;
    // Valid after Run(). A failure wins over a stop that came with it.
    virtual SplitResult Result() const = 0;
    // The next free file number, which a creator may hand to its next job.
    virtual std::int32_t Counter() const = 0;

    bool Failed() const { return IsFailure(Result()); }
};

}  // namespace vornak
