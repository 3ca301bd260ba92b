// The virtual camcorder's stream: source packets with arrival stamps, many to a sample, the
// tape's bytes exactly once across stop and play, and the end of the tape.
#include "VirtualCamcorderFilter.h"

#include <gtest/gtest.h>

#include <chrono>

#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "TestSupport.h"
#include "TsPacket.h"
#include "VirtualCamcorderPin.h"

namespace vornak {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

constexpr std::size_t kSource = VirtualCamcorderPin::kSourcePacketSize;
constexpr auto kSafetyLimit = 60s;

Bytes NumberedTape(std::size_t packets) {
    Bytes out(packets * PKT_SIZE);
    for (std::size_t i = 0; i < packets; ++i) {
        out[i * PKT_SIZE] = SYNC_BYTE;
        for (std::size_t b = 1; b < PKT_SIZE; ++b) {
            out[i * PKT_SIZE + b] = static_cast<std::uint8_t>(i * 7 + b);
        }
    }
    return out;
}

class VirtualCamcorderFilterTest : public ::testing::Test {
  protected:
    VirtualCamcorderFilterTest()
        : m_camcorder(new VirtualCamcorderFilter()), m_sink(new test::SinkFilter()) {}
    ~VirtualCamcorderFilterTest() override {
        m_sink->Pin()->OpenGate();
        m_camcorder->Stop();
        m_sink->Stop();
        m_camcorder->GetOutputPin()->Disconnect();
        m_sink->Pin()->Disconnect();
    }

    void Start(const Bytes& tape, std::size_t perSample, double speed = 0) {
        test::WriteAll(m_dir.File("tape.m2t"), tape);
        ASSERT_TRUE(m_camcorder->LoadTape(m_dir.File("tape.m2t")));
        m_camcorder->SetPacketsPerSample(perSample);
        m_camcorder->SetSpeed(speed);
        ASSERT_EQ(m_camcorder->GetOutputPin()->Connect(m_sink->Pin(), nullptr), S_OK);
        ASSERT_EQ(m_sink->Run(0), S_OK);
        ASSERT_EQ(m_camcorder->Run(0), S_OK);
    }
    // The transport packets of every sample so far, and checks each source packet's header.
    Bytes Received() const {
        Bytes out;
        for (const auto& sample : m_sink->Pin()->Samples()) {
            EXPECT_EQ(sample.data.size() % kSource, 0u);
            for (std::size_t at = 0; at < sample.data.size(); at += kSource) {
                EXPECT_EQ(sample.data[at] & 0xFE, 0) << "reserved bits of the header";
                out.insert(out.end(), sample.data.begin() + static_cast<long>(at + 4),
                           sample.data.begin() + static_cast<long>(at + kSource));
            }
        }
        return out;
    }

    test::TempDir m_dir;
    ComPtr<VirtualCamcorderFilter> m_camcorder;
    ComPtr<test::SinkFilter> m_sink;
};

TEST_F(VirtualCamcorderFilterTest, PlaysTheWholeTapeAsSourcePacketsAndStopsAtItsEnd) {
    const Bytes tape = NumberedTape(1000);
    Start(tape, 64);
    EXPECT_EQ(m_camcorder->Transport().Mode(), TransportMode::Stop);
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));

    EXPECT_EQ(Received(), tape);
    const auto samples = m_sink->Pin()->Samples();
    ASSERT_EQ(samples.size(), 16u);  // 15 full samples of 64 and one of 40
    EXPECT_EQ(samples.front().data.size(), 64 * kSource);
    EXPECT_EQ(samples.back().data.size(), 40 * kSource);
    EXPECT_EQ(m_camcorder->PacketsSent(), 1000u);
    EXPECT_EQ(m_sink->Pin()->EndOfStreams(), 1);
    EXPECT_EQ(m_camcorder->Transport().Mode(), TransportMode::Stop);
    EXPECT_TRUE(m_camcorder->Transport().AtEndOfTape());
}

TEST_F(VirtualCamcorderFilterTest, StopAndPlayContinueWhereTheTapeStood) {
    const Bytes tape = NumberedTape(500);
    Start(tape, 10);
    m_sink->Pin()->CloseGate();
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));
    m_camcorder->StopTape();
    m_sink->Pin()->OpenGate();
    // Whatever was on its way is delivered; the rest waits for play.
    EXPECT_LT(m_camcorder->Transport().Position(), 500u);
    EXPECT_FALSE(m_camcorder->Transport().AtEndOfTape());

    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Received(), tape);
}

TEST_F(VirtualCamcorderFilterTest, SendsNothingUntilTheGraphRuns) {
    const Bytes tape = NumberedTape(100);
    test::WriteAll(m_dir.File("tape.m2t"), tape);
    ASSERT_TRUE(m_camcorder->LoadTape(m_dir.File("tape.m2t")));
    m_camcorder->SetSpeed(0);
    ASSERT_EQ(m_camcorder->GetOutputPin()->Connect(m_sink->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    ASSERT_EQ(m_camcorder->Pause(), S_OK);
    m_camcorder->PlayTape();
    EXPECT_EQ(m_camcorder->Transport().Position(), 0u);
    ASSERT_EQ(m_camcorder->Run(0), S_OK);
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Received(), tape);
}

TEST_F(VirtualCamcorderFilterTest, PacedPlayDeliversTheSameBytes) {
    const Bytes tape = NumberedTape(300);  // a fraction of a second at 1000 times the rate
    Start(tape, 32, 1000);
    m_camcorder->PlayTape();
    ASSERT_TRUE(m_camcorder->WaitForEndOfTape(kSafetyLimit));
    EXPECT_EQ(Received(), tape);
}

TEST(VirtualCamcorderPin, StampsPacketsWithTheBusCycleTimeOfTheirArrival) {
    // At 25 Mbit/s a packet takes 60.16 us: 1478.5 ticks of 24.576 MHz, 3072 ticks a cycle.
    EXPECT_EQ(VirtualCamcorderPin::ArrivalStamp(0, 25e6), 0u);
    EXPECT_EQ(VirtualCamcorderPin::ArrivalStamp(1, 25e6), 1478u);
    EXPECT_EQ(VirtualCamcorderPin::ArrivalStamp(3, 25e6), (1u << 12) | (4435u - 3072u));
    // One second later the cycle count has wrapped (8000 cycles a second).
    const std::uint64_t second = 25'000'000 / (188 * 8) + 1;
    EXPECT_LT(VirtualCamcorderPin::ArrivalStamp(second, 25e6) >> 12, 2u);
}

}  // namespace
}  // namespace vornak
