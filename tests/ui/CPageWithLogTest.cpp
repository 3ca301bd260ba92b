#include "CPageWithLog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace vornak {
namespace {

// The smallest page: nothing but the shared log box and "Exit".
class LogPage : public CPageWithLog {
  public:
    LogPage() : CPageWithLog(102) {
        auto* layout = new QVBoxLayout(this);
        AddLogControls(layout);
    }
    std::string& LogText() { return m_logText; }
    QPlainTextEdit* Box() const { return qobject_cast<QPlainTextEdit*>(control(kIdLogBox)); }
    QString Shown() const { return Box()->toPlainText(); }
};

TEST(CPageWithLog, ControlsAreFoundByTheirIds) {
    LogPage page;
    ASSERT_NE(page.Box(), nullptr);
    EXPECT_TRUE(page.Box()->isReadOnly());
    auto* exit = qobject_cast<QPushButton*>(page.control(CPageWithLog::kIdExit));
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->text(), "Exit");
    EXPECT_EQ(page.control(4242), nullptr);

    int exits = 0;
    QObject::connect(&page, &CPageWithLog::exitRequested, [&exits] { ++exits; });
    exit->click();
    EXPECT_EQ(exits, 1);
}

TEST(CPageWithLog, LinesWaitForTheFlushAndKeepTheirOrder) {
    LogPage page;
    page.AddLog(LogSeverity::Info, "first");
    page.AddLog(LogSeverity::Info, "second");
    page.AddLog(LogSeverity::Info, "third");
    EXPECT_TRUE(page.Shown().isEmpty());
    EXPECT_TRUE(page.LogText().empty());

    page.FlushLog();
    EXPECT_EQ(page.LogText(), "first\r\nsecond\r\nthird\r\n");
    EXPECT_EQ(page.Shown(), "first\nsecond\nthird\n");

    page.AddLog(LogSeverity::Info, "fourth");
    page.FlushLog();
    EXPECT_EQ(page.Shown(), "first\nsecond\nthird\nfourth\n");
}

TEST(CPageWithLog, CrLfPairsShowAsLineBreaks) {
    LogPage page;
    page.AddLog(LogSeverity::Info, "\r\nProcessing file: /tmp/a.m2t");
    page.AddLog(LogSeverity::Error, "ERROR: Out of memory.\r\nPreview is disabled.");
    page.FlushLog();
    EXPECT_EQ(page.LogText(),
              "\r\nProcessing file: /tmp/a.m2t\r\nERROR: Out of memory.\r\nPreview is "
              "disabled.\r\n");
    EXPECT_EQ(page.Shown(),
              "\nProcessing file: /tmp/a.m2t\nERROR: Out of memory.\nPreview is disabled.\n");
    EXPECT_EQ(page.Box()->document()->blockCount(), 5);
    EXPECT_FALSE(page.Shown().contains(QLatin1Char('\r')));
}

TEST(CPageWithLog, FlushWithNothingQueuedChangesNothing) {
    LogPage page;
    page.resize(400, 200);
    for (int i = 0; i < 100; ++i) {
        page.AddLog(LogSeverity::Info, "line " + std::to_string(i));
    }
    page.FlushLog();
    QScrollBar* scroll = page.Box()->verticalScrollBar();
    scroll->setValue(3);
    const int revision = page.Box()->document()->revision();

    page.FlushLog();
    EXPECT_EQ(page.Box()->document()->revision(), revision);
    EXPECT_EQ(scroll->value(), 3);
}

TEST(CPageWithLog, FlushScrollsToTheLastLine) {
    LogPage page;
    page.resize(400, 200);
    page.show();
    for (int i = 0; i < 200; ++i) {
        page.AddLog(LogSeverity::Info, "line " + std::to_string(i));
    }
    page.FlushLog();
    QScrollBar* scroll = page.Box()->verticalScrollBar();
    EXPECT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    scroll->setValue(0);
    page.AddLog(LogSeverity::Info, "one more");
    page.FlushLog();
    EXPECT_EQ(scroll->value(), scroll->maximum());
}

TEST(CPageWithLog, EmptiedLogTextRestartsTheBoxAtTheNextLine) {
    LogPage page;
    page.AddLog(LogSeverity::Info, "old run");
    page.FlushLog();

    page.LogText().clear();
    page.FlushLog();
    EXPECT_EQ(page.Shown(), "old run\n");

    page.AddLog(LogSeverity::Info, "new run");
    page.FlushLog();
    EXPECT_EQ(page.Shown(), "new run\n");
    EXPECT_EQ(page.LogText(), "new run\r\n");
}

TEST(CPageWithLog, LinesQueuedBeforeTheBoxExistsAreKept) {
    // A page whose derived class has not built its controls yet.
    class Bare : public CPageWithLog {
      public:
        Bare() : CPageWithLog(103) {}
        const std::string& LogText() const { return m_logText; }
    } page;
    page.AddLog(LogSeverity::Info, "early");
    page.FlushLog();
    EXPECT_EQ(page.LogText(), "early\r\n");
}

// Four threads add 5,000 numbered lines each while the user-interface thread keeps flushing.
TEST(CPageWithLog, LinesFromSeveralThreadsArriveWholeAndInOrder) {
    constexpr int kThreads = 4;
    constexpr int kLinesPerThread = 5000;
    const std::string padding(40, '.');
    LogPage page;

    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&page, &padding, t] {
            for (int n = 0; n < kLinesPerThread; ++n) {
                page.AddLog(LogSeverity::Info,
                            "T" + std::to_string(t) + " " + std::to_string(n) + " " + padding);
            }
        });
    }
    for (int i = 0; i < 50; ++i) {
        page.FlushLog();
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    page.FlushLog();

    std::vector<int> next(kThreads, 0);
    QTextDocument* document = page.Box()->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (text.isEmpty() && !block.next().isValid()) {
            break;  // the empty line after the last line end
        }
        const QStringList parts = text.split(' ');
        ASSERT_EQ(parts.size(), 3) << text.toStdString();
        ASSERT_EQ(parts[2].toStdString(), padding);
        const int thread = parts[0].mid(1).toInt();
        ASSERT_GE(thread, 0);
        ASSERT_LT(thread, kThreads);
        ASSERT_EQ(parts[1].toInt(), next[static_cast<std::size_t>(thread)]) << text.toStdString();
        ++next[static_cast<std::size_t>(thread)];
    }
    for (int count : next) {
        EXPECT_EQ(count, kLinesPerThread);
    }
}

TEST(CPageWithLog, HundredThousandLinesAreAllKept) {
    constexpr int kLines = 100000;
    constexpr int kLinesPerTick = 500;
    LogPage page;
    page.resize(400, 200);
    page.show();
    for (int i = 0; i < kLines; ++i) {
        page.AddLog(LogSeverity::Info, "Scene change detected. " + std::to_string(i));
        if ((i + 1) % kLinesPerTick == 0) {
            page.FlushLog();
        }
    }
    page.FlushLog();
    QTextDocument* document = page.Box()->document();
    EXPECT_EQ(document->blockCount(), kLines + 1);
    EXPECT_EQ(document->firstBlock().text(), "Scene change detected. 0");
    EXPECT_EQ(document->lastBlock().previous().text(),
              QString("Scene change detected. %1").arg(kLines - 1));
}

}  // namespace
}  // namespace vornak
