#include "QtAudioPlayback.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QMetaObject>

#include "AudioSinkWorker.h"

namespace vornak {
namespace {

constexpr int kMsPerSecond = 1000;

}  // namespace

QtAudioPlayback::QtAudioPlayback()
    : QtAudioPlayback([] { return QMediaDevices::defaultAudioOutput(); }) {}

QtAudioPlayback::QtAudioPlayback(DeviceSource devices) : m_devices(std::move(devices)) {
    m_thread.setObjectName(QStringLiteral("Preview sound"));
}

QtAudioPlayback::~QtAudioPlayback() {
    if (m_pWorker != nullptr) {
        AudioSinkWorker* worker = m_pWorker;
        // The sink goes on the thread it was made on.
        QMetaObject::invokeMethod(
            worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
        m_pWorker = nullptr;
        m_thread.quit();
        m_thread.wait();
    }
}

QAudioFormat QtAudioPlayback::ToQtFormat(const WAVEFORMATEX& format) {
    QAudioFormat qt;
    qt.setSampleRate(static_cast<int>(format.nSamplesPerSec));
    qt.setChannelCount(format.nChannels);
    qt.setSampleFormat(QAudioFormat::Int16);
    return qt;
}

int QtAudioPlayback::BytesFor(const WAVEFORMATEX& format, int ms) {
    const long long frames = static_cast<long long>(format.nSamplesPerSec) * ms / kMsPerSecond;
    return static_cast<int>(frames * format.nBlockAlign);
}

bool QtAudioPlayback::Supports(const WAVEFORMATEX& format) {
    const QAudioDevice device = m_devices();
    return !device.isNull() && device.isFormatSupported(ToQtFormat(format));
}

bool QtAudioPlayback::Start(const WAVEFORMATEX& format) {
    const QAudioDevice device = m_devices();
    const QAudioFormat qtFormat = ToQtFormat(format);
    if (device.isNull() || !device.isFormatSupported(qtFormat)) {
        return false;
    }
    m_ring.Reset(static_cast<std::size_t>(BytesFor(format, kQueueMs)), format.nBlockAlign);
    if (m_pWorker == nullptr) {
        m_pWorker = new AudioSinkWorker(m_ring, [this] { ++m_nLosses; });
        m_pWorker->moveToThread(&m_thread);
        m_thread.start();
    }
    AudioSinkWorker* worker = m_pWorker;
    const int sinkBytes = BytesFor(format, kSinkBufferMs);
    const float volume = m_volume.load();
    QMetaObject::invokeMethod(
        worker,
        [worker, device, qtFormat, sinkBytes, volume] {
            worker->SetVolume(volume);
            worker->Start(device, qtFormat, sinkBytes, kStartDelay);
        },
        Qt::QueuedConnection);
    return true;
}

void QtAudioPlayback::SetVolume(float volume) {
    m_volume = volume;
    if (m_pWorker != nullptr) {
        AudioSinkWorker* worker = m_pWorker;
        QMetaObject::invokeMethod(
            worker, [worker, volume] { worker->SetVolume(volume); }, Qt::QueuedConnection);
    }
}

std::size_t QtAudioPlayback::Write(const std::uint8_t* data, std::size_t size) {
    return m_ring.Write(data, size);
}

void QtAudioPlayback::Stop() {
    if (m_pWorker != nullptr) {
        AudioSinkWorker* worker = m_pWorker;
        QMetaObject::invokeMethod(
            worker, [worker] { worker->Stop(); }, Qt::QueuedConnection);
    }
    // Sound that arrives until the next Start has nowhere to go.
    m_ring.Reset(0, 1);
}

}  // namespace vornak
