#include "PcmConverter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace vornak {
namespace {

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// A planar float frame: channel c holds `values[c]`.
FramePtr PlanarFloatFrame(const std::vector<std::vector<float>>& values) {
    FramePtr frame(av_frame_alloc());
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->nb_samples = static_cast<int>(values[0].size());
    av_channel_layout_default(&frame->ch_layout, static_cast<int>(values.size()));
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    for (std::size_t c = 0; c < values.size(); ++c) {
        std::memcpy(frame->extended_data[c], values[c].data(), values[c].size() * sizeof(float));
    }
    return frame;
}

std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& bytes, std::size_t written) {
    std::vector<std::int16_t> samples(written / 2);
    std::memcpy(samples.data(), bytes.data(), written);
    return samples;
}

TEST(PcmConverter, InterleavesPlanarFloatAndClipsItToSixteenBits) {
    const FramePtr frame = PlanarFloatFrame({{0.5F, -1.5F, 0.0F}, {1.0F, 2.0F, -0.25F}});
    std::vector<std::uint8_t> out(64, 0xAA);
    const std::size_t written = PcmConverter::Convert(*frame, 2, out);
    ASSERT_EQ(written, 12u);
    EXPECT_EQ(Samples(out, written),
              (std::vector<std::int16_t>{16384, 32767, -32767, 32767, 0, -8192}));
    EXPECT_EQ(out[written], 0xAA);  // nothing past what it reports
}

TEST(PcmConverter, MapsChannelsAndRefusesATargetTooSmall) {
    const FramePtr stereo = PlanarFloatFrame({{0.5F, 0.5F}, {-0.5F, -0.5F}});
    std::vector<std::uint8_t> out(8);
    ASSERT_EQ(PcmConverter::Convert(*stereo, 1, out), 4u);
    EXPECT_EQ(Samples(out, 4), (std::vector<std::int16_t>{16384, 16384}));

    const FramePtr mono = PlanarFloatFrame({{0.5F, -0.5F}});
    ASSERT_EQ(PcmConverter::Convert(*mono, 2, out), 8u);
    EXPECT_EQ(Samples(out, 8), (std::vector<std::int16_t>{16384, 16384, -16384, -16384}));

    std::vector<std::uint8_t> small(7);
    EXPECT_EQ(PcmConverter::Convert(*stereo, 2, small), 0u);
}

}  // namespace
}  // namespace vornak
