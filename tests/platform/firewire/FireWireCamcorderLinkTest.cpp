// The AV/C side of a camcorder: each transport mode's command, the transport states read back,
// the device type, the safety rule for PLAY commands, the timecode, following the camcorder
// across renumbering, and losing it.
#include "FireWireCamcorderLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "AvcCodes.h"
#include "FakeFireWireLibrary.h"
#include "FireWireTestNodes.h"

namespace vornak {
namespace {

using test::FakeFireWireLibrary;

constexpr std::uint64_t kGuid = 0x0000'8500'0123'4567;
constexpr std::uint64_t kOtherGuid = 0x0800'4601'0203'0405;

// Transport state responses as a camcorder sends them (stable, VCR subunit 0, state, operand).
constexpr std::uint32_t kPlaying = 0x0C20C375;
constexpr std::uint32_t kStopped = 0x0C20C460;
constexpr std::uint32_t kRecordPause = 0x0C20C27D;
constexpr std::uint32_t kRejected = 0x0A20D07F;
constexpr auto kBurstPause = std::chrono::milliseconds(30);

class FireWireCamcorderLinkTest : public ::testing::Test {
  protected:
    FireWireCamcorderLinkTest() : m_library(std::make_shared<FakeFireWireLibrary>()) {
        m_library->SetBus({{{test::ThisMachine(), test::Camcorder(kGuid)}, 0}});
        m_link = std::make_unique<FireWireCamcorderLink>(
            m_library, kGuid, FireWireBus::Location{0, 1}, [this] { ++m_losses; });
        m_link->SetRelocatePauses(
            std::vector<std::chrono::milliseconds>(4, std::chrono::milliseconds(1)));
    }

    void SetState(std::uint32_t state) {
        m_library->EditNode(kGuid, [&](auto& node) { node.transportState = state; });
    }
    void SetAnswering(bool answers) {
        m_library->EditNode(kGuid, [&](auto& node) { node.answersAvc = answers; });
    }

    std::shared_ptr<FakeFireWireLibrary> m_library;
    std::atomic<int> m_losses{0};
    std::unique_ptr<FireWireCamcorderLink> m_link;
};

TEST_F(FireWireCamcorderLinkTest, EachTransportModeSendsItsAvcCommand) {
    SetState(kPlaying);
    for (LONG mode : {ED_MODE_PLAY, ED_MODE_STOP, ED_MODE_FREEZE, ED_MODE_FF, ED_MODE_REW,
                      ED_MODE_PLAY_FASTEST_FWD, ED_MODE_PLAY_FASTEST_REV}) {
        EXPECT_EQ(m_link->SetMode(mode), S_OK) << mode;
    }
    EXPECT_EQ(m_library->ControlCommands(),
              (std::vector<std::uint32_t>{0x0020C375, 0x0020C460, 0x0020C37D, 0x0020C475,
                                          0x0020C465, 0x0020C33F, 0x0020C34F}));
    for (const auto& sent : m_library->Transactions()) {
        EXPECT_EQ(sent.nodeId, 0xFFC1);
    }
    EXPECT_EQ(m_link->SetMode(4302), E_INVALIDARG);  // record: never sent
    EXPECT_EQ(m_library->ControlCommands().size(), 7u);
}

TEST_F(FireWireCamcorderLinkTest, PlayCommandsAreRefusedAndNotSentOutsideTapePlayback) {
    for (std::uint32_t state : {kRecordPause, kRejected}) {
        SetState(state);
        for (LONG mode :
             {ED_MODE_PLAY, ED_MODE_FREEZE, ED_MODE_PLAY_FASTEST_FWD, ED_MODE_PLAY_FASTEST_REV}) {
            EXPECT_EQ(m_link->SetMode(mode), VFW_E_WRONG_STATE) << std::hex << state;
        }
    }
    EXPECT_TRUE(m_library->ControlCommands().empty());

    // Winding and stopping cannot record; they go through.
    EXPECT_EQ(m_link->SetMode(ED_MODE_STOP), S_OK);
    EXPECT_EQ(m_library->ControlCommands(), (std::vector<std::uint32_t>{0x0020C460}));
}

TEST_F(FireWireCamcorderLinkTest, TheStateIsAskedAgainRightBeforeEachPlayCommand) {
    SetState(kStopped);
    EXPECT_EQ(m_link->SetMode(ED_MODE_PLAY), S_OK);
    SetState(kRecordPause);  // the user turned the dial to camera
    EXPECT_EQ(m_link->SetMode(ED_MODE_PLAY), VFW_E_WRONG_STATE);
    EXPECT_EQ(m_library->ControlCommands().size(), 1u);

    m_library->EditNode(kGuid, [](auto& node) {
        node.transportState = kPlaying;
        node.controlResponse = avc::kResponseRejected;
    });
    EXPECT_EQ(m_link->SetMode(ED_MODE_FREEZE), E_FAIL);  // sent, but the camcorder said no
}

TEST_F(FireWireCamcorderLinkTest, TransportStatesReadAsModes) {
    const std::pair<std::uint32_t, LONG> cases[] = {
        {0x0C20C375, ED_MODE_PLAY},
        {0x0C20C338, ED_MODE_PLAY},
        {0x0C20C37D, ED_MODE_FREEZE},
        {0x0C20C36D, ED_MODE_FREEZE},
        {0x0C20C33F, ED_MODE_PLAY_FASTEST_FWD},
        {0x0C20C33A, ED_MODE_PLAY_FASTEST_FWD},
        {0x0C20C34F, ED_MODE_PLAY_FASTEST_REV},
        {0x0C20C365, ED_MODE_PLAY_FASTEST_REV},
        {0x0C20C460, ED_MODE_STOP},
        {0x0C20C475, ED_MODE_FF},
        {0x0C20C465, ED_MODE_REW},
        {0x0C20C445, ED_MODE_REW},
        {0x0C20C275, FireWireCamcorderLink::kModeRecord},
        {0x0C20C160, ED_MODE_STOP},
        {kRejected, ED_MODE_STOP},
    };
    for (const auto& [state, mode] : cases) {
        EXPECT_EQ(FireWireCamcorderLink::ModeFromStatus(state), mode) << std::hex << state;
    }

    SetState(0x0C20C475);
    LONG mode = 0;
    EXPECT_EQ(m_link->GetMode(&mode), S_OK);
    EXPECT_EQ(mode, ED_MODE_FF);
    EXPECT_EQ(m_library->Transactions().back().command, 0x0120D07Fu);
}

TEST_F(FireWireCamcorderLinkTest, DeviceTypeIsVcrOnlyWhileTheCamcorderReportsTapePlayback) {
    const std::pair<std::uint32_t, LONG> cases[] = {
        {kPlaying, ED_DEVTYPE_VCR},      {kStopped, ED_DEVTYPE_VCR},
        {0x0C20C465, ED_DEVTYPE_VCR},    {kRecordPause, ED_DEVTYPE_CAMERA},
        {kRejected, ED_DEVTYPE_CAMERA},  {0x0C20C160, ED_DEVTYPE_CAMERA},
        {0x0820D07F, ED_DEVTYPE_CAMERA},
    };
    for (const auto& [state, expected] : cases) {
        SetState(state);
        LONG type = 0;
        EXPECT_EQ(m_link->GetDeviceType(&type), S_OK);
        EXPECT_EQ(type, expected) << std::hex << state;
    }
}

TEST_F(FireWireCamcorderLinkTest, TimecodeBecomesEightBcdDigits) {
    DWORD bcd = 0;
    EXPECT_EQ(m_link->GetTimecode(&bcd), S_OK);
    EXPECT_EQ(bcd, 0x01020304u);

    EXPECT_EQ(FireWireCamcorderLink::ParseTimecode("23:59:59:24"), 0x23595924u);
    // Flag bits above the digits (colour frame, drop frame) are not part of the time.
    EXPECT_EQ(FireWireCamcorderLink::ParseTimecode("12:34:56:C9"), 0x12345609u);
    EXPECT_EQ(FireWireCamcorderLink::ParseTimecode("ff:ff:ff:ff"), std::nullopt);
    EXPECT_EQ(FireWireCamcorderLink::ParseTimecode("1:02:03:04"), std::nullopt);
    EXPECT_EQ(FireWireCamcorderLink::ParseTimecode("01-02-03-04"), std::nullopt);
    EXPECT_EQ(FireWireCamcorderLink::ParseTimecode("01:02:03:0g"), std::nullopt);
}

TEST_F(FireWireCamcorderLinkTest, ATimecodeFailureIsPassedOn) {
    m_library->EditNode(kGuid, [](auto& node) { node.timecodeResult = -1; });
    DWORD bcd = 0xAAAAAAAA;
    EXPECT_EQ(m_link->GetTimecode(&bcd), E_FAIL);
    m_library->EditNode(kGuid, [](auto& node) {
        node.timecodeResult = 0;
        node.timecodeText = "--:--:--:--";
    });
    EXPECT_EQ(m_link->GetTimecode(&bcd), E_FAIL);
    EXPECT_EQ(bcd, 0xAAAAAAAAu);
    EXPECT_FALSE(m_link->IsLost());
}

TEST_F(FireWireCamcorderLinkTest, FollowsTheCamcorderByGuidWhenTheNodesAreNumberedAnew) {
    SetState(kPlaying);
    m_library->SetBus({{{test::ThisMachine(), test::Camcorder(kOtherGuid), test::Disk(0x10),
                         test::Camcorder(kGuid)},
                        0}});
    m_library->EditNode(kGuid, [](auto& node) { node.transportState = kPlaying; });

    EXPECT_EQ(m_link->SetMode(ED_MODE_PLAY), S_OK);
    for (const auto& sent : m_library->Transactions()) {
        EXPECT_EQ(sent.nodeId, 0xFFC3) << "never to the other camcorder now at node 1";
    }
    EXPECT_EQ(m_link->CurrentLocation(), (FireWireBus::Location{0, 3}));
    EXPECT_EQ(m_losses, 0);
}

TEST_F(FireWireCamcorderLinkTest, ACamcorderThatLeftTheBusIsLostOnce) {
    m_library->SetBus({{{test::ThisMachine(), test::Camcorder(kOtherGuid)}, 0}});

    EXPECT_EQ(m_link->SetMode(ED_MODE_STOP), E_DEVICE_NOT_CONNECTED);
    LONG mode = 0;
    EXPECT_EQ(m_link->GetMode(&mode), E_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(m_link->Relocate().has_value());
    EXPECT_TRUE(m_library->Transactions().empty());
    EXPECT_TRUE(m_link->IsLost());
    EXPECT_EQ(m_losses, 1);
}

TEST_F(FireWireCamcorderLinkTest, SeveralUnansweredTransactionsInARowLoseTheCamcorder) {
    LONG mode = 0;
    SetAnswering(false);
    EXPECT_EQ(m_link->GetMode(&mode), E_FAIL);
    EXPECT_EQ(m_link->GetMode(&mode), E_FAIL);
    SetAnswering(true);
    EXPECT_EQ(m_link->GetMode(&mode), S_OK);  // an answer starts the count again
    SetAnswering(false);
    EXPECT_EQ(m_link->GetMode(&mode), E_FAIL);
    EXPECT_EQ(m_link->GetMode(&mode), E_FAIL);
    EXPECT_EQ(m_losses, 0);

    EXPECT_EQ(m_link->GetMode(&mode), E_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(m_losses, 1);
    SetAnswering(true);
    m_library->ClearTransactions();
    EXPECT_EQ(m_link->SetMode(ED_MODE_STOP), E_DEVICE_NOT_CONNECTED);
    DWORD bcd = 0;
    EXPECT_EQ(m_link->GetTimecode(&bcd), E_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(m_library->Transactions().empty());
    EXPECT_EQ(m_losses, 1);
}

TEST_F(FireWireCamcorderLinkTest, AnswersInTransitionStandForTheLastStableState) {
    SetState(kPlaying);
    LONG mode = 0;
    EXPECT_EQ(m_link->GetMode(&mode), S_OK);
    m_library->EditNode(kGuid, [](auto& node) { node.inTransitionAnswers = 3; });
    EXPECT_EQ(m_link->GetMode(&mode), S_OK);
    EXPECT_EQ(mode, ED_MODE_PLAY);
    LONG type = 0;
    EXPECT_EQ(m_link->GetDeviceType(&type), S_OK);
    EXPECT_EQ(type, ED_DEVTYPE_VCR);
    // Not refused although the camcorder answered IN TRANSITION right before.
    EXPECT_EQ(m_link->SetMode(ED_MODE_FREEZE), S_OK);
    EXPECT_EQ(m_library->ControlCommands(), (std::vector<std::uint32_t>{0x0020C37D}));

    // Without a stable answer before, a mechanism in transition is not a tape that plays.
    FireWireCamcorderLink fresh(m_library, kGuid, FireWireBus::Location{0, 1}, {});
    m_library->EditNode(kGuid, [](auto& node) { node.inTransitionAnswers = 1; });
    EXPECT_EQ(fresh.GetDeviceType(&type), S_OK);
    EXPECT_EQ(type, ED_DEVTYPE_CAMERA);
}

TEST_F(FireWireCamcorderLinkTest, AGenerationErrorIsTakenAsABusResetAndTheCamcorderFoundByGuid) {
    SetState(kPlaying);
    LONG mode = 0;
    EXPECT_EQ(m_link->GetMode(&mode), S_OK);
    // A reset no handle heard of, with the camcorder renumbered.
    auto playing = test::Camcorder(kGuid);
    playing.transportState = kPlaying;
    m_library->ResetBus({{{test::ThisMachine(), test::Disk(0x10), test::Disk(0x11), playing}, 0}});
    EXPECT_EQ(m_link->GetMode(&mode), S_OK);
    EXPECT_EQ(mode, ED_MODE_PLAY);
    EXPECT_GT(m_library->GenerationErrors(), 0);
    EXPECT_EQ(m_library->Transactions().back().nodeId, 0xFFC3);
    DWORD bcd = 0;
    m_library->ResetBus({{{test::ThisMachine(), test::Camcorder(kGuid)}, 0}});
    EXPECT_EQ(m_link->GetTimecode(&bcd), S_OK);  // a timecode read finds it again too
    EXPECT_EQ(m_link->CurrentLocation(), (FireWireBus::Location{0, 1}));
    EXPECT_EQ(m_losses, 0);
}

TEST_F(FireWireCamcorderLinkTest, ACamcorderMissingForABurstOfResetsIsNotLost) {
    m_link->SetRelocatePauses(std::vector<std::chrono::milliseconds>(4, kBurstPause));
    m_library->ResetBus({{{test::ThisMachine(), test::Disk(0x10)}, 0}});
    std::thread back([&] {
        std::this_thread::sleep_for(kBurstPause);
        m_library->ResetBus({{{test::ThisMachine(), test::Disk(0x10), test::Camcorder(kGuid)}, 0}});
    });
    LONG mode = 0;
    EXPECT_EQ(m_link->GetMode(&mode), S_OK);
    back.join();
    EXPECT_EQ(m_link->CurrentLocation(), (FireWireBus::Location{0, 2}));
    EXPECT_EQ(m_losses, 0);
}

TEST_F(FireWireCamcorderLinkTest, ListingAndLinkNeverAskTheSameCamcorderAtOnce) {
    // Answers would cross between two handles asking at the same time.
    m_library->CrossResponses(true);
    SetState(kPlaying);
    constexpr int kRounds = 10;
    std::thread listing([&] {
        const FireWireBus bus(m_library);
        for (int i = 0; i < kRounds; ++i) {
            EXPECT_EQ(bus.FindCamcorders().size(), 1u);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        LONG mode = 0;
        EXPECT_EQ(m_link->GetMode(&mode), S_OK);
        EXPECT_EQ(mode, ED_MODE_PLAY);
    }
    listing.join();
    EXPECT_EQ(m_library->CrossedAnswers(), 0);
}

}  // namespace
}  // namespace vornak
