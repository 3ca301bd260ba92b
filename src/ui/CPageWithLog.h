// The base of both pages: a log box that any thread may add lines to, shown on the page's
// timer, and the "Exit" button. Pages are the split engine's log sinks.
#pragma once

#include <QWidget>

#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "LogSink.h"

class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace vornak {

class CPageWithLog : public QWidget, public LogSink {
    Q_OBJECT

  public:
    // Control ids shared by both pages.
    static constexpr int kIdExit = 1000;
    static constexpr int kIdLogBox = 1002;

    explicit CPageWithLog(int templateId, QWidget* parent = nullptr);
    ~CPageWithLog() override;

    // Queues one line (it may hold or begin with "\r\n"); callable from any thread, never
    // touches the window. The box shows every line alike: its words say how grave it is.
    void AddLog(LogSeverity severity, const std::string& line) override;
    void AddWritten(std::uint32_t bytes) override { (void)bytes; }
    void AddDropped(int pictures) override { (void)pictures; }

    // Shows the queued lines; user-interface thread only, from the page's timer.
    void FlushLog();

    // The control with this id (its objectName is the id as text), or null.
    QWidget* control(int id) const;
    int TemplateId() const { return m_templateId; }

  signals:
    // "Exit" was clicked: the sheet ends the program as if the window were closed.
    void exitRequested();

  protected:
    // Derived pages put their own controls into `layout` first, then call this to add the log
    // box and the "Exit" button at the bottom.
    void AddLogControls(QVBoxLayout* layout);

    // The handler of "Output directory ..." (1003) that both pages share: the folder chooser
    // opens at the text of the output-folder field (1012) and, when confirmed, fills it.
    void OnOutputDirectory();

  public:
    // Replaces the folder chooser (tests, so that no dialog opens); null restores it.
    using FolderChooser = std::function<bool(const QString& initial, QString& chosen)>;
    void SetFolderChooser(FolderChooser chooser) { m_folderChooser = std::move(chooser); }

  protected:
    std::string m_logText;  // every line shown so far, each followed by "\r\n"

  private:
    bool ChooseFolder(const QString& initial, QString& chosen);

    FolderChooser m_folderChooser;
    int m_templateId;
    std::mutex m_logLock;
    std::deque<std::string> m_pendingLines;
    QPlainTextEdit* m_logBox = nullptr;
    QPushButton* m_exitButton = nullptr;
    // Length of m_logText that the box shows; anything else means m_logText was emptied.
    std::size_t m_shownLength = 0;
};

}  // namespace vornak
