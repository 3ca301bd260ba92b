// The FireWire device source: camcorders listed in the video input category with the camcorder
// class and their names, nothing elsewhere or without FireWire, and binding to a filter that
// finds its camcorder by GUID.
#include "FireWireDeviceSource.h"

#include <gtest/gtest.h>

#include <memory>

#include "ComPtr.h"
#include "DeviceControl.h"
#include "FakeFireWireLibrary.h"
#include "FireWireTestNodes.h"
#include "Guids.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::FakeFireWireLibrary;
using Properties = std::map<std::string, std::string>;
using Port = FakeFireWireLibrary::Port;

constexpr std::uint64_t kHv20 = 0x0000'8500'0123'4567;
constexpr std::uint64_t kFx7 = 0x0800'4601'0203'0405;

class FireWireDeviceSourceTest : public ::testing::Test {
  protected:
    FireWireDeviceSourceTest()
        : m_library(std::make_shared<FakeFireWireLibrary>()),
          m_source(m_library, FireWireSysfsNames(m_dir.File("no-sysfs"))) {
        m_library->SetBus({{{test::ThisMachine(), test::Disk(0x10), test::Camcorder(kHv20)}, 0},
                           {{test::Camcorder(kFx7, {"Sony", "HDR-FX7"}), test::ThisMachine()}, 1}});
    }

    test::TempDir m_dir;
    std::shared_ptr<FakeFireWireLibrary> m_library;
    FireWireDeviceSource m_source;
};

TEST_F(FireWireDeviceSourceTest, ListsEachCamcorderAsAVideoInputWithItsNames) {
    const auto devices = m_source.ListDevices(CLSID_VideoInputDeviceCategory);

    ASSERT_EQ(devices.size(), 2u);
    ASSERT_TRUE(devices[0].properties.has_value());
    EXPECT_EQ(*devices[0].properties,
              (Properties{{"DeviceClassGUID", "{8C0F6AF2-0EDB-44C1-8AEB-59040BD830ED}"},
                          {"VendorText", "Canon"},
                          {"ModelText", "HV20"},
                          {"FriendlyName", "Canon HV20"}}));
    ASSERT_TRUE(devices[1].properties.has_value());
    EXPECT_EQ(devices[1].properties->at("FriendlyName"), "Sony HDR-FX7");
    EXPECT_TRUE(m_source.ListDevices(CLSID_CamcorderDeviceClass).empty());
}

TEST_F(FireWireDeviceSourceTest, ListsNothingWithoutFireWire) {
    m_library->FailNewHandle(true);
    EXPECT_TRUE(m_source.ListDevices(CLSID_VideoInputDeviceCategory).empty());
}

TEST_F(FireWireDeviceSourceTest, SaysWhyNoCamcorderIsFoundWhenTheUserCanActOnIt) {
    using Files = FireWireLibrary::DeviceFiles;
    const Port tunerOnly{{test::ThisMachine(), test::Tuner(0x20)}, 0};
    const struct {
        const char* what;
        std::vector<Port> bus;
        Files files;
        std::size_t found;
        DeviceProblem problem;
    } cases[] = {
        // firewire-core shows no port both without a controller and without permission.
        {"no controller", {}, Files{0, 0, {}, {}}, 0, {"INFO: No FireWire port was found.", false}},
        {"no permission",
         {},
         Files{2, 0, "/dev/fw0", "Permission denied"},
         0,
         {"WARNING: FireWire devices exist but cannot be opened (/dev/fw0: Permission denied): "
          "see README, \"Access to FireWire devices\".",
          true}},
        {"an AV/C unit without a tape", {tunerOnly}, Files{2, 2, {}, {}}, 0, {}},
        {"a camcorder",
         {{{test::ThisMachine(), test::Camcorder(kHv20)}, 0}},
         Files{2, 0, {}, {}},
         1,
         {}},
    };
    for (const auto& c : cases) {
        m_library->SetBus(c.bus);
        m_library->SetDeviceFiles(c.files);
        EXPECT_EQ(m_source.ListDevices(CLSID_VideoInputDeviceCategory).size(), c.found) << c.what;
        EXPECT_EQ(m_source.ListingProblem().line, c.problem.line) << c.what;
        EXPECT_EQ(m_source.ListingProblem().warning, c.problem.warning) << c.what;
    }
}

TEST_F(FireWireDeviceSourceTest, BindingMakesAFilterThatFindsItsCamcorderByGuid) {
    const auto devices = m_source.ListDevices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.size(), 2u);
    IBaseFilter* raw = nullptr;
    ASSERT_EQ(devices[1].bind(&raw), S_OK);
    ASSERT_NE(raw, nullptr);
    const auto filter = ComPtr<IBaseFilter>::Attach(raw);

    // A bus reset moves the Sony to another node; the Canon sits where it was.
    m_library->SetBus({{{test::ThisMachine()}, 0},
                       {{test::Camcorder(kHv20), test::ThisMachine(), test::Camcorder(kFx7)}, 1}});
    ComPtr<IAMExtTransport> transport;
    ASSERT_EQ(filter->QueryInterface(IID_IAMExtTransport, transport.ReceiveVoid()), S_OK);
    EXPECT_EQ(transport->put_Mode(ED_MODE_STOP), S_OK);
    ASSERT_EQ(m_library->ControlCommands().size(), 1u);
    EXPECT_EQ(m_library->Transactions().back().nodeId, 0xFFC2);
}

TEST_F(FireWireDeviceSourceTest, AMiniDvCamcorderIsListedNamedAndDrivenLikeAnHdvOne) {
    constexpr std::uint64_t kTrv900 = 0x0800'4601'0000'0900;
    m_library->SetBus({{{test::ThisMachine(), test::MiniDv(kTrv900)}, 0}});
    const auto devices = m_source.ListDevices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].properties->at("FriendlyName"), "Sony DCR-TRV900E");
    IBaseFilter* raw = nullptr;
    ASSERT_EQ(devices[0].bind(&raw), S_OK);
    const auto filter = ComPtr<IBaseFilter>::Attach(raw);
    ComPtr<IAMExtDevice> device;
    ComPtr<IAMExtTransport> transport;
    ASSERT_EQ(filter->QueryInterface(IID_IAMExtDevice, device.ReceiveVoid()), S_OK);
    ASSERT_EQ(filter->QueryInterface(IID_IAMExtTransport, transport.ReceiveVoid()), S_OK);
    LONG value = 0;
    EXPECT_EQ(device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &value, nullptr), S_OK);
    EXPECT_EQ(value, ED_DEVTYPE_VCR);
    EXPECT_EQ(device->GetCapability(VORNAK_DEVCAP_OUTPUT_SIGNAL, &value, nullptr), S_OK);
    EXPECT_EQ(value, VORNAK_SIGNAL_DV) << "listed with \" (DV)\"";
    EXPECT_EQ(transport->put_Mode(ED_MODE_PLAY), S_OK);
    EXPECT_EQ(m_library->ControlCommands().size(), 1u);
}

TEST(FireWireDeviceSourceNames, FriendlyNameJoinsWhatIsKnown) {
    EXPECT_EQ(FireWireDeviceSource::FriendlyName("Canon", "HV20"), "Canon HV20");
    EXPECT_EQ(FireWireDeviceSource::FriendlyName("", "HV20"), "HV20");
    EXPECT_EQ(FireWireDeviceSource::FriendlyName("Canon", ""), "Canon");
    EXPECT_EQ(FireWireDeviceSource::FriendlyName("", ""), "FireWire camcorder");
}

}  // namespace
}  // namespace vornak
