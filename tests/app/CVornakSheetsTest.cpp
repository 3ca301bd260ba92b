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

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "CVornakApp.h"
#include "CVornakCapture.h"
#include "CVornakScenes.h"
#include "CaptureSession.h"
#include "FakeCamcorder.h"
#include "RecordingMessages.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "VirtualCamcorderSource.h"

namespace vornak {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;
using namespace std::chrono_literals;

// Lets the event loop run until `done` holds; false after a generous limit.
bool EventsUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// A small tape of three scenes, written to `path`.
void WriteTape(const std::string& path) {
    tape::TapeOptions options;
    options.pictureBytes = 6000;
    tape::TapeWriter writer(options);
    for (int hour : {10, 12, 14}) {
        tape::SceneSpec scene;
        scene.start.hour = hour;
        scene.gops = 4;
        writer.AddScene(scene);
    }
    ASSERT_TRUE(writer.WriteFile(path));
}

// Every test runs in a fresh working folder with a configuration folder of its own. Settings a
// test writes go into the working folder's "vornak.ini", which the window then keeps using; a
// test that writes none finds the window's file in the configuration folder.
class CVornakSheetsTest : public ::testing::Test {
  protected:
    CVornakSheetsTest()
        : m_work(m_dir.Path()), m_xdg("XDG_CONFIG_HOME", m_dir.File("config").c_str()) {}

    void WriteSettings(const std::string& text) {
        WriteAll(m_dir.File("vornak.ini"), std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    std::string SettingsPath() const {
        return std::filesystem::exists(m_dir.File("vornak.ini"))
                   ? m_dir.File("vornak.ini")
                   : m_dir.File("config/vornak/vornak.ini");
    }
    std::string ReadSettings() {
        std::vector<std::uint8_t> bytes = ReadAll(SettingsPath());
        return std::string(bytes.begin(), bytes.end());
    }
    bool SettingsExist() const { return std::filesystem::exists(SettingsPath()); }
    void RemoveSettings() {
        std::filesystem::remove(m_dir.File("vornak.ini"));
        std::filesystem::remove(m_dir.File("config/vornak/vornak.ini"));
    }

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
    test::ScopedWorkingDir m_work;
    test::ScopedEnvironment m_xdg;
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
    // Not in the working folder: in the configuration folder.
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("vornak.ini")));
    ASSERT_TRUE(std::filesystem::exists(m_dir.File("config/vornak/vornak.ini")));
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
    // The window's size keys sort between the two.
    EXPECT_NE(text.find("\r\nscenesplit_add_timestamp=2\r\nscenesplit_file_name=Holiday\r\n"
                        "size_h="),
              std::string::npos)
        << text;
    EXPECT_EQ(text.rfind("\r\nzz_unknown=a=b\r\n"), text.size() - 18) << text;
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
        RemoveSettings();
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
        // The version of the title and of --version.
        EXPECT_TRUE(texts.contains("Vornak Version 0.77")) << texts.join('|').toStdString();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(sheet.pos(), before);
        EXPECT_TRUE(sheet.isVisible());
    });
}

TEST_F(CVornakSheetsTest, SizeIsKeptWithThePositionAndAnOldFileOpensAtTheUsualSize) {
    // A file of an earlier version: a position, no size.
    WriteSettings("pos_x=10\r\npos_y=20\r\n");
    QSize usual;
    int logHeight = 0;
    int listHeight = 0;
    auto heights = [](CVornakSheets& sheet, int& log, int& list) {
        QCoreApplication::processEvents();
        log = sheet.CapturePage()->control(CPageWithLog::kIdLogBox)->height();
        list = sheet.ScenesPage()->control(CVornakScenes::kIdFileList)->height();
    };
    Run([&](CVornakSheets& sheet) {
        usual = sheet.sizeHint();
        EXPECT_EQ(sheet.size(), usual);
        heights(sheet, logHeight, listHeight);
        sheet.resize(usual.width() + 200, usual.height() + 150);
    });
    const int w = usual.width() + 200;
    const int h = usual.height() + 150;
    EXPECT_NE(ReadSettings().find("pos_x=10\r\npos_y=20\r\n"), std::string::npos) << ReadSettings();
    EXPECT_NE(ReadSettings().find("size_h=" + std::to_string(h) +
                                  "\r\nsize_w=" + std::to_string(w) + "\r\n"),
              std::string::npos)
        << ReadSettings();

    Run([&](CVornakSheets& sheet) {
        EXPECT_EQ(sheet.size(), QSize(w, h));
        EXPECT_EQ(sheet.pos(), QPoint(10, 20));
        // The log boxes take the room; the controls above them keep theirs.
        int grownLog = 0;
        int grownList = 0;
        heights(sheet, grownLog, grownList);
        EXPECT_EQ(grownLog, logHeight + 150);
        EXPECT_EQ(grownList, listHeight);
    });

    // A kept size smaller than the controls need gives way to them.
    WriteSettings("size_h=50\r\nsize_w=60\r\n");
    Run([&](CVornakSheets& sheet) {
        EXPECT_GE(sheet.width(), sheet.minimumSizeHint().width());
        EXPECT_GE(sheet.height(), sheet.minimumSizeHint().height());
    });
}

// A maximised window opens maximised again, and still knows its place and size for when the
// user restores it.
TEST_F(CVornakSheetsTest, MaximisedStateIsKept) {
    WriteSettings("pos_x=10\r\npos_y=20\r\n");
    QSize normal;
    Run([&](CVornakSheets& sheet) {
        EXPECT_FALSE(sheet.isMaximized());
        normal = sheet.size();
        sheet.showMaximized();
        QCoreApplication::processEvents();
        ASSERT_TRUE(sheet.isMaximized());
    });
    // The place and size kept are those from before the window was maximised.
    const std::string kept =
        "maximized=1\r\npos_x=10\r\npos_y=20\r\nsize_h=" + std::to_string(normal.height()) +
        "\r\nsize_w=" + std::to_string(normal.width()) + "\r\n";
    EXPECT_NE(ReadSettings().find(kept), std::string::npos) << ReadSettings();

    Run([&](CVornakSheets& sheet) {
        EXPECT_TRUE(sheet.isMaximized());
        sheet.showNormal();
        QCoreApplication::processEvents();
    });
    EXPECT_NE(ReadSettings().find("maximized=0\r\n"), std::string::npos) << ReadSettings();
    Run([&](CVornakSheets& sheet) {
        EXPECT_FALSE(sheet.isMaximized());
        EXPECT_EQ(sheet.pos(), QPoint(10, 20));
        EXPECT_EQ(sheet.size(), normal);
    });
}

TEST_F(CVornakSheetsTest, ClosingDuringACaptureAsksFirstAndStopsTheRunCleanly) {
    const std::string tapePath = m_dir.File("tape.m2t");
    WriteTape(tapePath);
    const std::string out = m_dir.File("out");
    std::filesystem::create_directory(out);
    // In camera mode the camcorder streams until the run is stopped.
    VirtualCamcorderSource::Settings camcorder;
    camcorder.tapePath = tapePath;
    camcorder.cameraMode = true;
    test::ScopedDeviceSources sources({std::make_shared<VirtualCamcorderSource>(camcorder)});
    WriteSettings("capture_file_name=live\r\ncapture_output_dir=" + out +
                  "\r\ncapture_scene_split=0\r\n");
    test::RecordingMessages boxes;

    CVornakApp app;
    ASSERT_TRUE(app.InitInstance());
    CVornakSheets& sheet = *app.Sheet();
    CVornakCapture& page = *sheet.CapturePage();
    ASSERT_TRUE(EventsUntil([&] { return page.CamcorderPresent(); }));
    qobject_cast<QAbstractButton*>(page.control(CVornakCapture::kIdRecord))->click();
    ASSERT_TRUE(page.Session().InCapture());
    const std::string file = out + "/live.m2t";
    ASSERT_TRUE(EventsUntil([&] { return std::filesystem::file_size(file) > 0; }));

    // "Cancel": nothing changes.
    EXPECT_FALSE(sheet.close());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, test::RecordingMessages::Kind::kQuestion);
    EXPECT_EQ(boxes.boxes[0].text, "A capture is running. Stop it and quit?");
    EXPECT_EQ(boxes.boxes[0].accept, "Stop and quit");
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_TRUE(page.Session().InCapture());

    // "Stop and quit": the run ends as a stop ends it, the file whole, and the window goes.
    boxes.answers.push_back(true);
    EXPECT_TRUE(sheet.close());
    EXPECT_EQ(boxes.boxes.size(), 2u);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_FALSE(page.Session().InCapture());
    EXPECT_EQ(page.Session().LastRunEnd(), RunEnd::Stopped);
    const auto size = std::filesystem::file_size(file);
    EXPECT_GT(size, 0u);
    EXPECT_EQ(size % 188, 0u);
    app.ExitInstance(0);
    EXPECT_NE(ReadSettings().find("capture_file_name=live\r\n"), std::string::npos);
}

TEST_F(CVornakSheetsTest, ClosingDuringASplitAsksFirstAndStopsTheSplit) {
    // So many copies of one tape that the split is still busy whenever the test looks.
    constexpr int kCopies = 2000;
    const std::string tapePath = m_dir.File("tape.m2t");
    WriteTape(tapePath);
    const std::string out = m_dir.File("scenes");
    std::filesystem::create_directory(out);
    test::RecordingMessages boxes;

    CVornakApp app;
    ASSERT_TRUE(app.InitInstance());
    CVornakSheets& sheet = *app.Sheet();
    CVornakScenes& page = *sheet.ScenesPage();
    sheet.Tabs()->setCurrentIndex(CVornakSheets::kScenesPageIndex);
    page.SetFileChooser([&] { return QStringList(kCopies, QString::fromStdString(tapePath)); });
    qobject_cast<QAbstractButton*>(page.control(CVornakScenes::kIdAddFiles))->click();
    qobject_cast<QLineEdit*>(page.control(CVornakScenes::kIdOutputDir))
        ->setText(QString::fromStdString(out));
    qobject_cast<QAbstractButton*>(page.control(CVornakScenes::kIdStart))->click();
    ASSERT_TRUE(page.IsRunning());

    // "Cancel": the split goes on.
    EXPECT_FALSE(sheet.close());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, test::RecordingMessages::Kind::kQuestion);
    EXPECT_EQ(boxes.boxes[0].text, "Scenes are being split. Stop and quit?");
    EXPECT_EQ(boxes.boxes[0].accept, "Stop and quit");
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_TRUE(page.IsRunning());

    // "Stop and quit": the worker sees the stop and has ended before the window goes.
    boxes.answers.push_back(true);
    EXPECT_TRUE(sheet.close());
    EXPECT_FALSE(page.IsRunning());
    EXPECT_FALSE(sheet.isVisible());
    app.ExitInstance(0);
    const std::vector<std::string> written = test::ListFiles(out);
    EXPECT_LT(written.size(), 3u * kCopies);  // three scenes a copy, had it run to the end
    for (const std::string& name : written) {
        EXPECT_EQ(std::filesystem::file_size(out + "/" + name) % 188, 0u) << name;
    }
}

}  // namespace
}  // namespace vornak
