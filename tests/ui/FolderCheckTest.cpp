#include "FolderCheck.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "PathCheck.h"
#include "RecordingMessages.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::RecordingMessages;
using test::TempDir;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString InvalidText(const QString& path) {
    return "The folder:\n\n" + path + "\n\nis invalid. Please reenter.";
}

TEST(FolderCheck, ExistingFolderOrFilePassesSilently) {
    RecordingMessages boxes;
    TempDir dir;
    std::ofstream(dir.File("tape.m2t")) << "x";
    EXPECT_EQ(CheckFolder(Q(dir.Path()), nullptr), kFolderReady);
    EXPECT_EQ(CheckFolder(Q(dir.File("tape.m2t")), nullptr), kFolderReady);
    EXPECT_EQ(CheckFolder("/", nullptr), kFolderReady);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(FolderCheck, InvalidPathWarnsWithoutAsking) {
    RecordingMessages boxes;
    for (const QString& path : {QString("Video/Tape1"), QString("/Video/"), QString("/Vid?eo"),
                                QString("/Video."), QString("")}) {
        boxes.boxes.clear();
        EXPECT_EQ(CheckFolder(path, nullptr), kFolderInvalid) << path.toStdString();
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].kind, RecordingMessages::Kind::kWarning);
        EXPECT_EQ(boxes.boxes[0].text, InvalidText(path));
    }
}

TEST(FolderCheck, MissingFolderIsCreatedOnlyWhenWanted) {
    RecordingMessages boxes;
    TempDir dir;
    const QString path = Q(dir.File("Video/2006/Tape1"));

    boxes.answers = {false};
    EXPECT_EQ(CheckFolder(path, nullptr), kFolderDeclined);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessages::Kind::kQuestion);
    EXPECT_EQ(boxes.boxes[0].text, "The folder:\n\n" + path +
                                       "\n\ndoes not exist. Do you want the folder to be created?");
    EXPECT_FALSE(PathExists(dir.File("Video")));

    boxes.boxes.clear();
    boxes.answers = {true};
    EXPECT_EQ(CheckFolder(path, nullptr), kFolderReady);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(PathExists(dir.File("Video/2006/Tape1")));
}

TEST(FolderCheck, LevelThatCannotBeCreatedIsReported) {
    RecordingMessages boxes;
    TempDir dir;
    std::ofstream(dir.File("plain")) << "x";
    const QString path = Q(dir.File("plain/sub"));
    boxes.answers = {true};

    EXPECT_EQ(CheckFolder(path, nullptr), kFolderNotCreated);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].kind, RecordingMessages::Kind::kWarning);
    EXPECT_EQ(boxes.boxes[1].text,
              "The folder:\n\n" + path + "\n\ncan not be created. Please double check.");
}

}  // namespace
}  // namespace vornak
