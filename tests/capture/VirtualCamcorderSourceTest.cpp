// The virtual camcorder as a device: set up from the environment (nothing when unset, one
// clear line for each bad setting), listed in the video input category with its texts, bound
// to a filter set up as asked, and gone from the list once lost until plugged in again.
#include "VirtualCamcorderSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "ComPtr.h"
#include "DeviceControl.h"
#include "Guids.h"
#include "TestSupport.h"
#include "TsPacket.h"
#include "VirtualCamcorderFilter.h"

namespace vornak {
namespace {

using namespace std::chrono_literals;

constexpr auto kSafetyLimit = 30s;
constexpr std::size_t kTapePackets = 40;

class VirtualCamcorderSourceTest : public ::testing::Test {
  protected:
    VirtualCamcorderSourceTest() {
        test::WriteAll(m_dir.File("tape.m2t"), std::vector<std::uint8_t>(kTapePackets * PKT_SIZE));
        m_env["VORNAK_VIRTUAL_CAMCORDER"] = m_dir.File("tape.m2t");
    }

    std::shared_ptr<VirtualCamcorderSource> FromEnvironment() {
        m_errors.str({});
        return VirtualCamcorderSource::FromEnvironment(m_errors, [this](const char* name) {
            const auto found = m_env.find(name);
            return found == m_env.end() ? nullptr : found->second.c_str();
        });
    }
    // Null, with exactly one line that holds every piece of `expected`.
    void ExpectRefused(std::initializer_list<std::string> expected) {
        EXPECT_EQ(FromEnvironment(), nullptr);
        const std::string message = m_errors.str();
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        for (const std::string& piece : expected) {
            EXPECT_NE(message.find(piece), std::string::npos) << message << " lacks " << piece;
        }
    }
    static ComPtr<VirtualCamcorderFilter> Bind(const DeviceDescription& device) {
        IBaseFilter* raw = nullptr;
        EXPECT_EQ(device.bind(&raw), S_OK);
        auto filter = ComPtr<IBaseFilter>::Attach(raw);
        return ComPtr<VirtualCamcorderFilter>(static_cast<VirtualCamcorderFilter*>(raw));
    }

    test::TempDir m_dir;
    std::map<std::string, std::string> m_env;
    std::ostringstream m_errors;
};

TEST_F(VirtualCamcorderSourceTest, UnsetOrEmptyMeansNoCamcorderSilently) {
    m_env.clear();
    EXPECT_EQ(FromEnvironment(), nullptr);
    m_env["VORNAK_VIRTUAL_CAMCORDER"] = "";
    m_env["VORNAK_VIRTUAL_SPEED"] = "fast";  // not looked at without a tape
    EXPECT_EQ(FromEnvironment(), nullptr);
    EXPECT_EQ(m_errors.str(), "");
}

TEST_F(VirtualCamcorderSourceTest, EachBadValueIsRefusedWithOneLineNamingIt) {
    const std::map<std::string, std::vector<std::string>> bad = {
        {"VORNAK_VIRTUAL_SPEED",
         {"fast", "-1", "1.5x", " 2", "nan", "inf", "1,5", "1e-300", "0.009"}},
        {"VORNAK_VIRTUAL_MODE", {"tape", "VCR", "camera "}},
        {"VORNAK_VIRTUAL_LOSE_AFTER", {"0", "-3", "soon", "1e999"}},
        {"VORNAK_VIRTUAL_DV_AT", {"soon", "-1", "3,", ",3", "1,,2", "2, 4", "1;2", "inf"}},
    };
    for (const auto& [name, values] : bad) {
        for (const std::string& value : values) {
            SCOPED_TRACE(name + "=" + value);
            m_env[name] = value;
            ExpectRefused({name, "\"" + value + "\""});
            m_env.erase(name);
        }
    }
    m_env["VORNAK_VIRTUAL_SPEED"] = "0.01";  // the slowest speed taken
    EXPECT_NE(FromEnvironment(), nullptr);   // and without them the same setup is fine
}

TEST_F(VirtualCamcorderSourceTest, AnUnreadableTapeIsNamedWithTheSystemsReason) {
    m_env["VORNAK_VIRTUAL_CAMCORDER"] = m_dir.File("missing.m2t");
    ExpectRefused({m_dir.File("missing.m2t"), "No such file or directory"});
    m_env["VORNAK_VIRTUAL_CAMCORDER"] = m_dir.Path();
    ExpectRefused({m_dir.Path(), "Is a directory"});
}

// Files separated by commas make one tape; a bad one is named on its own, and a name that
// holds a comma is a file when it names one.
TEST_F(VirtualCamcorderSourceTest, ATapeOfSeveralFilesNamesTheOneThatCannotBeRead) {
    const std::string tape = m_dir.File("tape.m2t");
    const std::string comma = m_dir.File("take 1,2.m2t");
    test::WriteAll(comma, std::vector<std::uint8_t>(3 * PKT_SIZE));
    const struct {
        std::string value;
        std::size_t parts;  // 0: refused
        std::string bad;    // the file the refusal names
    } cases[] = {
        {tape + "," + tape + "," + tape, 3, ""},
        {comma, 1, ""},
        {tape + "," + m_dir.File("gone.dv"), 0, m_dir.File("gone.dv")},
        {tape + ",," + tape, 0, "\"\""},
        {tape + "," + m_dir.Path(), 0, m_dir.Path() + "\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        m_env["VORNAK_VIRTUAL_CAMCORDER"] = c.value;
        if (c.parts == 0) {
            ExpectRefused({"cannot read the tape \"", c.bad});
            continue;
        }
        const auto source = FromEnvironment();
        ASSERT_NE(source, nullptr) << m_errors.str();
        const auto camcorder = Bind(source->ListDevices(CLSID_VideoInputDeviceCategory).at(0));
        EXPECT_EQ(camcorder->Tape().PartCount(), c.parts);
    }
}

TEST_F(VirtualCamcorderSourceTest, ListsOneCamcorderWithItsTextsAndBindsItAsSet) {
    m_env["VORNAK_VIRTUAL_SPEED"] = "2.5";
    m_env["VORNAK_VIRTUAL_MODE"] = "camera";
    m_env["VORNAK_VIRTUAL_VENDOR"] = "Acme";
    m_env["VORNAK_VIRTUAL_MODEL"] = "HV-1";
    const auto source = FromEnvironment();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(m_errors.str(), "");
    EXPECT_TRUE(source->ListDevices(CLSID_FilterGraph).empty());

    const auto devices = source->ListDevices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_TRUE(devices[0].properties.has_value());
    const auto& properties = *devices[0].properties;
    EXPECT_EQ(properties.at(kDeviceClassGuidProperty), GuidToString(CLSID_CamcorderDeviceClass));
    EXPECT_EQ(properties.at(kVendorTextProperty), "Acme");
    EXPECT_EQ(properties.at(kModelTextProperty), "HV-1");
    EXPECT_EQ(properties.at(kFriendlyNameProperty), "Acme HV-1");

    const auto camcorder = Bind(devices[0]);
    ASSERT_TRUE(camcorder);
    EXPECT_EQ(camcorder->Tape().PacketCount(), kTapePackets);
    EXPECT_EQ(camcorder->Speed(), 2.5);
    LONG type = 0;
    ASSERT_EQ(camcorder->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr), S_OK);
    EXPECT_EQ(type, ED_DEVTYPE_CAMERA);
}

TEST_F(VirtualCamcorderSourceTest, DefaultsMakeAVcrAtTheTapesRate) {
    const auto source = FromEnvironment();
    ASSERT_NE(source, nullptr);
    const auto devices = source->ListDevices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].properties->at(kFriendlyNameProperty), "Vornak Virtual HDV");
    const auto camcorder = Bind(devices[0]);
    ASSERT_TRUE(camcorder);
    EXPECT_EQ(camcorder->Speed(), 1.0);
    EXPECT_FALSE(camcorder->CameraMode());
    // No loss is set: running and stopping leave the device in place.
    EXPECT_EQ(camcorder->Run(0), S_OK);
    EXPECT_EQ(camcorder->Stop(), S_OK);
    EXPECT_FALSE(camcorder->IsLost());
}

TEST_F(VirtualCamcorderSourceTest, DvStretchesAreReadAndTheCamcorderSaysDvInThem) {
    const auto signalOf = [](VirtualCamcorderFilter& camcorder) {
        LONG signal = 0;
        EXPECT_EQ(camcorder.GetCapability(VORNAK_DEVCAP_OUTPUT_SIGNAL, &signal, nullptr), S_OK);
        return signal;
    };
    auto camcorder = Bind(FromEnvironment()->ListDevices(CLSID_VideoInputDeviceCategory).at(0));
    EXPECT_EQ(signalOf(*camcorder.Get()), VORNAK_SIGNAL_HDV);

    m_env["VORNAK_VIRTUAL_DV_AT"] = "0,12.5";
    const auto source = FromEnvironment();
    ASSERT_NE(source, nullptr) << m_errors.str();
    EXPECT_EQ(source->GetSettings().dvAtSeconds, (std::vector<double>{0, 12.5}));
    camcorder = Bind(source->ListDevices(CLSID_VideoInputDeviceCategory).at(0));
    EXPECT_EQ(signalOf(*camcorder.Get()), VORNAK_SIGNAL_DV) << "the tape starts on DV";
}

TEST_F(VirtualCamcorderSourceTest, ALostCamcorderStaysAwayUntilReplugged) {
    m_env["VORNAK_VIRTUAL_LOSE_AFTER"] = "0.01";
    const auto source = FromEnvironment();
    ASSERT_NE(source, nullptr);
    auto devices = source->ListDevices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.size(), 1u);
    const auto camcorder = Bind(devices[0]);
    ASSERT_TRUE(camcorder);
    ASSERT_EQ(camcorder->Run(0), S_OK);
    const auto limit = std::chrono::steady_clock::now() + kSafetyLimit;
    while (!source->Lost() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(camcorder->IsLost());
    EXPECT_TRUE(source->Lost());
    EXPECT_TRUE(source->ListDevices(CLSID_VideoInputDeviceCategory).empty());
    EXPECT_EQ(camcorder->Stop(), S_OK);

    source->Replug();
    devices = source->ListDevices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.size(), 1u);
    const auto fresh = Bind(devices[0]);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->IsLost());
}

}  // namespace
}  // namespace vornak
