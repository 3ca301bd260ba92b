#include "ThumbnailWorker.h"

#include <utility>

#include "DvThumbnailer.h"

namespace vornak {

ThumbnailWorker::ThumbnailWorker(std::string inputPath, Sink sink, Format format)
    : m_inputPath(std::move(inputPath)), m_sink(std::move(sink)), m_format(format) {
    m_thread = std::thread(&ThumbnailWorker::Run, this);
}

ThumbnailWorker::~ThumbnailWorker() {
    Cancel();
}

void ThumbnailWorker::Add(const SceneSummary& scene) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bClosing) {
            return;
        }
        m_queue.push_back(scene);
    }
    m_wake.notify_one();
}

void ThumbnailWorker::Finish() {
    Close(false);
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ThumbnailWorker::Cancel() {
    Close(true);
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ThumbnailWorker::Drop() {
    Close(true);
}

void ThumbnailWorker::Close(bool dropQueued) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_bClosing = true;
        if (dropQueued) {
            m_queue.clear();
        }
    }
    m_wake.notify_one();
}

void ThumbnailWorker::Run() {
    // Each opens its decoder at its first scene: only the input's own is ever opened.
    SceneThumbnailer thumbnailer;
    DvThumbnailer dvThumbnailer;
    for (;;) {
        Result result;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_bClosing || !m_queue.empty(); });
            if (m_queue.empty()) {
                return;
            }
            result.scene = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (result.scene.offset >= 0) {
            const auto offset = static_cast<std::uint64_t>(result.scene.offset);
            result.status =
                m_format == Format::Dv
                    ? dvThumbnailer.Make(m_inputPath, offset, result.scene.length, result.image)
                    : thumbnailer.Make(m_inputPath, offset, result.scene.length, result.image);
        }
        m_sink(result);
    }
}

}  // namespace vornak
