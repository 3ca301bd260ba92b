#include "AudioSinkWorker.h"

#include <QAudioSink>
#include <QIODevice>

#include <algorithm>

#include "PcmRingBuffer.h"

namespace vornak {
namespace {

// Often enough that the sink's buffer (a tenth of a second) never runs dry between two turns.
constexpr int kPumpIntervalMs = 10;

}  // namespace

AudioSinkWorker::AudioSinkWorker(PcmRingBuffer& ring, std::function<void()> onLost)
    : m_ring(ring), m_onLost(std::move(onLost)), m_timer(this) {
    m_timer.setInterval(kPumpIntervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Pump(); });
}

AudioSinkWorker::~AudioSinkWorker() {
    Stop();
}

bool AudioSinkWorker::IsLoss(QAudio::State state, QAudio::Error error) {
    // An underrun only idles the sink; these stop it for good.
    return state == QAudio::StoppedState &&
           (error == QAudio::OpenError || error == QAudio::IOError || error == QAudio::FatalError);
}

void AudioSinkWorker::Start(const QAudioDevice& device, const QAudioFormat& format, int bufferBytes,
                            std::chrono::milliseconds startDelay) {
    Stop();
    m_pSink = std::make_unique<QAudioSink>(device, format);
    m_pSink->setBufferSize(bufferBytes);
    m_pSink->setVolume(m_volume);
    m_pDevice = m_pSink->start();
    if (m_pDevice == nullptr) {
        m_pSink.reset();
        return;
    }
    QObject::connect(m_pSink.get(), &QAudioSink::stateChanged, this,
                     [this](QAudio::State state) { OnStateChanged(state); });
    m_startDelay = startDelay;
    m_firstSoundAt.reset();
    m_bStarted = false;
    m_timer.start();
}

void AudioSinkWorker::Stop() {
    m_timer.stop();
    if (m_pSink) {
        QObject::disconnect(m_pSink.get(), nullptr, this, nullptr);
        m_pSink->stop();
        m_pSink.reset();
    }
    m_pDevice = nullptr;
}

void AudioSinkWorker::SetVolume(float volume) {
    m_volume = std::clamp(volume, 0.0F, 1.0F);
    if (m_pSink) {
        m_pSink->setVolume(m_volume);
    }
}

void AudioSinkWorker::OnStateChanged(QAudio::State state) {
    if (m_pDevice == nullptr || !IsLoss(state, m_pSink->error())) {
        return;
    }
    // The sink is let go of at the next Stop or Start, not inside its own signal.
    m_timer.stop();
    m_pDevice = nullptr;
    if (m_onLost) {
        m_onLost();
    }
}

void AudioSinkWorker::Pump() {
    if (m_pDevice == nullptr) {
        return;
    }
    if (!m_bStarted) {
        const std::size_t queued = m_ring.Size();
        if (queued == 0) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!m_firstSoundAt) {
            m_firstSoundAt = now;
        }
        if (now - *m_firstSoundAt < m_startDelay && queued < m_ring.Capacity() / 2) {
            return;
        }
        m_bStarted = true;
    }
    const auto room = static_cast<std::size_t>(std::max<qsizetype>(m_pSink->bytesFree(), 0));
    if (room == 0) {
        return;
    }
    m_chunk.resize(room);
    const std::size_t taken = m_ring.Read(m_chunk.data(), room);
    if (taken > 0) {
        m_pDevice->write(reinterpret_cast<const char*>(m_chunk.data()), static_cast<qint64>(taken));
    }
}

}  // namespace vornak
