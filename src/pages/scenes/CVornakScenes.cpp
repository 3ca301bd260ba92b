#include "CVornakScenes.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include "AnyInputSceneJob.h"
#include "CPathDialog.h"
#include "InputFile.h"
#include "LogText.h"
#include "MessageService.h"
#include "OutputCheck.h"
#include "SceneFileName.h"
#include "SplitBatch.h"
#include "TapeDropFilter.h"

namespace vornak {

namespace {

// The file dialog's filter: pairs of description and patterns, "|" between them and "||" at the
// end. The first shows every kind of tape at once; a file is still listed by what it holds, so
// "All Files" finds tapes under any name.
constexpr const char* kFileFilterPairs =
    "HDV and DV Tapes (*.m2t; *.ts; *.mts; *.m2ts; *.dv; *.dif; *.avi; *.mov)|"
    "*.m2t; *.ts; *.mts; *.m2ts; *.dv; *.dif; *.avi; *.mov|"
    "MPEG2 Transport Stream (*.m2t; *.ts; *.mts; *.m2ts)|*.m2t; *.ts; *.mts; *.m2ts|"
    "DV (*.dv; *.dif; *.avi; *.mov)|*.dv; *.dif; *.avi; *.mov|"
    "All Files (*.*)|*.*||";

constexpr const char* kKeyNewNameChecked = "scenesplit_file_name_checked";
constexpr const char* kKeyNewName = "scenesplit_file_name";
constexpr const char* kKeyOutputDir = "scenesplit_output_dir";
constexpr const char* kKeyDateFormat = "scenesplit_datetime_format";
constexpr const char* kKeyAddTimestamp = "scenesplit_add_timestamp";
constexpr const char* kKeySyncAudio = "scenesplit_sync_audio";
constexpr const char* kKeyAddFolder = "scenesplit_add_dir";

// The file list's height in lines of text, and the scene view's share of the room the log
// shares with it.
constexpr int kFileListLines = 7;
constexpr int kSceneViewStretch = 2;

// Room for an edit box's frame and cursor around its text.
constexpr int kEditTextMargin = 16;

constexpr const char* kNotATape =
    "INFO: Only MPEG-2 transport streams and DV files can be split; not added: ";

constexpr const char* kStopped = "Process STOPPED";
constexpr const char* kCompleted = "Process COMPLETED";
constexpr const char* kCompletedWithErrors = "Process COMPLETED WITH ERRORS";
constexpr const char* kNotSplit = "\r\nThese files were not split completely:";

// Settings, paths and patterns are 8-bit text in the system's encoding.
std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

// Qt reads a filter's patterns from the parentheses, separated by spaces, so "*.m2t;" would
// only match names ending in a semicolon; and "*.*" would hide files without a dot here.
QString ToQtFilter(const QString& pairs) {
    QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (description.isEmpty()) {
            break;
        }
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString trimmed = pattern.trimmed();
            patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')'))) {
            description = description.left(open).trimmed();
        }
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

// Boxes carry the program's name, as on the capture page.
QString ProgramTitle() {
    return QString::fromLatin1(kProgramName);
}

template <typename Widget>
Widget* WithId(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

}  // namespace

CVornakScenes::CVornakScenes(QWidget* parent) : CPageWithLog(kTemplateId, parent) {
    BuildControls();

    m_nNaming = kNamingDateTime;
    SetNamingRadios(false, true);
    m_bNewFileName = false;
    m_newNameCheck->setChecked(false);
    m_syncCheck->setChecked(true);
    m_dateFormatEdit->setText(QString::fromLatin1(kDefaultDateFormat));

    m_newNameEdit->setEnabled(false);
    m_removeButton->setEnabled(false);
    m_startButton->setEnabled(false);
    m_stopButton->setEnabled(false);

    m_totalBytes = 0;
    m_doneBytes = 0;
    m_progress->setRange(0, kProgressMax);
    m_progress->setValue(0);

    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CVornakScenes::OnTimer);
}

CVornakScenes::~CVornakScenes() {
    StopAndWait();
}

void CVornakScenes::BuildControls() {
    auto* page = new QVBoxLayout(this);

    page->addWidget(new QLabel(tr("Files to split:"), this));
    auto* listRow = new QHBoxLayout;
    m_list = WithId(new QListWidget(this), kIdFileList);
    m_list->setViewMode(QListView::ListMode);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listRow->addWidget(m_list, 1);
    // A few lines of files are enough to choose from; the room goes to their scenes.
    m_list->setMaximumHeight(m_list->fontMetrics().height() * kFileListLines);
    auto* listButtons = new QVBoxLayout;
    m_addButton = WithId(new QPushButton(tr("Add ..."), this), kIdAddFiles);
    m_removeButton = WithId(new QPushButton(tr("Remove"), this), kIdRemoveFiles);
    listButtons->addWidget(m_addButton);
    listButtons->addWidget(m_removeButton);
    listButtons->addStretch(1);
    listRow->addLayout(listButtons);
    page->addLayout(listRow);

    // The scenes of the one file selected: looked at before a split, and chosen for it. It
    // shares the room a larger window gives with the log below.
    page->addWidget(new QLabel(tr("Scenes of the selected file (checked ones are split):"), this));
    m_sceneView = WithId(new CSceneView(this), kIdSceneView);
    page->addWidget(m_sceneView, kSceneViewStretch);

    m_syncCheck = WithId(new QCheckBox(tr("Synchronize audio and video"), this), kIdSyncAudio);
    page->addWidget(m_syncCheck);

    auto* names = new QGridLayout;
    m_newNameCheck = WithId(new QCheckBox(tr("New file name"), this), kIdNewNameCheck);
    m_newNameEdit = WithId(new QLineEdit(this), kIdNewName);
    m_outputDirButton =
        WithId(new QPushButton(tr("Output directory ..."), this), kIdOutputDirButton);
    m_outputDirEdit = WithId(new QLineEdit(this), kIdOutputDir);
    names->addWidget(m_newNameCheck, 0, 0);
    names->addWidget(m_newNameEdit, 0, 1);
    names->addWidget(m_outputDirButton, 1, 0);
    names->addWidget(m_outputDirEdit, 1, 1);
    names->setColumnStretch(1, 1);
    page->addLayout(names);

    auto* group = new QGroupBox(tr("Add to file name"), this);
    auto* groupGrid = new QGridLayout(group);
    m_countRadio = WithId(new QRadioButton(tr("Count"), group), kIdNamingCount);
    m_dateTimeRadio = WithId(new QRadioButton(tr("Date and time"), group), kIdNamingDateTime);
    auto* formatLabel = WithId(new QLabel(tr("Date and time format:"), group), kIdDateFormatLabel);
    m_dateFormatEdit = WithId(new QLineEdit(group), kIdDateFormat);
    // Wide enough for the default pattern, which users edit rather than retype.
    m_dateFormatEdit->setMinimumWidth(
        m_dateFormatEdit->fontMetrics().horizontalAdvance(QString::fromLatin1(kDefaultDateFormat)) +
        kEditTextMargin);
    groupGrid->addWidget(m_countRadio, 0, 0);
    groupGrid->addWidget(m_dateTimeRadio, 0, 1);
    groupGrid->addWidget(formatLabel, 1, 0);
    groupGrid->addWidget(m_dateFormatEdit, 1, 1, 1, 2);
    groupGrid->setColumnStretch(2, 1);
    page->addWidget(group);

    auto* runRow = new QHBoxLayout;
    m_startButton = WithId(new QPushButton(tr("Start"), this), kIdStart);
    m_stopButton = WithId(new QPushButton(tr("Stop"), this), kIdStop);
    m_progress = WithId(new QProgressBar(this), kIdProgress);
    m_progress->setTextVisible(true);  // an empty bar at 0 looks like an empty edit box
    m_progress->setFormat(QStringLiteral("%p%"));
    runRow->addWidget(m_startButton);
    runRow->addWidget(m_stopButton);
    runRow->addWidget(m_progress, 1);
    page->addLayout(runRow);

    AddLogControls(page);

    // Tapes dropped from a file manager land on the list's viewport, which holds the items.
    m_list->viewport()->setAcceptDrops(true);
    m_list->viewport()->installEventFilter(this);

    connect(m_addButton, &QPushButton::clicked, this, &CVornakScenes::OnAddFiles);
    connect(m_removeButton, &QPushButton::clicked, this, &CVornakScenes::OnRemoveFiles);
    connect(m_outputDirButton, &QPushButton::clicked, this, &CVornakScenes::OnOutputDirectory);
    connect(m_newNameCheck, &QCheckBox::clicked, this, &CVornakScenes::OnNewFileName);
    connect(m_countRadio, &QRadioButton::clicked, this, &CVornakScenes::OnNamingCount);
    connect(m_dateTimeRadio, &QRadioButton::clicked, this, &CVornakScenes::OnNamingDateTime);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CVornakScenes::OnFileListChanged);
    connect(m_startButton, &QPushButton::clicked, this, &CVornakScenes::OnStart);
    connect(m_stopButton, &QPushButton::clicked, this, &CVornakScenes::OnStop);
}

QString CVornakScenes::FileDialogFilter() {
    return ToQtFilter(QString::fromLatin1(kFileFilterPairs));
}

// ---------------------------------------------------------------------------------------------
// Settings

void CVornakScenes::LoadPageSettings() {
    if (m_pSettings == nullptr) {
        return;
    }
    m_bSettingsLoaded = true;
    auto find = [this](const char* key) -> const std::string* {
        auto it = m_pSettings->find(key);
        return it == m_pSettings->end() ? nullptr : &it->second;
    };

    if (const std::string* value = find(kKeyNewNameChecked)) {
        m_bNewFileName = *value != "0";
        m_newNameCheck->setChecked(m_bNewFileName);
        m_newNameEdit->setEnabled(m_bNewFileName);
    }
    if (const std::string* value = find(kKeyNewName)) {
        m_newNameEdit->setText(FromLocal(*value));
    }
    if (const std::string* value = find(kKeyOutputDir)) {
        m_outputDirEdit->setText(FromLocal(*value));
    }
    const std::string* format = find(kKeyDateFormat);
    m_dateFormatEdit->setText(format != nullptr ? FromLocal(*format)
                                                : QString::fromLatin1(kDefaultDateFormat));
    if (const std::string* value = find(kKeyAddTimestamp)) {
        // Any value but "0" and "1" selects neither button and still names by date and time.
        SetNamingRadios(*value == "0", *value == "1");
        m_nNaming = *value == "0" ? kNamingCount : kNamingDateTime;
        m_dateFormatEdit->setEnabled(*value != "0");
    }
    if (const std::string* value = find(kKeySyncAudio)) {
        m_syncCheck->setChecked(*value == "1");
    }
    if (const std::string* value = find(kKeyAddFolder)) {
        m_addFolder = FromLocal(*value);
    }
}

void CVornakScenes::SavePageSettings() {
    if (m_pSettings == nullptr || !m_bSettingsLoaded) {
        return;
    }
    SettingsMap& map = *m_pSettings;
    map[kKeyNewNameChecked] = m_newNameCheck->isChecked() ? "1" : "0";
    map[kKeyNewName] = ToLocal(m_newNameEdit->text());
    map[kKeyOutputDir] = ToLocal(m_outputDirEdit->text());
    map[kKeyDateFormat] = ToLocal(m_dateFormatEdit->text());
    map[kKeyAddTimestamp] = m_countRadio->isChecked() ? "0" : "1";
    map[kKeySyncAudio] = m_syncCheck->isChecked() ? "1" : "0";
    if (!m_addFolder.isEmpty()) {
        map[kKeyAddFolder] = ToLocal(m_addFolder);
    }
}

// ---------------------------------------------------------------------------------------------
// Naming controls

void CVornakScenes::SetNamingRadios(bool count, bool dateTime) {
    // A checked radio button of a group refuses to be unchecked; a settings value that selects
    // neither needs the group opened for a moment.
    m_countRadio->setAutoExclusive(false);
    m_dateTimeRadio->setAutoExclusive(false);
    m_countRadio->setChecked(count);
    m_dateTimeRadio->setChecked(dateTime);
    m_countRadio->setAutoExclusive(true);
    m_dateTimeRadio->setAutoExclusive(true);
}

void CVornakScenes::OnNewFileName() {
    m_bNewFileName = m_newNameCheck->isChecked();
    m_newNameEdit->setEnabled(m_bNewFileName);
}

void CVornakScenes::OnNamingCount() {
    m_nNaming = kNamingCount;
    m_dateFormatEdit->setEnabled(false);
}

void CVornakScenes::OnNamingDateTime() {
    m_nNaming = kNamingDateTime;
    m_dateFormatEdit->setEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// File list

QStringList CVornakScenes::ChooseFiles() {
    if (m_fileChooser) {
        return m_fileChooser();
    }
    return QFileDialog::getOpenFileNames(this, QString(), m_addFolder, FileDialogFilter());
}

void CVornakScenes::OnAddFiles() {
    const QStringList chosen = ChooseFiles();
    // The next tapes are most often where the last ones were.
    if (!chosen.isEmpty()) {
        m_addFolder = QFileInfo(chosen.front()).absolutePath();
    }
    AppendFiles(chosen);
}

void CVornakScenes::AppendFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        m_files.push_back(ToLocal(path));
    }
    RebuildFileList();
    if (!m_files.empty()) {
        m_startButton->setEnabled(true);
    }
}

void CVornakScenes::AddDroppedFiles(const QList<QUrl>& urls) {
    // The list may not change under a running split, as with "Add ...".
    if (!m_addButton->isEnabled()) {
        return;
    }
    const TapeDropFilter::Result sorted = TapeDropFilter::Sort(urls);
    for (const QString& ignored : sorted.ignored) {
        AddLog(LogSeverity::Info, kNotATape + ToLocal(ignored));
    }
    FlushLog();
    if (!sorted.tapes.isEmpty()) {
        AppendFiles(sorted.tapes);
    }
}

bool CVornakScenes::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_list->viewport()) {
        return CPageWithLog::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls() && m_addButton->isEnabled()) {
                drag->acceptProposedAction();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (drop->mimeData()->hasUrls()) {
                drop->acceptProposedAction();
                AddDroppedFiles(drop->mimeData()->urls());
            }
            return true;
        }
        default:
            return CPageWithLog::eventFilter(watched, event);
    }
}

void CVornakScenes::OnRemoveFiles() {
    // Highest position first, so that each removal leaves the positions still to come in place.
    std::vector<int> rows;
    for (const QListWidgetItem* item : m_list->selectedItems()) {
        rows.push_back(m_list->row(item));
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < m_files.size()) {
            m_files.erase(m_files.begin() + row);
        }
    }
    RebuildFileList();
    m_removeButton->setEnabled(false);
    if (m_files.empty()) {
        m_startButton->setEnabled(false);
    }
}

void CVornakScenes::OnFileListChanged() {
    // The list stays usable during a run, but its files must not change under the worker. The
    // controls stay locked until the timer has seen the run end and restored them, even when
    // the worker itself has already finished.
    m_removeButton->setEnabled(!m_timer.isActive() && !m_list->selectedItems().isEmpty());

    // One file selected shows its scenes; none or several show none.
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    const int row = selected.size() == 1 ? m_list->row(selected.front()) : -1;
    m_sceneView->ShowTape(row >= 0 && static_cast<std::size_t>(row) < m_files.size()
                              ? m_files[static_cast<std::size_t>(row)]
                              : std::string());
}

void CVornakScenes::RebuildFileList() {
    m_list->clear();
    m_totalBytes = 0;
    for (const std::string& path : m_files) {
        m_list->addItem(FromLocal(path));
        std::int64_t size = InputFile::SizeOf(path);
        if (size > 0) {
            m_totalBytes += static_cast<std::uint64_t>(size);
        }
    }
    // How far a stopped run came says nothing about another list.
    m_doneBytes = 0;
    UpdateProgress();
}

// ---------------------------------------------------------------------------------------------
// Run

bool CVornakScenes::OutputFolderUsable() {
    const std::string folder = ToLocal(m_outputDirEdit->text());
    if (folder.empty()) {
        return true;  // each tape's files go beside it: each job checks its own folder
    }
    // One folder for every tape: a folder that takes no files is said once, before any tape is
    // touched, rather than once for each tape after the run.
    const std::string refusal = CheckOutputFolder(folder);
    if (refusal.empty()) {
        return true;
    }
    AddLog(LogSeverity::Error, refusal);
    FlushLog();
    const std::string reason(WithoutSeverityPrefix(LogSeverity::Error, refusal));
    MessageService::Instance().Error(this, ProgramTitle(), FromLocal(reason));
    return false;
}

void CVornakScenes::OnStart() {
    if (m_worker.joinable()) {
        return;  // the last run has not been wound up yet
    }
    if (!OutputFolderUsable()) {
        return;
    }
    m_stopButton->setEnabled(true);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_startButton, m_addButton, m_removeButton, m_newNameCheck, m_newNameEdit,
             m_countRadio, m_dateTimeRadio, m_outputDirButton, m_outputDirEdit, m_syncCheck,
             m_dateFormatEdit}) {
        widget->setEnabled(false);
    }

    RunSettings run;
    run.files = m_files;
    run.outputDir = ToLocal(m_outputDirEdit->text());
    run.newName = ToLocal(m_newNameEdit->text());
    run.dateFormat = ToLocal(m_dateFormatEdit->text());
    run.newFileName = m_bNewFileName;
    run.dateTimeNaming = m_nNaming == kNamingDateTime;
    run.syncAV = m_syncCheck->isChecked();
    run.unchecked = m_sceneView->UncheckedScenes();
    // What the view shows is what the run writes: no box changes until it ends.
    m_sceneView->SetLocked(true);

    m_bRunning = true;
    m_stopFlag = 0;
    m_doneBytes = 0;
    m_failedFiles.clear();
    UpdateProgress();
    m_logText.clear();
    m_timer.start();
    m_worker = std::thread(&CVornakScenes::ScenesWorkerProc, this, std::move(run));
}

void CVornakScenes::OnStop() {
    m_stopFlag = 1;
}

void CVornakScenes::StopAndWait() {
    m_stopFlag = 1;
    m_timer.stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CVornakScenes::AddWritten(std::uint32_t bytes) {
    m_doneBytes.fetch_add(bytes);
}

void CVornakScenes::ScenesWorkerProc(RunSettings run) {
    SplitBatch::Options batch;
    batch.outputDir = run.outputDir;
    if (run.newFileName) {
        batch.newName = run.newName;
    }
    batch.job.stopFlag = &m_stopFlag;
    batch.job.dateTimeNaming = run.dateTimeNaming;
    batch.job.syncAV = run.syncAV;
    batch.job.dateFormat = run.dateFormat;
    // After a stop the files still listed are not touched, and the log does not pretend they
    // were.
    batch.skipInputsAfterStop = true;
    batch.makeJob = MakeSceneJobForAnyInput;
    SplitBatch::Hooks hooks;
    hooks.sceneChoice = [&run](const std::string& path) -> std::function<bool(std::int32_t)> {
        const auto skip = run.unchecked.find(path);
        if (skip == run.unchecked.end()) {
            return nullptr;
        }
        const std::set<std::int32_t>& unchecked = skip->second;
        return [&unchecked](std::int32_t number) { return unchecked.count(number) == 0; };
    };
    hooks.inputDone = [this](const SplitBatch::Outcome& input) {
        // What the job reported as written may differ from the file's size (a file that
        // changed); the bar is set exact at every file boundary. A stopped job leaves the bar
        // where it stopped.
        if (input.result != SplitResult::Stopped) {
            m_doneBytes = input.doneBytes;
        }
        return true;
    };
    SplitBatch splits(std::move(batch), std::move(hooks), this);
    splits.Run(run.files);
    m_failedFiles = splits.FailedInputs();  // read by the timer once m_bRunning is false
    m_bRunning = false;
}

void CVornakScenes::UpdateProgress() {
    std::uint64_t done = m_doneBytes.load();
    std::uint64_t position = m_totalBytes == 0 ? 0 : done * kProgressMax / m_totalBytes;
    m_progress->setValue(static_cast<int>(std::min<std::uint64_t>(position, kProgressMax)));
}

void CVornakScenes::OnTimer() {
    // Read before the flush: the worker logs its last line before it clears the flag, so no line
    // of a finished run is left behind in the queue.
    bool finished = !m_bRunning.load();
    UpdateProgress();
    FlushLog();
    if (!finished) {
        return;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    RestoreIdleControls();
    m_timer.stop();
    // The end of a long split is worth a glance from someone working in another window.
    if (window() != nullptr && !window()->isActiveWindow()) {
        QApplication::alert(window());
    }
    const bool stopped = m_stopFlag != 0;
    if (m_failedFiles.empty()) {
        MessageService::Instance().Information(
            this, ProgramTitle(), QString::fromLatin1(stopped ? kStopped : kCompleted));
    } else {
        // The log says what went wrong with each; the box must not say all went well.
        QString text = QString::fromLatin1(stopped ? kStopped : kCompletedWithErrors) +
                       QString::fromLatin1(kNotSplit);
        for (const std::string& path : m_failedFiles) {
            text += QStringLiteral("\r\n") + FromLocal(path);
        }
        MessageService::Instance().Warning(this, ProgramTitle(), text);
    }
    // A stopped run keeps showing how far it came.
    if (!stopped) {
        m_doneBytes = 0;
        UpdateProgress();
    }
}

void CVornakScenes::RestoreIdleControls() {
    m_sceneView->SetLocked(false);
    m_stopButton->setEnabled(false);
    m_startButton->setEnabled(true);
    m_addButton->setEnabled(true);
    m_removeButton->setEnabled(!m_list->selectedItems().isEmpty());
    m_newNameCheck->setEnabled(true);
    m_newNameEdit->setEnabled(m_newNameCheck->isChecked());
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_countRadio, m_dateTimeRadio, m_outputDirButton, m_outputDirEdit, m_syncCheck}) {
        widget->setEnabled(true);
    }
    m_dateFormatEdit->setEnabled(m_nNaming == kNamingDateTime);
}

}  // namespace vornak
