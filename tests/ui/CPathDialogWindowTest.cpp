#include "CPathDialogWindow.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>

#include "CPathDialog.h"
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

TEST(CPathDialogWindow, OpensOnTheGivenFolder) {
    TempDir dir;
    CPathDialogWindow window(QString(), QString(), Q(dir.Path()), nullptr);
    EXPECT_EQ(window.PathEdit()->objectName(), "14148");
    EXPECT_EQ(window.PathEdit()->text(), Q(dir.Path()));
    EXPECT_EQ(window.Path(), Q(dir.Path()));
    EXPECT_TRUE(window.OkButton()->isEnabled());
    EXPECT_EQ(window.windowTitle(), "Browse For Folder");
}

TEST(CPathDialogWindow, NullPathStartsAtCurrentFolderEmptyPathSelectsNothing) {
    CPathDialogWindow current(QString(), QString(), QString(), nullptr);
    EXPECT_EQ(current.PathEdit()->text(), QDir::currentPath());

    CPathDialogWindow none(QStringLiteral("Pick"), QString(), QLatin1String(""), nullptr);
    EXPECT_TRUE(none.PathEdit()->text().isEmpty());
    EXPECT_FALSE(none.OkButton()->isEnabled());
    EXPECT_EQ(none.windowTitle(), "Pick");
}

TEST(CPathDialogWindow, OkFollowsTheEditBox) {
    TempDir dir;
    CPathDialogWindow window(QString(), QString(), Q(dir.Path()), nullptr);
    window.PathEdit()->clear();
    EXPECT_FALSE(window.OkButton()->isEnabled());
    window.PathEdit()->setText("/");
    EXPECT_TRUE(window.OkButton()->isEnabled());
}

TEST(CPathDialogWindow, SelectingAFolderFillsTheEditBox) {
    TempDir dir;
    ASSERT_EQ(WalkPath(dir.File("sub"), true), kPathValid);
    CPathDialogWindow window(QString(), QString(), Q(dir.Path()), nullptr);
    window.SelectFolder(Q(dir.File("sub")));
    EXPECT_EQ(window.PathEdit()->text(), Q(dir.File("sub")));
}

TEST(CPathDialogWindow, OkClosesOnlyWhenTheCheckPasses) {
    RecordingMessages boxes;
    TempDir dir;
    CPathDialogWindow window(QString(), QString(), Q(dir.Path()), nullptr);

    window.PathEdit()->setText(Q(dir.File("bad?")));
    window.OkButton()->click();
    EXPECT_FALSE(window.Confirmed());
    EXPECT_NE(window.result(), QDialog::Accepted);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessages::Kind::kWarning);

    // Declining the creation keeps the window open too.
    const QString typed = Q(dir.File("Video/Tape1"));
    window.PathEdit()->setText(typed);
    boxes.answers = {false};
    window.OkButton()->click();
    EXPECT_FALSE(window.Confirmed());

    boxes.answers = {true};
    window.OkButton()->click();
    EXPECT_TRUE(window.Confirmed());
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.Path(), typed);
    EXPECT_TRUE(PathExists(dir.File("Video/Tape1")));
}

}  // namespace
}  // namespace vornak
