// The machine's default sound output through Qt Multimedia. The QAudioSink lives on a thread of
// its own with an event loop, started at the first Start; Write only fills a small ring buffer
// that this thread drains, so the streaming thread never waits for the sound output or for the
// user-interface thread.
#pragma once

#include <QAudioFormat>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "AudioPlayback.h"
#include "PcmRingBuffer.h"

class QAudioDevice;

namespace vornak {

class AudioSinkWorker;

class QtAudioPlayback final : public AudioPlayback {
  public:
    // Sound queued ahead of the output at most, and the output's own buffer.
    static constexpr int kQueueMs = 500;
    static constexpr int kSinkBufferMs = 100;
    // How long the output waits after the first sound before it starts. A stream's sound does
    // not come evenly: over its first seconds it falls behind its start by tens of
    // milliseconds, and an output started on the first frame runs dry and stops for a while.
    // Short enough that the sound still starts with the first picture, whose data take
    // about as long to come.
    static constexpr std::chrono::milliseconds kStartDelay{100};

    // Gives the output device to play on: a null device means there is none. Tests replace the
    // default, QMediaDevices::defaultAudioOutput.
    using DeviceSource = std::function<QAudioDevice()>;

    QtAudioPlayback();
    explicit QtAudioPlayback(DeviceSource devices);
    ~QtAudioPlayback() override;
    QtAudioPlayback(const QtAudioPlayback&) = delete;
    QtAudioPlayback& operator=(const QtAudioPlayback&) = delete;

    static QAudioFormat ToQtFormat(const WAVEFORMATEX& format);
    // Bytes of `ms` milliseconds of `format`, in whole frames.
    static int BytesFor(const WAVEFORMATEX& format, int ms);

    bool Supports(const WAVEFORMATEX& format) override;
    bool Start(const WAVEFORMATEX& format) override;
    std::size_t Write(const std::uint8_t* data, std::size_t size) override;
    void Stop() override;
    void SetVolume(float volume) override;
    std::uint32_t Losses() const override { return m_nLosses.load(); }

    // Bytes waiting for the output, and bytes dropped since the last Start.
    std::size_t Queued() const { return m_ring.Size(); }
    std::size_t Dropped() const { return m_ring.Dropped(); }

  private:
    DeviceSource m_devices;
    PcmRingBuffer m_ring;
    QThread m_thread;
    AudioSinkWorker* m_pWorker = nullptr;  // lives on m_thread; deleted there
    std::atomic<float> m_volume{1};
    std::atomic<std::uint32_t> m_nLosses{0};
};

}  // namespace vornak
