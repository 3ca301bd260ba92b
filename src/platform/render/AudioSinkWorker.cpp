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

AudioSinkWorker::AudioSinkWorker(PcmRingBuffer& ring) : m_ring(ring), m_timer(this) {
    m_timer.setInterval(kPumpIntervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Pump(); });
}

AudioSinkWorker::~AudioSinkWorker() {
    Stop();
}

void AudioSinkWorker::Start(const QAudioDevice& device, const QAudioFormat& format,
                            int bufferBytes) {
    Stop();
    m_pSink = std::make_unique<QAudioSink>(device, format);
    m_pSink->setBufferSize(bufferBytes);
    m_pDevice = m_pSink->start();
    if (m_pDevice == nullptr) {
        m_pSink.reset();
        return;
    }
    m_timer.start();
}

void AudioSinkWorker::Stop() {
    m_timer.stop();
    if (m_pSink) {
        m_pSink->stop();
        m_pSink.reset();
    }
    m_pDevice = nullptr;
}

void AudioSinkWorker::Pump() {
    if (m_pDevice == nullptr) {
        return;
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
