#include "CVornakCapture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <string>

namespace vornak {
namespace {

using Page = CVornakCapture;

// Every key with a value that differs from its default.
const SettingsMap kChanged{
    {"capture_add_timestamp", "0"},
    {"capture_datetime_format", "_%D.%M.%Y"},
    {"capture_file_name", "Holiday"},
    {"capture_frame_size", "3"},
    {"capture_mid_scenes", "0"},
    {"capture_output_dir", "/home/me/Video Tapes"},
    {"capture_preview", "1"},
    {"capture_preview_x", "-20"},
    {"capture_preview_y", "640"},
    {"capture_scene_split", "0"},
    {"capture_stop", "1"},
    {"capture_sync_audio", "0"},
};

// What a page that found no keys writes.
const SettingsMap kDefaults{
    {"capture_add_timestamp", "1"}, {"capture_datetime_format", "-%Y_%M_%D-%h_%m_%s"},
    {"capture_file_name", ""},      {"capture_frame_size", "2"},
    {"capture_mid_scenes", "1"},    {"capture_output_dir", ""},
    {"capture_preview", "0"},       {"capture_preview_x", "0"},
    {"capture_preview_y", "0"},     {"capture_scene_split", "1"},
    {"capture_stop", "0"},          {"capture_sync_audio", "1"},
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
    for (int id = 1021; id <= 1026; ++id) {
        ASSERT_NE(Find<QPushButton>(page, id), nullptr);
        EXPECT_TRUE(Find<QPushButton>(page, id)->text().isEmpty());
        EXPECT_FALSE(Find<QPushButton>(page, id)->icon().isNull()) << id;
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
    for (int id : {1003, 1006, 1007, 1010, 1012, 1021, 1022, 1023, 1024, 1025, 1026, 1028, 1029,
                   1031, 1034, 1035, 1040, 1043}) {
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
    EXPECT_EQ(Find<QComboBox>(page, 1035)->currentText(), "1/64");
    EXPECT_EQ(Find<QLineEdit>(page, 1012)->text(), "/home/me/Video Tapes");
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

TEST(CVornakCapture, PreviewPositionNeedsBothKeys) {
    SettingsMap written = LoadAndSave(SettingsMap{{"capture_preview_x", "300"}});
    EXPECT_EQ(written["capture_preview_x"], "0");
    EXPECT_EQ(written["capture_preview_y"], "0");
}

TEST(CVornakCapture, WithoutSettingsNothingIsReadOrWritten) {
    Page page;
    page.LoadPageSettings();
    page.SavePageSettings();
    EXPECT_EQ(Find<QLineEdit>(page, 1031)->text(), "-%Y_%M_%D-%h_%m_%s");
}

}  // namespace
}  // namespace vornak
