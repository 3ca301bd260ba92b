#include "CVornakScenes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CSceneView.h"
#include "MessageService.h"
#include "TapeWriter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

using test::ListFiles;
using test::TempDir;

// Boxes are captioned with the program's name, as on the capture page.
constexpr const char* kBoxCaption = "Vornak";

// Small pictures keep each tape a few hundred kilobytes.
constexpr std::size_t kPictureBytes = 1500;
// Generous bound for a run of a few small tapes; reaching it is a failure, not a measurement.
constexpr int kRunBoundMs = 120'000;

// Records every box instead of showing it, with the page's progress bar at that moment.
class RecordingMessages : public MessageService {
  public:
    struct Box {
        QString caption;
        QString text;
        int progress = -1;
    };

    RecordingMessages() { m_previous = MessageService::Install(this); }
    ~RecordingMessages() override { MessageService::Install(m_previous); }

    void Information(QWidget* parent, const QString& caption, const QString& text) override {
        Box box{caption, text, -1};
        if (parent != nullptr) {
            if (auto* bar = parent->findChild<QProgressBar*>(QStringLiteral("1014"))) {
                box.progress = bar->value();
            }
        }
        boxes.push_back(box);
    }
    void Warning(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({caption, text, -1});
    }
    void Error(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({caption, text, -1});
    }
    bool Question(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({caption, text, -1});
        return false;
    }
    bool Confirm(QWidget*, const QString& caption, const QString& text, const QString&) override {
        boxes.push_back({caption, text, -1});
        return false;
    }

    std::vector<Box> boxes;

  private:
    MessageService* m_previous = nullptr;
};

// The page with its dialogs replaced, and a way to press "Stop" at a chosen log line. Never
// destroyed while its worker runs: the worker calls the overridden AddLog.
class TestScenes : public CVornakScenes {
  public:
    TestScenes() {
        SetFileChooser([this] { return nextFiles; });
        SetFolderChooser([this](const QString& initial, QString& chosen) {
            folderStarts.push_back(initial);
            if (folderConfirmed) {
                chosen = folderChosen;
            }
            return folderConfirmed;
        });
        connect(button(kIdStop), &QAbstractButton::clicked, this, [this] {
            std::lock_guard lock(m_stopMutex);
            m_stopPressed = true;
            m_stopCv.notify_all();
        });
    }

    QStringList nextFiles;  // what the file dialog "returns"
    bool folderConfirmed = false;
    QString folderChosen;
    std::vector<QString> folderStarts;  // initial paths the chooser was opened with

    // Presses "Stop" (through the event loop, as a user would) when the worker logs the first
    // line starting with `prefix` after the line `after`, and holds the worker until it is done.
    // An empty prefix presses nothing. Call only while no run is on.
    void StopAt(const std::string& after, const std::string& prefix) {
        m_stopAfter = after;
        m_stopPrefix = prefix;
        std::lock_guard lock(m_stopMutex);
        m_stopPressed = false;
    }

    void AddLog(LogSeverity severity, const std::string& line) override {
        CVornakScenes::AddLog(severity, line);
        if (m_stopPrefix.empty()) {
            return;
        }
        if (line == m_stopAfter) {
            m_armed = true;
            return;
        }
        if (!m_armed || line.rfind(m_stopPrefix, 0) != 0) {
            return;
        }
        m_armed = false;
        m_stopPrefix.clear();
        QAbstractButton* stop = button(kIdStop);
        QMetaObject::invokeMethod(
            stop, [stop] { stop->click(); }, Qt::QueuedConnection);
        std::unique_lock lock(m_stopMutex);
        m_stopCv.wait_for(lock, std::chrono::seconds(60), [this] { return m_stopPressed; });
    }

    QAbstractButton* button(int id) const { return qobject_cast<QAbstractButton*>(control(id)); }
    QLineEdit* edit(int id) const { return qobject_cast<QLineEdit*>(control(id)); }
    QListWidget* list() const { return qobject_cast<QListWidget*>(control(kIdFileList)); }
    int progress() const { return qobject_cast<QProgressBar*>(control(kIdProgress))->value(); }

    void AddFiles(const std::vector<std::string>& paths) {
        nextFiles.clear();
        for (const auto& path : paths) {
            nextFiles << QString::fromStdString(path);
        }
        button(kIdAddFiles)->click();
    }

  private:
    std::string m_stopAfter;
    std::string m_stopPrefix;
    bool m_armed = false;  // worker thread only
    std::mutex m_stopMutex;
    std::condition_variable m_stopCv;
    bool m_stopPressed = false;
};

// Lets the page's timer run until `done` holds or the bound passes.
bool WaitFor(const std::function<bool()>& done, int boundMs = kRunBoundMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > boundMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

tape::SceneSpec Scene(int hour, int minute, int second, int gops = 4) {
    tape::SceneSpec scene;
    scene.start = tape::DateTime{2006, 5, 1, hour, minute, second};
    scene.gops = gops;
    return scene;
}

// A tape of two scenes an hour apart, starting at `hour`:00:00 (the first at 14:03:59 for 14).
std::string MakeTape(const TempDir& dir, const std::string& name, int hour) {
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    tape::TapeWriter writer(options);
    writer.AddScene(hour == 14 ? Scene(14, 3, 59) : Scene(hour, 0, 0));
    writer.AddScene(Scene(hour + 1, 0, 0));
    std::string path = dir.File(name);
    EXPECT_TRUE(writer.WriteFile(path)) << writer.Error();
    return path;
}

// A scratch folder for the tapes and one for the scene files, with the time zone pinned.
struct Scratch {
    test::ScopedTimeZone tz{"UTC"};
    TempDir in;
    TempDir out;
};

bool RunToTheBox(TestScenes& page, RecordingMessages& messages) {
    page.button(CVornakScenes::kIdStart)->click();
    return WaitFor([&] { return !messages.boxes.empty(); });
}

TEST(CVornakScenes, ControlsCarryTheirIdsTextsAndStartStates) {
    TestScenes page;
    struct Expected {
        int id;
        const char* text;
        bool enabled;
    };
    for (const Expected& e :
         {Expected{1004, "Add ...", true}, Expected{1005, "Remove", false},
          Expected{1029, "Synchronize audio and video", true},
          Expected{1011, "New file name", true}, Expected{1003, "Output directory ...", true},
          Expected{1006, "Count", true}, Expected{1007, "Date and time", true},
          Expected{1008, "Start", false}, Expected{1009, "Stop", false},
          Expected{1000, "Exit", true}}) {
        QAbstractButton* button = page.button(e.id);
        ASSERT_NE(button, nullptr) << e.id;
        EXPECT_EQ(button->text().toStdString(), e.text) << e.id;
        EXPECT_EQ(button->isEnabled(), e.enabled) << e.id;
    }
    auto* label = qobject_cast<QLabel*>(page.control(1030));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), "Date and time format:");
    ASSERT_NE(page.list(), nullptr);
    EXPECT_EQ(page.list()->selectionMode(), QAbstractItemView::ExtendedSelection);
    ASSERT_NE(page.control(1002), nullptr);
    for (int id : {1010, 1012, 1031}) {
        ASSERT_NE(page.edit(id), nullptr) << id;
    }
    EXPECT_FALSE(page.edit(1010)->isEnabled());
    EXPECT_TRUE(page.edit(1012)->isEnabled());
    EXPECT_TRUE(page.edit(1031)->isEnabled());
    EXPECT_EQ(page.edit(1031)->text().toStdString(), "-%Y_%M_%D-%h_%m_%s");

    EXPECT_FALSE(page.button(1006)->isChecked());
    EXPECT_TRUE(page.button(1007)->isChecked());
    EXPECT_FALSE(page.button(1011)->isChecked());
    EXPECT_TRUE(page.button(1029)->isChecked());
    EXPECT_EQ(page.Naming(), CVornakScenes::kNamingDateTime);

    auto* bar = qobject_cast<QProgressBar*>(page.control(1014));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 1000);

    // Qt takes the patterns from the parentheses, space-separated: "*.m2t;" would match nothing.
    EXPECT_EQ(CVornakScenes::FileDialogFilter().toStdString(),
              "HDV and DV Tapes (*.m2t *.ts *.mts *.m2ts *.dv *.dif *.avi *.mov);;"
              "MPEG2 Transport Stream (*.m2t *.ts *.mts *.m2ts);;"
              "DV (*.dv *.dif *.avi *.mov);;All Files (*)");

    // A cancelled dialog adds nothing and "Start" stays off.
    page.AddFiles({});
    EXPECT_TRUE(page.Files().empty());
    EXPECT_FALSE(page.button(1008)->isEnabled());
}

TEST(CVornakScenes, NamingControlsFollowTheirButtons) {
    TestScenes page;
    page.button(1011)->click();
    EXPECT_TRUE(page.edit(1010)->isEnabled());
    page.button(1011)->click();
    EXPECT_FALSE(page.edit(1010)->isEnabled());

    page.button(1006)->click();
    EXPECT_EQ(page.Naming(), CVornakScenes::kNamingCount);
    EXPECT_FALSE(page.edit(1031)->isEnabled());
    EXPECT_FALSE(page.button(1007)->isChecked());
    page.button(1007)->click();
    EXPECT_EQ(page.Naming(), CVornakScenes::kNamingDateTime);
    EXPECT_TRUE(page.edit(1031)->isEnabled());
}

TEST(CVornakScenes, OutputDirectoryTakesTheChosenFolderOnlyWhenConfirmed) {
    TestScenes page;
    page.button(1003)->click();
    ASSERT_EQ(page.folderStarts.size(), 1u);
    // An empty field still gives an (empty) start, not "no start".
    EXPECT_FALSE(page.folderStarts[0].isNull());
    EXPECT_TRUE(page.folderStarts[0].isEmpty());

    page.edit(1012)->setText(QStringLiteral("/video/old"));
    page.folderConfirmed = false;
    page.folderChosen = QStringLiteral("/video/ignored");
    page.button(1003)->click();
    EXPECT_EQ(page.folderStarts.back(), QStringLiteral("/video/old"));
    EXPECT_EQ(page.edit(1012)->text(), QStringLiteral("/video/old"));

    page.folderConfirmed = true;
    page.folderChosen = QStringLiteral("/video/new");
    page.button(1003)->click();
    EXPECT_EQ(page.edit(1012)->text(), QStringLiteral("/video/new"));
}

TEST(CVornakScenes, LoadsAndSavesItsSixKeys) {
    SettingsMap settings{{"scenesplit_file_name_checked", "1"},
                         {"scenesplit_file_name", "trip"},
                         {"scenesplit_output_dir", "/video/out"},
                         {"scenesplit_datetime_format", "_%D%M%Y"},
                         {"scenesplit_add_timestamp", "0"},
                         {"scenesplit_sync_audio", "0"},
                         {"pos_x", "12"}};
    {
        TestScenes page;
        page.SetSettings(&settings);
        page.LoadPageSettings();
        EXPECT_TRUE(page.button(1011)->isChecked());
        EXPECT_TRUE(page.edit(1010)->isEnabled());
        EXPECT_EQ(page.edit(1010)->text(), QStringLiteral("trip"));
        EXPECT_EQ(page.edit(1012)->text(), QStringLiteral("/video/out"));
        EXPECT_EQ(page.edit(1031)->text(), QStringLiteral("_%D%M%Y"));
        EXPECT_TRUE(page.button(1006)->isChecked());
        EXPECT_FALSE(page.button(1007)->isChecked());
        EXPECT_FALSE(page.edit(1031)->isEnabled());
        EXPECT_EQ(page.Naming(), CVornakScenes::kNamingCount);
        EXPECT_FALSE(page.button(1029)->isChecked());

        // Edits reach the map on saving; other owners' keys stay as they were.
        page.edit(1010)->setText(QString());
        page.button(1029)->click();
        page.button(1007)->click();
        page.SavePageSettings();
    }
    EXPECT_EQ(settings, (SettingsMap{{"pos_x", "12"},
                                     {"scenesplit_add_timestamp", "1"},
                                     {"scenesplit_datetime_format", "_%D%M%Y"},
                                     {"scenesplit_file_name", ""},
                                     {"scenesplit_file_name_checked", "1"},
                                     {"scenesplit_output_dir", "/video/out"},
                                     {"scenesplit_sync_audio", "1"}}));

    // Yes/no values: anything but "0" checks "New file name", only "1" checks the sync box.
    SettingsMap odd{{"scenesplit_file_name_checked", "yes"}, {"scenesplit_sync_audio", "yes"}};
    TestScenes page;
    page.SetSettings(&odd);
    page.LoadPageSettings();
    EXPECT_TRUE(page.button(1011)->isChecked());
    EXPECT_FALSE(page.button(1029)->isChecked());
}

TEST(CVornakScenes, MissingKeysKeepTheDefaultsAndAnUnshownPageWritesNothing) {
    SettingsMap settings{{"scenesplit_datetime_format", "kept"}};
    {
        // Never shown: the keys go back to the file as they were loaded.
        TestScenes page;
        page.SetSettings(&settings);
        page.SavePageSettings();
    }
    EXPECT_EQ(settings, (SettingsMap{{"scenesplit_datetime_format", "kept"}}));

    SettingsMap empty;
    TestScenes page;
    page.edit(1031)->setText(QStringLiteral("changed before loading"));
    page.SetSettings(&empty);
    page.LoadPageSettings();
    EXPECT_EQ(page.edit(1031)->text().toStdString(), "-%Y_%M_%D-%h_%m_%s");
    page.SavePageSettings();
    EXPECT_EQ(empty, (SettingsMap{{"scenesplit_add_timestamp", "1"},
                                  {"scenesplit_datetime_format", "-%Y_%M_%D-%h_%m_%s"},
                                  {"scenesplit_file_name", ""},
                                  {"scenesplit_file_name_checked", "0"},
                                  {"scenesplit_output_dir", ""},
                                  {"scenesplit_sync_audio", "1"}}));
}

TEST(CVornakScenes, TimestampTwoSelectsNeitherButtonAndNamesByDateAndTime) {
    Scratch scratch;
    std::string tapeA = MakeTape(scratch.in, "a.m2t", 14);
    SettingsMap settings{{"scenesplit_add_timestamp", "2"},
                         {"scenesplit_output_dir", scratch.out.Path()},
                         {"scenesplit_sync_audio", "0"}};
    RecordingMessages messages;
    TestScenes page;
    page.SetSettings(&settings);
    page.LoadPageSettings();
    EXPECT_FALSE(page.button(1006)->isChecked());
    EXPECT_FALSE(page.button(1007)->isChecked());
    EXPECT_TRUE(page.edit(1031)->isEnabled());
    EXPECT_EQ(page.Naming(), CVornakScenes::kNamingDateTime);

    page.AddFiles({tapeA});
    ASSERT_TRUE(RunToTheBox(page, messages));
    EXPECT_EQ(ListFiles(scratch.out.Path()),
              (std::vector<std::string>{"a-2006_05_01-14_03_59.m2t", "a-2006_05_01-15_00_00.m2t"}));

    page.SavePageSettings();
    EXPECT_EQ(settings["scenesplit_add_timestamp"], "1");
}

TEST(CVornakScenes, RemovesExactlyTheSelectedFiles) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(dir.File("f" + std::to_string(i) + ".m2t"));
        test::WriteAll(paths.back(), std::vector<std::uint8_t>(100u << i, 0x47));
    }
    std::string missing = dir.File("gone.m2t");

    TestScenes page;
    page.AddFiles({paths[0], paths[1], paths[2]});
    page.AddFiles({paths[3], paths[4], missing, paths[0]});
    ASSERT_EQ(page.Files(), (std::vector<std::string>{paths[0], paths[1], paths[2], paths[3],
                                                      paths[4], missing, paths[0]}));
    ASSERT_EQ(page.list()->count(), 7);
    EXPECT_EQ(page.list()->item(5)->text().toStdString(), missing);
    // The file that does not open is listed without a size; the duplicate counts twice.
    EXPECT_EQ(page.TotalBytes(), 100u + 200u + 400u + 800u + 1600u + 100u);
    EXPECT_TRUE(page.button(1008)->isEnabled());

    page.list()->item(1)->setSelected(true);
    EXPECT_TRUE(page.button(1005)->isEnabled());
    page.list()->item(3)->setSelected(true);
    page.list()->item(5)->setSelected(true);
    page.button(1005)->click();
    EXPECT_EQ(page.Files(), (std::vector<std::string>{paths[0], paths[2], paths[4], paths[0]}));
    ASSERT_EQ(page.list()->count(), 4);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(page.list()->item(row)->text().toStdString(),
                  page.Files()[static_cast<std::size_t>(row)]);
    }
    EXPECT_EQ(page.TotalBytes(), 100u + 400u + 1600u + 100u);
    EXPECT_FALSE(page.button(1005)->isEnabled());
    EXPECT_TRUE(page.button(1008)->isEnabled());

    page.list()->selectAll();
    page.button(1005)->click();
    EXPECT_TRUE(page.Files().empty());
    EXPECT_EQ(page.TotalBytes(), 0u);
    EXPECT_FALSE(page.button(1008)->isEnabled());
}

TEST(CVornakScenes, SplitsThreeTapesUnderOneNewNameCountingOn) {
    Scratch scratch;
    std::vector<std::string> tapes{MakeTape(scratch.in, "a.m2t", 14),
                                   MakeTape(scratch.in, "b.m2t", 17),
                                   MakeTape(scratch.in, "c.m2t", 20)};
    RecordingMessages messages;
    TestScenes page;
    page.AddFiles(tapes);
    page.button(1011)->click();
    page.edit(1010)->setText(QStringLiteral("tape"));
    page.edit(1012)->setText(QString::fromStdString(scratch.out.Path()));
    page.button(1006)->click();
    page.button(1029)->click();  // byte-exact cuts, so the scene files add up to the tapes

    page.button(1008)->click();
    EXPECT_TRUE(page.button(1009)->isEnabled());
    for (int id : {1008, 1004, 1005, 1011, 1010, 1006, 1007, 1003, 1012, 1029, 1031}) {
        EXPECT_FALSE(page.control(id)->isEnabled()) << id;
    }
    // Selecting a file during the run must not offer to remove it from under the worker.
    page.list()->item(0)->setSelected(true);
    EXPECT_FALSE(page.button(1005)->isEnabled());

    ASSERT_TRUE(WaitFor([&] { return !messages.boxes.empty(); }));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, QStringLiteral("Process COMPLETED"));
    EXPECT_EQ(messages.boxes[0].caption.toStdString(), kBoxCaption);
    EXPECT_EQ(messages.boxes[0].progress, 1000);
    EXPECT_EQ(page.progress(), 0);
    EXPECT_FALSE(page.IsRunning());

    std::vector<std::string> expected;
    for (int i = 0; i < 6; ++i) {
        expected.push_back("tape-000" + std::to_string(i) + ".m2t");
    }
    ASSERT_EQ(ListFiles(scratch.out.Path()), expected);
    for (std::size_t t = 0; t < tapes.size(); ++t) {
        EXPECT_EQ(test::Concat(scratch.out.Path(), {expected[2 * t], expected[2 * t + 1]}),
                  test::ReadAll(tapes[t]))
            << tapes[t];
    }
    const std::string& log = page.LogText();
    std::size_t at = 0;
    for (const auto& path : tapes) {
        at = log.find("\r\nProcessing file: " + path + "\r\n", at);
        EXPECT_NE(at, std::string::npos) << path;
    }
    EXPECT_NE(log.find("Creating new file: " + scratch.out.File("tape-0005.m2t") + "\r\n"),
              std::string::npos);
    // A counter that restarted per input would find its names taken and skip past them.
    EXPECT_EQ(log.find("already exists"), std::string::npos);

    // Idle again: every control back, "Remove" for the selection made during the run.
    for (int id : {1008, 1004, 1005, 1011, 1010, 1006, 1007, 1003, 1012, 1029}) {
        EXPECT_TRUE(page.control(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(page.button(1009)->isEnabled());
    EXPECT_FALSE(page.edit(1031)->isEnabled());
    EXPECT_EQ(page.Files().size(), 3u);
}

TEST(CVornakScenes, NamesByDateAndTimeNextToTheInputs) {
    Scratch scratch;
    std::vector<std::string> tapes{MakeTape(scratch.in, "a.m2t", 14),
                                   MakeTape(scratch.in, "b.ts", 17)};
    RecordingMessages messages;
    TestScenes page;
    page.AddFiles(tapes);
    ASSERT_TRUE(RunToTheBox(page, messages));
    EXPECT_EQ(messages.boxes[0].text, QStringLiteral("Process COMPLETED"));
    EXPECT_EQ(
        ListFiles(scratch.in.Path()),
        (std::vector<std::string>{"a-2006_05_01-14_03_59.m2t", "a-2006_05_01-15_00_00.m2t", "a.m2t",
                                  "b-2006_05_01-17_00_00.ts", "b-2006_05_01-18_00_00.ts", "b.ts"}));
}

TEST(CVornakScenes, WithoutANewNameEveryInputCountsFromZero) {
    Scratch scratch;
    std::vector<std::string> tapes{MakeTape(scratch.in, "a.m2t", 14),
                                   MakeTape(scratch.in, "b.m2t", 17)};
    RecordingMessages messages;
    TestScenes page;
    page.AddFiles(tapes);
    page.edit(1012)->setText(QString::fromStdString(scratch.out.Path()));
    page.button(1006)->click();
    ASSERT_TRUE(RunToTheBox(page, messages));
    EXPECT_EQ(ListFiles(scratch.out.Path()),
              (std::vector<std::string>{"a-0000.m2t", "a-0001.m2t", "b-0000.m2t", "b-0001.m2t"}));
}

TEST(CVornakScenes, StopDuringTheSecondFileEndsTheRunStopped) {
    Scratch scratch;
    std::vector<std::string> tapes{MakeTape(scratch.in, "a.m2t", 14),
                                   MakeTape(scratch.in, "b.m2t", 17),
                                   MakeTape(scratch.in, "c.m2t", 20)};
    RecordingMessages messages;
    TestScenes page;
    page.AddFiles(tapes);
    page.button(1011)->click();
    page.edit(1010)->setText(QStringLiteral("tape"));
    page.edit(1012)->setText(QString::fromStdString(scratch.out.Path()));
    page.button(1006)->click();
    // Stop once the second tape's first scene file has been created.
    page.StopAt("\r\nProcessing file: " + tapes[1], "Creating new file: ");

    ASSERT_TRUE(RunToTheBox(page, messages));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, QStringLiteral("Process STOPPED"));
    // The second tape's first file, which nothing went into before the stop, is removed again.
    EXPECT_EQ(ListFiles(scratch.out.Path()),
              (std::vector<std::string>{"tape-0000.m2t", "tape-0001.m2t"}));
    EXPECT_NE(page.LogText().find("Removed the empty file (the job was stopped before anything "
                                  "went into it): " +
                                  scratch.out.File("tape-0002.m2t")),
              std::string::npos);
    // The last tape is never touched, and the log does not say it was.
    EXPECT_EQ(page.LogText().find("Processing file: " + tapes[2]), std::string::npos);
    // The bar shows how far the run came, and keeps showing it.
    const int third = 1000 / 3;
    EXPECT_GE(messages.boxes[0].progress, third);
    EXPECT_LT(messages.boxes[0].progress, 2 * third);
    EXPECT_EQ(page.progress(), messages.boxes[0].progress);
    // Until the list changes: the bar then no longer speaks of it.
    page.list()->selectAll();
    page.button(CVornakScenes::kIdRemoveFiles)->click();
    EXPECT_EQ(page.progress(), 0);
    page.AddFiles(tapes);

    // The stop byte stays set until the next start, which completes.
    page.StopAt("", "");
    messages.boxes.clear();
    ASSERT_TRUE(RunToTheBox(page, messages));
    EXPECT_EQ(messages.boxes[0].text, QStringLiteral("Process COMPLETED"));
    EXPECT_EQ(page.LogText().find("Processing file: " + tapes[0]), 2u);  // a fresh log
}

// Files that cannot be split are named in the log and in a warning box instead of "Process
// COMPLETED": an output folder that cannot take the scene files refuses each input before it is
// read, a FIFO is refused at once, and nothing is written for either.
// An output folder that takes no files is refused once, with the system's reason, before any
// tape is touched: no run, no line per tape, no box about tapes that were never read.
TEST(CVornakScenes, AnOutputFolderThatTakesNoFilesIsRefusedOnceBeforeTheRun) {
    Scratch scratch;
    const std::string tape = MakeTape(scratch.in, "a.m2t", 14);
    const std::string file = scratch.out.File("file");
    test::WriteAll(file, {0x47});
    struct Case {
        std::string folder;
        std::string reason;
    };
    const Case cases[] = {
        {scratch.out.File("missing"), "No such file or directory"},
        {file, "Not a directory"},
    };
    for (const Case& c : cases) {
        RecordingMessages messages;
        TestScenes page;
        page.AddFiles({tape, tape, tape});
        page.edit(1012)->setText(QString::fromStdString(c.folder));
        page.button(CVornakScenes::kIdStart)->click();
        EXPECT_FALSE(page.IsRunning());
        const std::string refusal =
            "This folder can't take new files: " + c.folder + " (" + c.reason + ")";
        EXPECT_EQ(page.LogText(), "ERROR: " + refusal + "\r\n");
        ASSERT_EQ(messages.boxes.size(), 1u) << c.folder;
        EXPECT_EQ(messages.boxes[0].caption.toStdString(), kBoxCaption);
        EXPECT_EQ(messages.boxes[0].text.toStdString(), refusal);
        // No run: the page stays ready for another folder.
        EXPECT_TRUE(page.button(CVornakScenes::kIdStart)->isEnabled());
    }
    EXPECT_EQ(ListFiles(scratch.in.Path()), std::vector<std::string>{"a.m2t"});
    EXPECT_FALSE(std::filesystem::exists(cases[0].folder));
}

TEST(CVornakScenes, FilesThatCannotBeSplitAreRefusedAndNamedInTheBox) {
    Scratch scratch;
    const std::string tape = MakeTape(scratch.in, "a.m2t", 14);
    const std::string fifo = scratch.in.File("fifo.m2t");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    RecordingMessages messages;
    TestScenes page;
    page.AddFiles({fifo, tape});
    page.button(1006)->click();

    // With a folder that takes them, the tape is split and only the FIFO is refused.
    page.edit(1012)->setText(QString::fromStdString(scratch.out.Path()));
    ASSERT_TRUE(RunToTheBox(page, messages));
    EXPECT_NE(page.LogText().find("\r\nERROR: This is not a regular file: " + fifo + "\r\n"),
              std::string::npos)
        << page.LogText();
    EXPECT_EQ(messages.boxes[0].text.toStdString(),
              "Process COMPLETED WITH ERRORS\r\nThese files were not split completely:\r\n" + fifo);
    EXPECT_EQ(ListFiles(scratch.out.Path()),
              (std::vector<std::string>{"a-0000.m2t", "a-0001.m2t"}));
}

// A tape opened in the scene view is split without its unchecked scenes, under the names a full
// split gives the others; a tape never opened there is split whole.
TEST(CVornakScenes, SplitWritesOnlyTheCheckedScenes) {
    Scratch scratch;
    const std::vector<std::string> tapes{MakeTape(scratch.in, "a.m2t", 14),
                                         MakeTape(scratch.in, "b.m2t", 17)};
    RecordingMessages messages;
    TestScenes page;
    page.AddFiles(tapes);
    page.edit(1012)->setText(QString::fromStdString(scratch.out.Path()));
    page.button(1006)->click();
    page.button(1029)->click();  // byte-exact cuts

    auto* view = qobject_cast<CSceneView*>(page.control(CVornakScenes::kIdSceneView));
    ASSERT_NE(view, nullptr);
    page.list()->item(0)->setSelected(true);
    EXPECT_EQ(view->Tape(), tapes[0]);
    ASSERT_TRUE(WaitFor([&] { return view->IsComplete(tapes[0]); }));
    ASSERT_EQ(view->topLevelItemCount(), 2);
    // The bar belongs to the run: the listing shows its progress in the view.
    EXPECT_EQ(page.progress(), 0);
    view->topLevelItem(0)->setCheckState(CSceneView::kColumnScene, Qt::Unchecked);
    // Several files selected show no scenes.
    page.list()->item(1)->setSelected(true);
    EXPECT_EQ(view->Tape(), "");
    EXPECT_EQ(view->topLevelItemCount(), 0);

    ASSERT_TRUE(RunToTheBox(page, messages));
    EXPECT_EQ(messages.boxes[0].text, QStringLiteral("Process COMPLETED"));
    ASSERT_EQ(ListFiles(scratch.out.Path()),
              (std::vector<std::string>{"a-0001.m2t", "b-0000.m2t", "b-0001.m2t"}));
    const auto scenes = view->ScenesOf(tapes[0]);
    ASSERT_EQ(scenes.size(), 2u);
    const auto whole = test::ReadAll(tapes[0]);
    EXPECT_EQ(test::ReadAll(scratch.out.File("a-0001.m2t")),
              std::vector<std::uint8_t>(whole.begin() + scenes[1].offset, whole.end()));
    EXPECT_EQ(test::Concat(scratch.out.Path(), {"b-0000.m2t", "b-0001.m2t"}),
              test::ReadAll(tapes[1]));
}

// The boxes a run goes by cannot change under it: what the view shows is what is written.
TEST(CVornakScenes, SceneBoxesAreLockedWhileARunUsesThem) {
    Scratch scratch;
    const std::string tape = MakeTape(scratch.in, "a.m2t", 14);
    RecordingMessages messages;
    TestScenes page;
    page.AddFiles({tape});
    page.edit(1012)->setText(QString::fromStdString(scratch.out.Path()));
    page.button(1006)->click();
    auto* view = qobject_cast<CSceneView*>(page.control(CVornakScenes::kIdSceneView));
    page.list()->item(0)->setSelected(true);
    ASSERT_TRUE(WaitFor([&] { return view->IsComplete(tape); }));
    ASSERT_EQ(view->topLevelItemCount(), 2);
    view->topLevelItem(0)->setCheckState(CSceneView::kColumnScene, Qt::Unchecked);

    page.button(CVornakScenes::kIdStart)->click();
    EXPECT_TRUE(view->IsLocked());
    view->topLevelItem(1)->setCheckState(CSceneView::kColumnScene, Qt::Unchecked);
    EXPECT_EQ(view->topLevelItem(1)->checkState(CSceneView::kColumnScene), Qt::Checked);
    ASSERT_TRUE(WaitFor([&] { return !messages.boxes.empty(); }));
    EXPECT_FALSE(view->IsLocked());
    EXPECT_EQ(ListFiles(scratch.out.Path()), std::vector<std::string>{"a-0001.m2t"});
}

// "Add ..." opens where the last tapes came from, also after a restart.
TEST(CVornakScenes, AddRemembersItsFolder) {
    Scratch scratch;
    const std::string tape = MakeTape(scratch.in, "a.m2t", 14);
    SettingsMap settings;
    TestScenes page;
    page.SetSettings(&settings);
    page.LoadPageSettings();
    page.AddFiles({});  // cancelled: nothing learnt
    EXPECT_TRUE(page.AddFolder().isEmpty());
    page.AddFiles({tape});
    page.SavePageSettings();
    EXPECT_EQ(settings["scenesplit_add_dir"], scratch.in.Path());
    TestScenes again;
    again.SetSettings(&settings);
    again.LoadPageSettings();
    EXPECT_EQ(again.AddFolder().toStdString(), scratch.in.Path());
}

TEST(CVornakScenes, ClosingDuringARunStopsAndWaitsForTheWorker) {
    Scratch scratch;
    std::string tape = MakeTape(scratch.in, "a.m2t", 14);
    constexpr int kCopies = 200;
    RecordingMessages messages;
    // The plain page, as the window holds it.
    auto page = std::make_unique<CVornakScenes>();
    page->SetFileChooser([&] { return QStringList(kCopies, QString::fromStdString(tape)); });
    qobject_cast<QAbstractButton*>(page->control(1004))->click();
    qobject_cast<QLineEdit*>(page->control(1012))
        ->setText(QString::fromStdString(scratch.out.Path()));
    qobject_cast<QAbstractButton*>(page->control(1006))->click();
    qobject_cast<QAbstractButton*>(page->control(1008))->click();
    ASSERT_TRUE(page->IsRunning());
    // Destroying a page whose worker still ran would end the program (a joinable thread) or
    // let the worker use a freed page.
    page.reset();
    std::size_t written = ListFiles(scratch.out.Path()).size();
    EXPECT_LT(written, 2u * kCopies);
    EXPECT_TRUE(messages.boxes.empty());
}

}  // namespace
}  // namespace vornak

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
