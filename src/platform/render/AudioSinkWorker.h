// Drives a QAudioSink in push mode on the thread it lives on (a thread with an event loop): a
// short timer moves queued sound from the ring buffer into the sink as far as the sink has room.
#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QAudioSink;
class QIODevice;

namespace vornak {

class PcmRingBuffer;

class AudioSinkWorker : public QObject {
  public:
    // `ring` must outlive the worker.
    explicit AudioSinkWorker(PcmRingBuffer& ring);
    ~AudioSinkWorker() override;

    // On the worker's thread. Replaces a sink already playing.
    void Start(const QAudioDevice& device, const QAudioFormat& format, int bufferBytes);
    void Stop();

  private:
    void Pump();

    PcmRingBuffer& m_ring;
    std::unique_ptr<QAudioSink> m_pSink;
    QIODevice* m_pDevice = nullptr;  // the sink's
    QTimer m_timer;
    std::vector<std::uint8_t> m_chunk;
};

}  // namespace vornak
