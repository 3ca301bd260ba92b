#include "CVornakCapture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include "CPreviewFrame.h"
#include "DeviceControl.h"
#include "FakeCamcorder.h"
#include "GraphInterfaces.h"

namespace vornak {
namespace {

using Page = CVornakCapture;

// Every key with a value that differs from its default.
const SettingsMap kChanged{
    {"capture_add_timestamp", "0"},
    {"capture_datetime_format", "_%D.%M.%Y"},
    {"capture_file_name", "Holiday"},
    {"capture_frame_size", "3"},
    {"capture_health_report", "1"},
    {"capture_mid_scenes", "0"},
    {"capture_output_dir", "/home/me/Video Tapes"},
    {"capture_preview", "1"},
    {"capture_preview_mute", "1"},
    {"capture_preview_volume", "40"},
    {"capture_preview_x", "20"},  // on the screen: kept
    {"capture_preview_y", "40"},
    {"capture_scene_split", "0"},
    {"capture_stop", "1"},
    {"capture_sync_audio", "0"},
};

// What a page that found no keys writes: no place for a preview that has never been shown, so
// that it opens beside the window the first time.
const SettingsMap kDefaults{
    {"capture_add_timestamp", "1"},    {"capture_datetime_format", "-%Y_%M_%D-%h_%m_%s"},
    {"capture_file_name", ""},         {"capture_frame_size", "2"},
    {"capture_health_report", "0"},    {"capture_mid_scenes", "1"},
    {"capture_output_dir", ""},        {"capture_preview", "0"},
    {"capture_scene_split", "1"},      {"capture_stop", "0"},
    {"capture_sync_audio", "1"},       {"capture_preview_mute", "0"},
    {"capture_preview_volume", "100"},
};

template <typename Widget>
Widget* Find(const Page& page, int id) {
    auto* widget = qobject_cast<Widget*>(page.control(id));
    EXPECT_NE(widget, nullptr) << "control " << id;
    return widget;
}

bool Checked(const Page& page, int id) {
    return Find<QAbstractButton>(page, id)->isChecked();
}

SettingsMap LoadAndSave(const SettingsMap& input) {
    SettingsMap map = input;
    Page page;
    page.SetSettings(&map);
    page.LoadPageSettings();
    SettingsMap written;
    page.SetSettings(&written);
    page.SavePageSettings();
    return written;
}

TEST(CVornakCapture, EveryControlHasItsIdAndText) {
    Page page;
    EXPECT_EQ(page.TemplateId(), 103);
    const std::pair<int, const char*> buttons[] = {
        {1000, "Exit"},
        {1003, "Output directory ..."},
        {1006, "Count"},
        {1007, "Date and time"},
        {1028, "Scenes split"},
        {1029, "Synchronize audio and video"},
        {1034, "Preview"},
        {1040, "Stop capture on dropped packets\\frames"},
        {1043, "Do not treat mid-scenes as dropped frames"},
        {1046, "Write a health report"},
    };
    for (const auto& [id, text] : buttons) {
        ASSERT_NE(Find<QAbstractButton>(page, id), nullptr);
        EXPECT_EQ(Find<QAbstractButton>(page, id)->text(), text) << id;
    }
    const std::pair<int, const char*> labels[] = {
        {1018, "File name:"},
        {1020, "Connected camcorder:"},
        {1030, "Date and time format:"},
        {1036, "Frame size:"},
        {1038, "Dropped packets\\frames during capture:"},
        {1039, "0"},
        {1041, "Time elapsed:"},
    };
    for (const auto& [id, text] : labels) {
        ASSERT_NE(Find<QLabel>(page, id), nullptr);
        EXPECT_EQ(Find<QLabel>(page, id)->text(), text) << id;
    }
    EXPECT_TRUE(Find<QLabel>(page, 1039)->alignment() & Qt::AlignRight);
    // Icons without text, with a tip that says what each does.
    const char* const tips[] = {"Rewind", "Play", "Fast forward", "Pause", "Stop", "Record"};
    for (int id = 1021; id <= 1026; ++id) {
        ASSERT_NE(Find<QPushButton>(page, id), nullptr);
        EXPECT_TRUE(Find<QPushButton>(page, id)->text().isEmpty());
        EXPECT_FALSE(Find<QPushButton>(page, id)->icon().isNull()) << id;
        EXPECT_EQ(Find<QPushButton>(page, id)->toolTip(), tips[id - 1021]) << id;
    }
    for (int id : {1010, 1012, 1031}) {
        ASSERT_NE(Find<QLineEdit>(page, id), nullptr);
        EXPECT_FALSE(Find<QLineEdit>(page, id)->isReadOnly()) << id;
    }
    for (int id : {1019, 1027, 1042}) {
        ASSERT_NE(Find<QLineEdit>(page, id), nullptr);
        EXPECT_TRUE(Find<QLineEdit>(page, id)->isReadOnly()) << id;
    }
    EXPECT_TRUE(Find<QLineEdit>(page, 1027)->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(Find<QLineEdit>(page, 1042)->alignment() & Qt::AlignHCenter);
    EXPECT_NE(Find<QPlainTextEdit>(page, 1002), nullptr);

    auto* sizes = Find<QComboBox>(page, 1035);
    ASSERT_NE(sizes, nullptr);
    ASSERT_EQ(sizes->count(), 4);
    EXPECT_EQ(sizes->itemText(0), "Full frame");
    EXPECT_EQ(sizes->itemText(1), "1/4");
    EXPECT_EQ(sizes->itemText(2), "1/16");
    EXPECT_EQ(sizes->itemText(3), "1/64");
}

TEST(CVornakCapture, DefaultsWithoutKeys) {
    SettingsMap empty;
    Page page;
    page.SetSettings(&empty);
    page.LoadPageSettings();
    EXPECT_TRUE(Checked(page, 1007));
    EXPECT_FALSE(Checked(page, 1006));
    EXPECT_EQ(page.TimestampMode(), 1);
    EXPECT_TRUE(Checked(page, 1028));
    EXPECT_TRUE(Checked(page, 1029));
    EXPECT_TRUE(Checked(page, 1043));
    EXPECT_FALSE(Checked(page, 1034));
    EXPECT_FALSE(Checked(page, 1040));
    EXPECT_FALSE(Checked(page, 1046));
    EXPECT_EQ(Find<QComboBox>(page, 1035)->currentText(), "1/16");
    EXPECT_EQ(Find<QLineEdit>(page, 1031)->text(), "-%Y_%M_%D-%h_%m_%s");
    EXPECT_TRUE(Find<QLineEdit>(page, 1010)->text().isEmpty());
    EXPECT_TRUE(Find<QLineEdit>(page, 1012)->text().isEmpty());
    EXPECT_TRUE(empty.empty());
}

TEST(CVornakCapture, WithoutCamcorderOnlyExitAndLogAreEnabled) {
    SettingsMap map = kChanged;  // options that would enable controls on their own
    map["capture_add_timestamp"] = "1";
    map["capture_scene_split"] = "1";
    Page page;
    page.SetSettings(&map);
    page.LoadPageSettings();

    EXPECT_FALSE(page.CamcorderPresent());
    EXPECT_EQ(Find<QLineEdit>(page, 1019)->text(), "Camcorder is not recognized or connected");
    for (int id : {1003, 1006, 1007, 1010, 1012, 1021, 1022, 1023, 1024, 1025, 1026,
                   1028, 1029, 1031, 1034, 1035, 1040, 1043, 1044, 1045, 1046}) {
        EXPECT_FALSE(page.control(id)->isEnabled()) << "control " << id;
    }
    EXPECT_TRUE(page.control(1000)->isEnabled());
    EXPECT_TRUE(page.control(1002)->isEnabled());
}

TEST(CVornakCapture, KeysRoundTrip) {
    EXPECT_EQ(LoadAndSave(kChanged), kChanged);
    EXPECT_EQ(LoadAndSave(SettingsMap{}), kDefaults);
    EXPECT_EQ(LoadAndSave(kDefaults), kDefaults);
}

TEST(CVornakCapture, LoadedKeysReachTheControls) {
    SettingsMap map = kChanged;
    Page page;
    page.SetSettings(&map);
    page.LoadPageSettings();
    EXPECT_TRUE(Checked(page, 1006));
    EXPECT_EQ(page.TimestampMode(), 0);
    EXPECT_FALSE(Checked(page, 1028));
    EXPECT_TRUE(Checked(page, 1034));
    EXPECT_TRUE(Checked(page, 1046));
    EXPECT_EQ(Find<QComboBox>(page, 1035)->currentText(), "1/64");
    EXPECT_EQ(Find<QLineEdit>(page, 1012)->text(), "/home/me/Video Tapes");
}

TEST(CVornakCapture, PreviewVolumeIsKeptAndReachesTheSound) {
    struct Case {
        const char* volume;
        const char* mute;
        int slider;   // what the page shows and writes back
        float heard;  // what the preview's sound is given
    };
    const Case cases[] = {
        {"40", "0", 40, 0.4F},  {"0", "0", 0, 0.0F},     {"100", "0", 100, 1.0F},
        {"40", "1", 40, 0.0F},  {"101", "0", 100, 1.0F}, {"-1", "0", 100, 1.0F},
        {"4x", "0", 100, 1.0F}, {"", "0", 100, 1.0F},
    };
    for (const Case& c : cases) {
        SettingsMap map{{"capture_preview_volume", c.volume}, {"capture_preview_mute", c.mute}};
        Page page;
        page.SetSettings(&map);
        page.LoadPageSettings();
        EXPECT_EQ(Find<QSlider>(page, 1044)->value(), c.slider) << c.volume;
        EXPECT_EQ(Checked(page, 1045), std::string(c.mute) == "1") << c.volume;
        EXPECT_FLOAT_EQ(page.Session().PreviewVolume(), c.heard) << c.volume << " " << c.mute;
        SettingsMap written;
        page.SetSettings(&written);
        page.SavePageSettings();
        EXPECT_EQ(written["capture_preview_volume"], std::to_string(c.slider)) << c.volume;
        EXPECT_EQ(written["capture_preview_mute"], c.mute) << c.volume;
    }

    // The controls act at once: the mute button silences, and lets the volume back. (Disabled
    // without a camcorder: set, not clicked.)
    Page page;
    Find<QSlider>(page, 1044)->setValue(70);
    EXPECT_FLOAT_EQ(page.Session().PreviewVolume(), 0.7F);
    Find<QAbstractButton>(page, 1045)->setChecked(true);
    EXPECT_FLOAT_EQ(page.Session().PreviewVolume(), 0.0F);
    Find<QAbstractButton>(page, 1045)->setChecked(false);
    EXPECT_FLOAT_EQ(page.Session().PreviewVolume(), 0.7F);
    EXPECT_EQ(Find<QAbstractButton>(page, 1045)->text(), "Mute");
}

TEST(CVornakCapture, FrameSizeTakesOnlyZeroOneAndThree) {
    for (const char* value : {"0", "1", "3"}) {
        SettingsMap written = LoadAndSave(SettingsMap{{"capture_frame_size", value}});
        EXPECT_EQ(written["capture_frame_size"], value);
    }
    for (const char* value : {"-1", "7", "2", "3x", " 1", ""}) {
        SettingsMap written = LoadAndSave(SettingsMap{{"capture_frame_size", value}});
        EXPECT_EQ(written["capture_frame_size"], "2") << '"' << value << '"';
    }
}

TEST(CVornakCapture, UnknownNamingValueChecksNeitherButtonAndUsesDateTime) {
    SettingsMap map{{"capture_add_timestamp", "2"}};
    Page page;
    page.SetSettings(&map);
    page.LoadPageSettings();
    EXPECT_FALSE(Checked(page, 1006));
    EXPECT_FALSE(Checked(page, 1007));
    EXPECT_EQ(page.TimestampMode(), 1);
    page.SavePageSettings();
    EXPECT_EQ(map["capture_add_timestamp"], "1");
}

TEST(CVornakCapture, YesNoKeysNeedExactlyOneOrZero) {
    // Anything but "1" unchecks; "0" is not needed for that.
    SettingsMap written = LoadAndSave(SettingsMap{
        {"capture_sync_audio", "yes"}, {"capture_stop", "01"}, {"capture_preview", "1"}});
    EXPECT_EQ(written["capture_sync_audio"], "0");
    EXPECT_EQ(written["capture_stop"], "0");
    EXPECT_EQ(written["capture_preview"], "1");
}

TEST(CVornakCapture, PreviewPositionNeedsBothKeysOnAScreen) {
    SettingsMap written = LoadAndSave(SettingsMap{{"capture_preview_x", "300"}});
    EXPECT_EQ(written.count("capture_preview_x"), 0u);
    EXPECT_EQ(written.count("capture_preview_y"), 0u);

    // A place on no screen is not taken (nor written back as the preview's own).
    SettingsMap map{{"capture_preview_x", "-5000"}, {"capture_preview_y", "-5000"}};
    Page page;
    page.SetSettings(&map);
    page.LoadPageSettings();
    EXPECT_NE(page.PreviewFrame()->X(), -5000);
    SettingsMap written2;
    page.SetSettings(&written2);
    page.SavePageSettings();
    EXPECT_EQ(written2.count("capture_preview_x"), 0u);

    SettingsMap onScreen{{"capture_preview_x", "30"}, {"capture_preview_y", "50"}};
    Page placed;
    placed.SetSettings(&onScreen);
    placed.LoadPageSettings();
    EXPECT_EQ(placed.PreviewFrame()->pos(), QPoint(30, 50));
}

TEST(CVornakCapture, PreviewOpensBesideTheWindowOnItsScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize preview(482, 272);
    struct Case {
        QRect window;
        QPoint expected;
    };
    const Case cases[] = {
        {QRect(100, 50, 627, 713), QPoint(735, 50)},      // to the right
        {QRect(1200, 50, 627, 713), QPoint(710, 50)},     // no room right: to the left
        {QRect(400, 900, 1200, 150), QPoint(1438, 808)},  // no room either side: the right edge,
                                                          // lifted onto the screen
        {QRect(100, -30, 627, 713), QPoint(735, 0)},      // the top kept on the screen
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Page::PreviewPlace(c.window, preview, screen), c.expected)
            << c.window.x() << "," << c.window.y();
    }
    // A second screen to the right of the first.
    EXPECT_EQ(Page::PreviewPlace(QRect(2000, 100, 627, 713), preview, QRect(1920, 0, 1920, 1080)),
              QPoint(2635, 100));
}

TEST(CVornakCapture, WithoutSettingsNothingIsReadOrWritten) {
    Page page;
    page.LoadPageSettings();
    page.SavePageSettings();
    EXPECT_EQ(Find<QLineEdit>(page, 1031)->text(), "-%Y_%M_%D-%h_%m_%s");
}

}  // namespace
}  // namespace vornak

namespace vornak {
namespace {

using test::FakeCamcorder;
using test::FakeDevice;
using test::FakeDeviceSource;

// A page with one fake camcorder on the device list, as far as its first detection.
class CVornakCaptureCamcorder : public ::testing::Test {
  protected:
    CVornakCaptureCamcorder()
        : m_source(std::make_shared<FakeDeviceSource>(std::vector<FakeDevice>{
              {test::CamcorderClassText(), "Sony", "HDR-FX1", true, false, {}}})),
          m_sources({m_source}) {
        m_page.SetSettings(&m_settings);
        m_page.LoadPageSettings();
        m_page.OnSetActive();
    }
    // Runs timer ticks as the page's timer would.
    void Ticks(int count) {
        for (int i = 0; i < count; ++i) {
            m_page.OnTimer();
        }
    }
    FakeCamcorder* Camcorder() const {
        const auto bound = m_source->Bound();
        return bound.empty() ? nullptr : bound.back();
    }
    QString Text(int id) const { return Find<QLineEdit>(m_page, id)->text(); }
    bool Enabled(int id) const { return m_page.control(id)->isEnabled(); }
    bool TransportEnabled() const {
        bool all = true;
        bool none = true;
        for (int id = 1021; id <= 1024; ++id) {
            all = all && Enabled(id);
            none = none && !Enabled(id);
        }
        EXPECT_TRUE(all || none) << "buttons 1021 to 1024 go together";
        return all;
    }

    SettingsMap m_settings;
    std::shared_ptr<FakeDeviceSource> m_source;
    test::ScopedDeviceSources m_sources;
    Page m_page;
};

TEST_F(CVornakCaptureCamcorder, DetectsTheCamcorderAtTheFirstTickAndEnablesItsControls) {
    EXPECT_EQ(Text(1019), "Camcorder is not recognized or connected");
    Ticks(1);
    ASSERT_TRUE(m_page.CamcorderPresent());
    EXPECT_EQ(Text(1019), "Sony HDR-FX1 camcorder detected");
    EXPECT_TRUE(TransportEnabled());
    for (int id : {1003, 1010, 1012, 1025, 1026, 1028, 1040}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }
    EXPECT_FALSE(Enabled(1034)) << "no preview branch yet";
}

// The date and time pattern names scene files: it is editable only when scenes are split and
// named by date and time, also after the page's next refresh.
TEST_F(CVornakCaptureCamcorder, DateFormatBoxIsEditableOnlyForScenesNamedByDate) {
    Ticks(1);
    ASSERT_TRUE(m_page.CamcorderPresent());
    struct Case {
        bool split;
        int naming;  // the radio button clicked: 1006 count, 1007 date and time
        bool editable;
    };
    const Case cases[] = {
        {true, 1007, true}, {false, 1007, false}, {true, 1006, false}, {false, 1006, false}};
    for (const Case& c : cases) {
        // The naming buttons answer only while scenes are split.
        auto* split = Find<QCheckBox>(m_page, 1028);
        if (!split->isChecked()) {
            split->click();
        }
        Find<QRadioButton>(m_page, c.naming)->click();
        if (!c.split) {
            split->click();
        }
        EXPECT_EQ(Enabled(1031), c.editable) << c.split << " " << c.naming;
        m_page.UpdateControls();
        EXPECT_EQ(Enabled(1031), c.editable) << c.split << " " << c.naming << " refreshed";
    }
}

TEST_F(CVornakCaptureCamcorder, TransportButtonsFollowTheModeSwitchWithinOneCheck) {
    Ticks(1);
    FakeCamcorder* camcorder = Camcorder();
    ASSERT_NE(camcorder, nullptr);
    camcorder->deviceType = ED_DEVTYPE_CAMERA;
    Ticks(4);  // ticks 1 to 4: the check of tick 4 sees it
    EXPECT_FALSE(TransportEnabled());
    EXPECT_TRUE(Enabled(1025));
    EXPECT_TRUE(Enabled(1026));
    camcorder->deviceType = ED_DEVTYPE_VCR;
    Ticks(4);
    EXPECT_TRUE(TransportEnabled());
}

TEST_F(CVornakCaptureCamcorder, ButtonsSendTheirModesAndTheTimecodeCounts) {
    Ticks(1);
    FakeCamcorder* camcorder = Camcorder();
    ASSERT_NE(camcorder, nullptr);
    for (int id : {1022, 1024, 1021, 1023, 1025}) {
        Find<QPushButton>(m_page, id)->click();
    }
    // Paused when rewind and fast forward were pressed: they wind.
    EXPECT_EQ(camcorder->SentModes(), (std::vector<LONG>{4296, 4298, 4301, 4300, 4297}));
    camcorder->timecode = PackTimecode(0, 12, 34, 5);
    Ticks(1);
    EXPECT_EQ(Text(1027), "0:12:34:05");
}

TEST_F(CVornakCaptureCamcorder, LossReturnsThePageToNoCamcorder) {
    Ticks(1);
    FakeCamcorder* camcorder = Camcorder();
    ASSERT_NE(camcorder, nullptr);
    m_source->SetDevices({});
    // Posted from another thread, as a device's own thread would.
    std::thread([camcorder] { camcorder->NotifyEvent(EC_DEVICE_LOST, 0, 0); }).join();
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_page.CamcorderPresent());
    EXPECT_FALSE(m_page.Session().GraphBuilt());
    EXPECT_EQ(Text(1019), "Camcorder is not recognized or connected");
    for (int id = 1021; id <= 1026; ++id) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    Ticks(1);
    EXPECT_EQ(Text(1027), "-:--:--:--");
}

TEST_F(CVornakCaptureCamcorder, LeavingThePageWhileIdleLetsGoOfTheCamcorder) {
    Ticks(1);
    ASSERT_TRUE(m_page.Session().GraphBuilt());
    m_page.OnKillActive();
    EXPECT_FALSE(m_page.Session().GraphBuilt());
    EXPECT_FALSE(m_page.TimerRunning());
    m_page.OnSetActive();
    EXPECT_EQ(Text(1019), "Camcorder is not recognized or connected");
    EXPECT_TRUE(m_page.TimerRunning());
    Ticks(1);
    EXPECT_TRUE(m_page.CamcorderPresent());
}

TEST_F(CVornakCaptureCamcorder, ClosingWhileIdleStopsTheTape) {
    Ticks(1);
    FakeCamcorder* camcorder = Camcorder();
    ASSERT_NE(camcorder, nullptr);
    m_page.Shutdown();
    EXPECT_EQ(camcorder->SentModes(), std::vector<LONG>{ED_MODE_STOP});
    EXPECT_FALSE(m_page.Session().GraphBuilt());
}

}  // namespace
}  // namespace vornak
