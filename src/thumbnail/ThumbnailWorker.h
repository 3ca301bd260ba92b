// Makes the thumbnails of one input's scenes on a thread of its own, so that a listing goes on
// reading while the pictures are decoded: the scenes come in as the listing finishes them, the
// thumbnails go out in the same order.
//
// Thread-safety: Add, Finish and Cancel are called from one thread (the listing's), Drop from
// any thread; the sink is called on the worker's thread, one scene at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "RgbImage.h"
#include "SceneSummary.h"
#include "SceneThumbnailer.h"

namespace vornak {

class ThumbnailWorker {
  public:
    struct Result {
        SceneSummary scene;
        SceneThumbnailer::Status status = SceneThumbnailer::Status::NoPicture;
        RgbImage image;  // empty unless status is Made
    };
    using Sink = std::function<void(Result& result)>;

    // What the input holds: its scenes' offsets and lengths are in its own bytes either way.
    enum class Format { TransportStream, Dv };

    // Starts the thread for the scenes of `inputPath`.
    ThumbnailWorker(std::string inputPath, Sink sink, Format format = Format::TransportStream);
    // Cancels what is still queued and waits for the thread.
    ~ThumbnailWorker();
    ThumbnailWorker(const ThumbnailWorker&) = delete;
    ThumbnailWorker& operator=(const ThumbnailWorker&) = delete;

    // A scene the listing has finished; one without a place in the input (no offset) gets
    // none.
    void Add(const SceneSummary& scene);
    // Waits until every scene added has gone to the sink; the thread then ends.
    void Finish();
    // Drops the scenes not yet begun and waits for the one in hand; the thread then ends.
    void Cancel();
    // Drops the scenes not yet begun and takes no more, without waiting: the thread ends after
    // the scene in hand. Finish or Cancel still wait for it.
    void Drop();

  private:
    void Run();
    void Close(bool dropQueued);

    const std::string m_inputPath;
    const Sink m_sink;
    const Format m_format;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<SceneSummary> m_queue;  // guarded by m_mutex
    bool m_bClosing = false;           // guarded by m_mutex: no more scenes will come
    std::thread m_thread;
};

}  // namespace vornak
