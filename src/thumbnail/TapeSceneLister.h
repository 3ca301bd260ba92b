// Lists one tape's scenes and makes their thumbnails for the scene view, off the user-interface
// thread: the listing on a thread of its own, the pictures on the thumbnail worker's beside it,
// so that scenes are reported as soon as the listing has found them.
//
// Thread-safety: construct, Cancel and destroy on one thread (the user interface's). The
// callbacks run on the worker threads; DoneBytes may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "SceneJob.h"
#include "SceneSplitterSettings.h"
#include "SceneSummary.h"
#include "ThumbnailWorker.h"

namespace vornak {

class TapeSceneLister {
  public:
    struct Callbacks {
        std::function<void(const SceneSummary& scene)> scene;            // listing thread
        std::function<void(ThumbnailWorker::Result& result)> thumbnail;  // thumbnail thread
        // Last, on the listing thread: `complete` when the tape was read to its end and every
        // thumbnail made, false after a failure or a cancel; how the reading ended, and the
        // engine's own words for a failure (its last error line, empty if none).
        std::function<void(bool complete, SplitResult result, const std::string& failure)> done;
    };

    // Starts at once.
    TapeSceneLister(std::string path, Callbacks callbacks);
    // Cancels and waits.
    ~TapeSceneLister();
    TapeSceneLister(const TapeSceneLister&) = delete;
    TapeSceneLister& operator=(const TapeSceneLister&) = delete;

    // Stops the listing at its next packet and drops the thumbnails not yet begun; returns once
    // both threads have ended. No callback runs after it.
    void Cancel();

    const std::string& Path() const { return m_path; }
    // Bytes of the tape read so far.
    std::uint64_t DoneBytes() const { return m_doneBytes.load(std::memory_order_relaxed); }

    // How the pictures of the input `path` are decoded, told by its content as the job
    // factory tells the job.
    static ThumbnailWorker::Format ThumbnailFormatOf(const std::string& path);

  private:
    void Run();

    const std::string m_path;
    const Callbacks m_callbacks;
    StopFlag m_stop{0};
    std::atomic<std::uint64_t> m_doneBytes{0};
    ThumbnailWorker m_thumbnails;  // before the listing thread, which feeds it
    std::thread m_thread;
};

}  // namespace vornak
