// The "Scenes splitting" page: a list of transport-stream files, naming and folder choices, and
// a worker thread that splits the files one after the other while a timer shows its progress.
#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CPageWithLog.h"
#include "CSceneView.h"
#include "SceneSplitterSettings.h"
#include "SettingsMap.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace vornak {

class CVornakScenes : public CPageWithLog {
    Q_OBJECT

  public:
    static constexpr int kTemplateId = 102;

    // Control ids (the log box 1002 and "Exit" 1000 come from the base).
    static constexpr int kIdFileList = 1001;
    static constexpr int kIdOutputDirButton = 1003;
    static constexpr int kIdAddFiles = 1004;
    static constexpr int kIdRemoveFiles = 1005;
    static constexpr int kIdNamingCount = 1006;
    static constexpr int kIdNamingDateTime = 1007;
    static constexpr int kIdStart = 1008;
    static constexpr int kIdStop = 1009;
    static constexpr int kIdNewName = 1010;
    static constexpr int kIdNewNameCheck = 1011;
    static constexpr int kIdOutputDir = 1012;
    static constexpr int kIdProgress = 1014;
    static constexpr int kIdSyncAudio = 1029;
    static constexpr int kIdDateFormatLabel = 1030;
    static constexpr int kIdDateFormat = 1031;
    static constexpr int kIdSceneView = 1040;  // the scenes of the selected file

    static constexpr int kTimerPeriodMs = 250;
    static constexpr int kProgressMax = 1000;

    // Naming of the scene files (m_nNaming).
    static constexpr int kNamingCount = 0;
    static constexpr int kNamingDateTime = 1;

    explicit CVornakScenes(QWidget* parent = nullptr);
    // Stops a running split and waits for the worker, which uses this page as its log sink.
    ~CVornakScenes() override;

    CVornakScenes(const CVornakScenes&) = delete;
    CVornakScenes& operator=(const CVornakScenes&) = delete;

    // The sheet's settings; null means nothing is loaded or saved.
    void SetSettings(SettingsMap* settings) { m_pSettings = settings; }
    // Reads the page's keys into its controls; called once, when the page is first shown.
    void LoadPageSettings();
    // Writes the page's keys from its controls. A page that never loaded its settings (never
    // shown) leaves the keys as they were loaded from the file.
    void SavePageSettings();

    // Sets the stop byte and waits for the worker, if one runs. For the window's closing.
    void StopAndWait();

    // Called by the split jobs from the worker thread.
    void AddWritten(std::uint32_t bytes) override;

    bool IsRunning() const { return m_bRunning.load(); }
    const std::vector<std::string>& Files() const { return m_files; }
    std::uint64_t TotalBytes() const { return m_totalBytes; }
    int Naming() const { return m_nNaming; }
    const std::string& LogText() const { return m_logText; }

    // Files dropped onto the list from a file manager: tapes are added as "Add ..." adds them,
    // anything else is named in the log and left out. Ignored during a run.
    void AddDroppedFiles(const QList<QUrl>& urls);

    // The file dialog's filter, in the form QFileDialog takes.
    static QString FileDialogFilter();

    // Stand-ins for the two dialogs, so that no test opens a real one. The file chooser returns
    // the chosen paths (none when cancelled); the folder chooser starts at `initial` and returns
    // true with `chosen` set when confirmed. An empty function restores the real dialog.
    using FileChooser = std::function<QStringList()>;
    void SetFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }
    // The folder "Add ..." opens in: that of the last tape added with it, kept in the settings.
    const QString& AddFolder() const { return m_addFolder; }

  protected:
    // Drags and drops onto the file list.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // What a run uses of the controls. They are locked while the worker runs, so taking them
    // once at the start equals reading them at each file, and the worker never touches a widget.
    struct RunSettings {
        std::vector<std::string> files;
        std::string outputDir;
        std::string newName;
        std::string dateFormat;
        bool newFileName = false;
        bool dateTimeNaming = true;
        bool syncAV = true;
        // The scenes not to write, by file; files not in it are split whole.
        std::map<std::string, std::set<std::int32_t>> unchecked;
    };

    void BuildControls();
    void OnAddFiles();
    void AppendFiles(const QStringList& paths);
    void OnRemoveFiles();
    void OnNewFileName();
    void OnNamingCount();
    void OnNamingDateTime();
    void OnFileListChanged();
    // False, after saying why in the log and in a box, when the chosen output folder takes no
    // files.
    bool OutputFolderUsable();
    void OnStart();
    void OnStop();
    void OnTimer();

    QStringList ChooseFiles();
    void RebuildFileList();
    void UpdateProgress();
    void RestoreIdleControls();
    void SetNamingRadios(bool count, bool dateTime);
    void ScenesWorkerProc(RunSettings run);

    QListWidget* m_list = nullptr;
    CSceneView* m_sceneView = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    QCheckBox* m_syncCheck = nullptr;
    QCheckBox* m_newNameCheck = nullptr;
    QLineEdit* m_newNameEdit = nullptr;
    QPushButton* m_outputDirButton = nullptr;
    QLineEdit* m_outputDirEdit = nullptr;
    QRadioButton* m_countRadio = nullptr;
    QRadioButton* m_dateTimeRadio = nullptr;
    QLineEdit* m_dateFormatEdit = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QTimer m_timer;

    std::vector<std::string> m_files;  // full paths, in list order
    int m_nNaming = kNamingDateTime;
    bool m_bNewFileName = false;
    StopFlag m_stopFlag{0};
    std::atomic<bool> m_bRunning{false};
    std::uint64_t m_totalBytes = 0;
    std::atomic<std::uint64_t> m_doneBytes{0};
    std::thread m_worker;
    std::vector<std::string> m_failedFiles;  // of the last run; written by its worker at the end
    SettingsMap* m_pSettings = nullptr;
    bool m_bSettingsLoaded = false;
    FileChooser m_fileChooser;
    QString m_addFolder;
};

}  // namespace vornak
