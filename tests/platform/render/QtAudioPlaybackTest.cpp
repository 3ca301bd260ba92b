#include "QtAudioPlayback.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <gtest/gtest.h>

#include "CAudioRenderer.h"
#include "CBasePin.h"
#include "ComPtr.h"
#include "RenderTestSupport.h"

namespace vornak {
namespace {

WAVEFORMATEX Stereo48k() {
    const CMediaType mt = test::PcmType(2, 48000);
    return *reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
}

TEST(QtAudioPlayback, FormatAndBufferSizes) {
    const WAVEFORMATEX format = Stereo48k();
    const QAudioFormat qt = QtAudioPlayback::ToQtFormat(format);
    EXPECT_EQ(qt.sampleRate(), 48000);
    EXPECT_EQ(qt.channelCount(), 2);
    EXPECT_EQ(qt.sampleFormat(), QAudioFormat::Int16);
    EXPECT_EQ(qt.bytesPerFrame(), format.nBlockAlign);
    // Half a second of 48 kHz stereo: 24000 frames of 4 bytes.
    EXPECT_EQ(QtAudioPlayback::BytesFor(format, QtAudioPlayback::kQueueMs), 96000);
}

TEST(QtAudioPlayback, WithoutAnOutputDeviceNothingStartsAndNothingQueues) {
    QtAudioPlayback playback([] { return QAudioDevice(); });
    const WAVEFORMATEX format = Stereo48k();
    EXPECT_FALSE(playback.Supports(format));
    EXPECT_FALSE(playback.Start(format));
    const std::vector<std::uint8_t> sound(4000, 1);
    EXPECT_EQ(playback.Write(sound.data(), sound.size()), 0u);
    EXPECT_EQ(playback.Queued(), 0u);
    playback.Stop();
}

TEST(QtAudioPlayback, RendererOnTheDefaultOutputRefusesWhenThereIsNone) {
    if (!QMediaDevices::defaultAudioOutput().isNull()) {
        GTEST_SKIP() << "this machine has a sound output; the refusal needs one without";
    }
    ComPtr<CAudioRenderer> renderer(new CAudioRenderer(std::make_unique<QtAudioPlayback>()));
    const CMediaType stereo = test::PcmType(2, 48000);
    EXPECT_EQ(renderer->GetPin(0)->QueryAccept(&stereo), S_FALSE);
}

}  // namespace
}  // namespace vornak
