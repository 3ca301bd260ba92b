#include "TapeSceneLister.h"

#include <memory>
#include <utility>

#include "AnyInputSceneJob.h"
#include "LogSink.h"
#include "StreamFormatProbe.h"

namespace vornak {

namespace {

// The listing's reports: its scenes go to the view and to the thumbnail worker, its bytes to
// the progress bar. Its lines stay out of the page's log, which belongs to the split runs; only
// its last error is kept, for the view to show in the engine's words.
class ListingSink : public LogSink {
  public:
    ListingSink(ThumbnailWorker& thumbnails, const std::function<void(const SceneSummary&)>& scene,
                std::atomic<std::uint64_t>& doneBytes)
        : m_thumbnails(thumbnails), m_scene(scene), m_doneBytes(doneBytes) {}

    void AddLog(LogSeverity severity, const std::string& line) override {
        if (severity == LogSeverity::Error) {
            m_lastError = WithoutSeverityPrefix(severity, line);
        }
    }
    const std::string& LastError() const { return m_lastError; }
    void AddWritten(std::uint32_t bytes) override {
        m_doneBytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    void SceneFinished(const SceneSummary& scene) override {
        if (m_scene) {
            m_scene(scene);
        }
        m_thumbnails.Add(scene);
    }

  private:
    ThumbnailWorker& m_thumbnails;
    const std::function<void(const SceneSummary&)>& m_scene;
    std::atomic<std::uint64_t>& m_doneBytes;
    std::string m_lastError;
};

}  // namespace

TapeSceneLister::TapeSceneLister(std::string path, Callbacks callbacks)
    : m_path(std::move(path)),
      m_callbacks(std::move(callbacks)),
      m_thumbnails(
          m_path,
          [this](ThumbnailWorker::Result& result) {
              if (m_callbacks.thumbnail && m_stop.load() == 0) {
                  m_callbacks.thumbnail(result);
              }
          },
          ThumbnailFormatOf(m_path)) {
    m_thread = std::thread(&TapeSceneLister::Run, this);
}

// A DV scene's offset is the file position of its first frame, in a raw file and in AVI and
// QuickTime alike, and its frames are found by their header blocks from there: the container's
// own bytes between them are passed over as no frame.
ThumbnailWorker::Format TapeSceneLister::ThumbnailFormatOf(const std::string& path) {
    switch (dv::StreamFormatProbe::ProbeFile(path).format) {
        case dv::StreamFormat::kRawDv:
        case dv::StreamFormat::kDvAviType1:
        case dv::StreamFormat::kDvAviType2:
        case dv::StreamFormat::kDvQuickTime:
            return ThumbnailWorker::Format::Dv;
        case dv::StreamFormat::kTransportStream:
        case dv::StreamFormat::kNeither:
            break;
    }
    return ThumbnailWorker::Format::TransportStream;
}

TapeSceneLister::~TapeSceneLister() {
    Cancel();
}

void TapeSceneLister::Cancel() {
    m_stop = 1;
    m_thumbnails.Drop();  // the listing thread then finds the worker idle and ends
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TapeSceneLister::Run() {
    ThumbnailWorker& thumbnails = m_thumbnails;
    ListingSink sink(thumbnails, m_callbacks.scene, m_doneBytes);
    SceneSplitterSettings settings;
    settings.stopFlag = &m_stop;
    settings.listOnly = true;
    // Checked as it is listed, so that the view says which scenes are damaged: the checks read
    // what the listing reads anyway, without decoding a picture.
    settings.healthCheck = true;
    const std::unique_ptr<SceneJob> job = MakeSceneJobForAnyInput(m_path, settings, &sink, nullptr);
    job->Run();
    bool complete = !job->Failed() && m_stop.load() == 0;
    if (complete) {
        thumbnails.Finish();
        complete = m_stop.load() == 0;
    } else {
        thumbnails.Cancel();
    }
    if (m_callbacks.done) {
        m_callbacks.done(complete, job->Result(), sink.LastError());
    }
}

}  // namespace vornak
