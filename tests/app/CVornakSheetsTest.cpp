#include "CVornakSheets.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "CVornakApp.h"
#include "CVornakCapture.h"
#include "CVornakScenes.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

// Every test runs in a fresh working folder, where the window keeps "./vornak.ini".
class CVornakSheetsTest : public ::testing::Test {
  protected:
    CVornakSheetsTest() : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(m_dir.Path());
    }
    ~CVornakSheetsTest() override { std::filesystem::current_path(m_previous); }

    void WriteSettings(const std::string& text) {
        WriteAll(m_dir.File("vornak.ini"), std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    std::string ReadSettings() {
        std::vector<std::uint8_t> bytes = ReadAll(m_dir.File("vornak.ini"));
        return std::string(bytes.begin(), bytes.end());
    }
    bool SettingsExist() const { return std::filesystem::exists(m_dir.File("vornak.ini")); }

    // The window sits in the middle of the screen, give or take its frame, which the window
    // system adds only once the window is shown.
    static void ExpectCentred(const CVornakSheets& sheet) {
        constexpr int kFrameAllowance = 8;
        const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
        const QPoint windowMiddle = sheet.frameGeometry().center();
        EXPECT_LE(std::abs(windowMiddle.x() - middle.x()), kFrameAllowance);
        EXPECT_LE(std::abs(windowMiddle.y() - middle.y()), kFrameAllowance);
    }

    // Starts the program, lets `during` act on the window, then ends the program.
    void Run(const std::function<void(CVornakSheets&)>& during) {
        CVornakApp app;
        ASSERT_TRUE(app.InitInstance());
        CVornakSheets& sheet = *app.Sheet();
        during(sheet);
        sheet.close();
        app.ExitInstance(0);
    }

    TempDir m_dir;
    std::filesystem::path m_previous;
};

TEST_F(CVornakSheetsTest, WindowHasItsCaptionAndBothPagesInOrder) {
    Run([](CVornakSheets& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "Vornak 0.77 Beta");
        EXPECT_TRUE(sheet.isVisible());
        ASSERT_EQ(sheet.Tabs()->count(), 2);
        EXPECT_EQ(sheet.Tabs()->tabText(0), "Capturing");
        EXPECT_EQ(sheet.Tabs()->tabText(1), "Scenes splitting");
        EXPECT_EQ(sheet.Tabs()->currentIndex(), 0);
        EXPECT_EQ(sheet.Tabs()->widget(0), sheet.CapturePage());
        EXPECT_EQ(sheet.Tabs()->widget(1), sheet.ScenesPage());
    });
}

TEST_F(CVornakSheetsTest, FirstStartIsCentredAndWritesThePosition) {
    ASSERT_FALSE(SettingsExist());
    QPoint centred;
    Run([&centred](CVornakSheets& sheet) {
        ExpectCentred(sheet);
        centred = sheet.pos();
    });
    const std::string text = ReadSettings();
    EXPECT_NE(text.find("\r\npos_x=" + std::to_string(centred.x()) +
                        "\r\npos_y=" + std::to_string(centred.y()) + "\r\n"),
              std::string::npos)
        << text;
    // The capture page was shown, so its keys come first.
    EXPECT_EQ(text.rfind("capture_", 0), 0u) << text;
}

TEST_F(CVornakSheetsTest, MovedWindowStartsAgainWhereItWasLeft) {
    Run([](CVornakSheets& sheet) { sheet.move(123, 77); });
    EXPECT_NE(ReadSettings().find("pos_x=123\r\npos_y=77\r\n"), std::string::npos);

    Run([](CVornakSheets& sheet) {
        EXPECT_EQ(sheet.pos(), QPoint(123, 77));
        sheet.move(-40, 5000);  // off the screen is kept as it is
    });
    Run([](CVornakSheets& sheet) { EXPECT_EQ(sheet.pos(), QPoint(-40, 5000)); });
}

TEST_F(CVornakSheetsTest, PosYWithoutPosXStaysCentred) {
    WriteSettings("pos_y=300\r\n");
    QPoint centred;
    Run([&centred](CVornakSheets& sheet) {
        ExpectCentred(sheet);
        centred = sheet.pos();
    });
    EXPECT_NE(ReadSettings().find("pos_y=" + std::to_string(centred.y()) + "\r\n"),
              std::string::npos);
}

TEST_F(CVornakSheetsTest, PosXWithoutPosYIsWrittenBackWithTheCentredY) {
    WriteSettings("pos_x=5\r\n");
    QPoint centred;
    Run([&centred](CVornakSheets& sheet) {
        ExpectCentred(sheet);
        centred = sheet.pos();
    });
    EXPECT_NE(ReadSettings().find("pos_x=5\r\npos_y=" + std::to_string(centred.y()) + "\r\n"),
              std::string::npos)
        << ReadSettings();
}

TEST_F(CVornakSheetsTest, SpacedKeyDoesNotPlaceTheWindowAndIsKept) {
    WriteSettings("pos_x = 100\r\npos_y=100\r\n");
    Run([](CVornakSheets& sheet) { ExpectCentred(sheet); });
    EXPECT_NE(ReadSettings().find("pos_x = 100\r\n"), std::string::npos);
}

TEST_F(CVornakSheetsTest, UnopenedPageAndUnknownKeysAreWrittenBackUnchanged) {
    WriteSettings(
        "scenesplit_add_timestamp=2\r\nscenesplit_file_name=Holiday\r\nzz_unknown=a=b\r\n");
    Run([](CVornakSheets&) {});
    const std::string text = ReadSettings();
    EXPECT_NE(text.find("\r\nscenesplit_add_timestamp=2\r\nscenesplit_file_name=Holiday\r\n"
                        "zz_unknown=a=b\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("scenesplit_sync_audio"), std::string::npos) << text;
}

TEST_F(CVornakSheetsTest, OpenedPageWritesItsKeys) {
    Run([](CVornakSheets& sheet) { sheet.Tabs()->setCurrentIndex(1); });
    EXPECT_NE(ReadSettings().find("scenesplit_sync_audio="), std::string::npos);
}

TEST_F(CVornakSheetsTest, BothExitButtonsAndCloseEndTheProgramAndSave) {
    const std::function<void(CVornakSheets&)> enders[] = {
        [](CVornakSheets& sheet) {
            qobject_cast<QPushButton*>(sheet.CapturePage()->control(CPageWithLog::kIdExit))
                ->click();
        },
        [](CVornakSheets& sheet) {
            sheet.Tabs()->setCurrentIndex(1);
            qobject_cast<QPushButton*>(sheet.ScenesPage()->control(CPageWithLog::kIdExit))->click();
        },
        [](CVornakSheets& sheet) { sheet.close(); },
    };
    int round = 0;
    for (const auto& end : enders) {
        std::filesystem::remove(m_dir.File("vornak.ini"));
        CVornakApp app;
        ASSERT_TRUE(app.InitInstance());
        int closed = 0;
        QObject::connect(app.Sheet(), &CVornakSheets::windowClosed, [&closed] { ++closed; });
        app.Sheet()->move(10 + round, 20);
        end(*app.Sheet());
        EXPECT_EQ(closed, 1) << "round " << round;
        EXPECT_FALSE(app.Sheet()->isVisible()) << "round " << round;
        EXPECT_EQ(app.ExitInstance(3), 3);
        EXPECT_EQ(app.Sheet(), nullptr);
        EXPECT_NE(ReadSettings().find("pos_x=" + std::to_string(10 + round) + "\r\n"),
                  std::string::npos)
            << "round " << round;
        ++round;
    }
}

TEST_F(CVornakSheetsTest, AboutItemShowsTheAboutBoxModally) {
    Run([](CVornakSheets& sheet) {
        QAction* about = sheet.AboutAction();
        EXPECT_EQ(about->text(), "&About Vornak...");
        // The tab bar's context menu offers the item.
        EXPECT_TRUE(sheet.Tabs()->tabBar()->actions().contains(about));

        QString title;
        QStringList texts;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            modal = box->isModal();
            for (QLabel* label : box->findChildren<QLabel*>()) {
                texts << label->text();
            }
            box->findChild<QPushButton*>("1")->click();
        });
        const QPoint before = sheet.pos();
        about->trigger();
        EXPECT_EQ(title, "About Vornak");
        EXPECT_TRUE(modal);
        EXPECT_TRUE(texts.contains("Vornak Version 1.0"));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(sheet.pos(), before);
        EXPECT_TRUE(sheet.isVisible());
    });
}

}  // namespace
}  // namespace vornak
