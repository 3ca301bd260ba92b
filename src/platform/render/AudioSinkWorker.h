// Drives a QAudioSink in push mode on the thread it lives on (a thread with an event loop): a
// short timer moves queued sound from the ring buffer into the sink as far as the sink has room.
#pragma once

#include <QAudio>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAudioSink;
class QIODevice;

namespace vornak {

class PcmRingBuffer;

class AudioSinkWorker : public QObject {
  public:
    // `ring` must outlive the worker. `onLost` is called on the worker's thread when a sink
    // that was playing stops on an error of the output (the sound server went away).
    AudioSinkWorker(PcmRingBuffer& ring, std::function<void()> onLost);
    ~AudioSinkWorker() override;

    // On the worker's thread. Replaces a sink already playing. Nothing reaches the sink before
    // `startDelay` has passed since the first sound came: sound comes from the stream in
    // uneven bursts, later and later against its pictures for a while, and a sink started on
    // the first burst runs dry before a late one comes. Sound that fills half the ring starts
    // it at once.
    void Start(const QAudioDevice& device, const QAudioFormat& format, int bufferBytes,
               std::chrono::milliseconds startDelay);
    void Stop();
    // 0 (silent) to 1, linear. Kept for the sinks started later.
    void SetVolume(float volume);

    // Whether an error of the output stopped a sink: it ends the pumping.
    static bool IsLoss(QAudio::State state, QAudio::Error error);

  private:
    void Pump();
    void OnStateChanged(QAudio::State state);

    PcmRingBuffer& m_ring;
    std::function<void()> m_onLost;
    std::unique_ptr<QAudioSink> m_pSink;
    QIODevice* m_pDevice = nullptr;  // the sink's
    QTimer m_timer;
    std::vector<std::uint8_t> m_chunk;
    std::chrono::milliseconds m_startDelay{0};
    std::optional<std::chrono::steady_clock::time_point> m_firstSoundAt;
    bool m_bStarted = false;
    float m_volume = 1;
};

}  // namespace vornak
