// Discovery on the buses: camcorders among other nodes on several ports, their names from the
// configuration ROM or from sysfs, finding a node again by GUID, and silence without FireWire.
#include "FireWireBus.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "FakeFireWireLibrary.h"
#include "FireWireTestNodes.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::FakeFireWireLibrary;

constexpr std::uint64_t kHv20 = 0x0000'8500'0123'4567;
constexpr std::uint64_t kFx7 = 0x0800'4601'0203'0405;

class FireWireBusTest : public ::testing::Test {
  protected:
    FireWireBusTest() : m_library(std::make_shared<FakeFireWireLibrary>()) {}

    FireWireBus Bus() const { return FireWireBus(m_library, FireWireSysfsNames(m_dir.Path())); }
    void WriteSysfs(const std::string& device, const std::string& attribute,
                    const std::string& text) const {
        std::filesystem::create_directories(m_dir.File(device));
        std::ofstream(m_dir.File(device + "/" + attribute)) << text << "\n";
    }

    test::TempDir m_dir;
    std::shared_ptr<FakeFireWireLibrary> m_library;
};

TEST_F(FireWireBusTest, FindsTheCamcordersAmongOtherNodesOnEveryPort) {
    m_library->SetBus(
        {{{test::ThisMachine(), test::Disk(0x10), test::Camcorder(kHv20)}, 0},
         {{test::Tuner(0x20), test::Camcorder(kFx7, {"Sony", "HDR-FX7"}), test::ThisMachine()},
          2}});

    const auto found = Bus().FindCamcorders();

    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].guid, kHv20);
    EXPECT_EQ(found[0].location, (FireWireBus::Location{0, 2}));
    EXPECT_EQ(found[0].vendor, "Canon");
    EXPECT_EQ(found[0].model, "HV20");
    EXPECT_EQ(found[1].guid, kFx7);
    EXPECT_EQ(found[1].location, (FireWireBus::Location{1, 1}));
    EXPECT_EQ(found[1].vendor, "Sony");
    EXPECT_EQ(found[1].model, "HDR-FX7");
    EXPECT_EQ(m_library->OpenHandles(), 0);
}

TEST_F(FireWireBusTest, LeavesOutNodesThatAreNoCamcorderOrCannotBeRead) {
    auto unreadable = test::Camcorder(0x30);
    unreadable.romReadable = false;
    auto silent = test::Camcorder(0x40);
    silent.answersAvc = false;
    m_library->SetBus(
        {{{test::ThisMachine(), test::Disk(0x10), test::Tuner(0x20), unreadable, silent}, 0}});

    EXPECT_TRUE(Bus().FindCamcorders().empty());
}

TEST_F(FireWireBusTest, NamesComeFromSysfsWhenTheRomHasNone) {
    WriteSysfs("fw0", "guid", "0x0000000000000001");
    WriteSysfs("fw1", "guid", "0x0000850001234567");
    WriteSysfs("fw1", "vendor_name", "Canon Inc.  ");
    WriteSysfs("fw1", "model_name", "HV20");
    WriteSysfs("fw2", "guid", "0x0800460102030405");
    WriteSysfs("fw2", "model_name", "HDR-FX7 (sysfs)");
    m_library->SetBus({{{test::ThisMachine(), test::Camcorder(kHv20, {}),
                         test::Camcorder(kFx7, {"Sony "}), test::Camcorder(0x50, {})},
                        0}});

    const auto found = Bus().FindCamcorders();

    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].vendor, "Canon Inc.");
    EXPECT_EQ(found[0].model, "HV20");
    EXPECT_EQ(found[1].vendor, "Sony");  // the ROM's own text wins where it has one
    EXPECT_EQ(found[1].model, "HDR-FX7 (sysfs)");
    EXPECT_EQ(found[2].vendor, "");
    EXPECT_EQ(found[2].model, "");
}

TEST_F(FireWireBusTest, WithoutAHandleOrWithoutPortsFindsNothingAndSaysNothing) {
    m_library->SetBus({});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Bus().FindCamcorders().empty());
    m_library->FailNewHandle(true);
    m_library->SetBus({{{test::ThisMachine(), test::Camcorder(kHv20)}, 0}});
    EXPECT_TRUE(Bus().FindCamcorders().empty());
    EXPECT_FALSE(Bus().Locate(kHv20).has_value());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(FireWireBusTest, LocatesANodeByGuidAfterTheBusWasNumberedAnew) {
    m_library->SetBus({{{test::ThisMachine(), test::Camcorder(kHv20)}, 0}});
    EXPECT_EQ(Bus().Locate(kHv20), (FireWireBus::Location{0, 1}));

    m_library->SetBus({{{test::Disk(0x10), test::ThisMachine()}, 1},
                       {{test::ThisMachine(), test::Tuner(0x20), test::Camcorder(kHv20)}, 0}});
    EXPECT_EQ(Bus().Locate(kHv20), (FireWireBus::Location{1, 2}));

    m_library->SetBus({{{test::ThisMachine(), test::Disk(0x10)}, 0}});
    EXPECT_FALSE(Bus().Locate(kHv20).has_value());
    EXPECT_EQ(m_library->OpenHandles(), 0);
}

}  // namespace
}  // namespace vornak
