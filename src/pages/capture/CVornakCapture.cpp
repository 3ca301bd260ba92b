#include "CVornakCapture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTimerEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string>

#include "CPreviewFrame.h"
#include "MessageService.h"
#include "SceneFileName.h"
#include "TransportIcons.h"

namespace vornak {

namespace {

constexpr char kNoCamcorder[] = "Camcorder is not recognized or connected";
constexpr char kCamcorderDetected[] = " camcorder detected";
constexpr int kDefaultFrameSize = 2;  // "1/16"
constexpr char kNo[] = "0";
constexpr char kYes[] = "1";

constexpr char kKeyFileName[] = "capture_file_name";
constexpr char kKeyOutputDir[] = "capture_output_dir";
constexpr char kKeyDateTimeFormat[] = "capture_datetime_format";
constexpr char kKeyAddTimestamp[] = "capture_add_timestamp";
constexpr char kKeySceneSplit[] = "capture_scene_split";
constexpr char kKeySyncAudio[] = "capture_sync_audio";
constexpr char kKeyPreview[] = "capture_preview";
constexpr char kKeyFrameSize[] = "capture_frame_size";
constexpr char kKeyStop[] = "capture_stop";
constexpr char kKeyMidScenes[] = "capture_mid_scenes";
constexpr char kKeyHealthReport[] = "capture_health_report";
constexpr char kKeyPreviewX[] = "capture_preview_x";
constexpr char kKeyPreviewY[] = "capture_preview_y";
constexpr char kKeyPreviewVolume[] = "capture_preview_volume";
constexpr char kKeyPreviewMute[] = "capture_preview_mute";

// The preview's loudness, in percent of the sound as decoded.
constexpr int kFullVolume = 100;
constexpr int kVolumeStep = 10;
// Wide enough to set the volume by the percent, narrow enough to stay beside "Frame size:".
constexpr int kVolumeSliderChars = 12;

// The transport buttons show only icons; their tips say what each does.
constexpr const char* kTransportTips[] = {"Rewind", "Play", "Fast forward",
                                          "Pause",  "Stop", "Record"};

// Room for "00:00:00:00" and "00:00:00" in the centred read-only boxes.
constexpr int kTimecodeChars = 14;
// Room for the largest 32-bit count of dropped packets.
constexpr int kCounterDigits = 10;

template <typename Widget>
Widget* Named(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

QLabel* Label(const char* text, int id, QWidget* parent) {
    return Named(new QLabel(QString::fromLatin1(text), parent), id);
}

QLineEdit* ReadOnlyBox(int id, QWidget* parent, bool centred) {
    auto* box = Named(new QLineEdit(parent), id);
    box->setReadOnly(true);
    if (centred) {
        box->setAlignment(Qt::AlignCenter);
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QLatin1Char('0')) *
                             kTimecodeChars);
    }
    return box;
}

std::string ToSetting(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString FromSetting(const std::string& value) {
    return QString::fromLocal8Bit(value.data(), static_cast<qsizetype>(value.size()));
}

void SetEnabled(std::initializer_list<QWidget*> widgets, bool enable) {
    for (QWidget* widget : widgets) {
        widget->setEnabled(enable);
    }
}

}  // namespace

CVornakCapture::CVornakCapture(QWidget* parent)
    : CPageWithLog(kTemplateId, parent), m_pPreview(std::make_unique<CPreviewFrame>()) {
    BuildControls();
    SetDefaults();
    m_session.ResetDeviceState();
    UpdateControls();
    StartPageTimer();
}

CVornakCapture::~CVornakCapture() {
    Shutdown();
}

void CVornakCapture::StartPageTimer() {
    if (m_timerId == 0) {
        m_timerId = startTimer(kTimerPeriodMs);
    }
}

void CVornakCapture::StopPageTimer() {
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
}

void CVornakCapture::BuildControls() {
    auto* page = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    page->addLayout(grid);
    int row = 0;

    grid->addWidget(Label("Connected camcorder:", kIdCamcorderLabel, this), row, 0);
    m_status = ReadOnlyBox(kIdCamcorderStatus, this, false);
    grid->addWidget(m_status, row++, 1, 1, 3);

    auto* transport = new QHBoxLayout;
    const TransportIcon icons[kTransportButtons] = {
        TransportIcon::kRewind, TransportIcon::kPlay, TransportIcon::kFastForward,
        TransportIcon::kPause,  TransportIcon::kStop, TransportIcon::kRecord};
    for (int i = 0; i < kTransportButtons; ++i) {
        auto* button = Named(new QPushButton(this), kIdRewind + i);
        button->setIcon(MakeTransportIcon(icons[i]));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(QString::fromLatin1(kTransportTips[i]));
        transport->addWidget(button);
        m_transport[static_cast<std::size_t>(i)] = button;
    }
    transport->addStretch(1);
    m_timecode = ReadOnlyBox(kIdTimecode, this, true);
    transport->addWidget(m_timecode);
    grid->addLayout(transport, row++, 0, 1, 4);

    grid->addWidget(Label("File name:", kIdFileNameLabel, this), row, 0);
    m_fileName = Named(new QLineEdit(this), kIdFileName);
    grid->addWidget(m_fileName, row++, 1, 1, 3);

    m_outputButton =
        Named(new QPushButton(QStringLiteral("Output directory ..."), this), kIdOutputDirectory);
    grid->addWidget(m_outputButton, row, 0);
    m_outputDir = Named(new QLineEdit(this), kIdOutputDir);
    grid->addWidget(m_outputDir, row++, 1, 1, 3);

    auto* naming = new QGroupBox(QStringLiteral("Add to file name"), this);
    auto* namingRow = new QHBoxLayout(naming);
    m_count = Named(new QRadioButton(QStringLiteral("Count"), naming), kIdCount);
    m_dateTime = Named(new QRadioButton(QStringLiteral("Date and time"), naming), kIdDateTime);
    namingRow->addWidget(m_count);
    namingRow->addWidget(m_dateTime);
    namingRow->addSpacing(m_count->sizeHint().width() / 2);
    namingRow->addWidget(Label("Date and time format:", kIdDateTimeLabel, naming));
    m_dateTimeFormat = Named(new QLineEdit(naming), kIdDateTimeFormat);
    namingRow->addWidget(m_dateTimeFormat, 1);
    grid->addWidget(naming, row++, 0, 1, 4);

    m_scenesSplit = Named(new QCheckBox(QStringLiteral("Scenes split"), this), kIdScenesSplit);
    m_syncAudio =
        Named(new QCheckBox(QStringLiteral("Synchronize audio and video"), this), kIdSyncAudio);
    m_midScenes =
        Named(new QCheckBox(QStringLiteral("Do not treat mid-scenes as dropped frames"), this),
              kIdMidScenes);
    grid->addWidget(m_scenesSplit, row, 0);
    grid->addWidget(m_syncAudio, row++, 1, 1, 3);
    grid->addWidget(m_midScenes, row++, 1, 1, 3);

    // Preview options line up with the split options above them.
    m_preview = Named(new QCheckBox(QStringLiteral("Preview"), this), kIdPreview);
    grid->addWidget(m_preview, row, 0);
    auto* frameRow = new QHBoxLayout;
    frameRow->addWidget(Label("Frame size:", kIdFrameSizeLabel, this));
    m_frameSize = Named(new QComboBox(this), kIdFrameSize);
    m_frameSize->addItems({QStringLiteral("Full frame"), QStringLiteral("1/4"),
                           QStringLiteral("1/16"), QStringLiteral("1/64")});
    frameRow->addWidget(m_frameSize);
    frameRow->addSpacing(fontMetrics().horizontalAdvance(QStringLiteral("MM")));
    m_volume = Named(new QSlider(Qt::Horizontal, this), kIdPreviewVolume);
    m_volume->setRange(0, kFullVolume);
    m_volume->setPageStep(kVolumeStep);
    m_volume->setToolTip(QStringLiteral("Preview volume"));
    m_volume->setMaximumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) *
                              kVolumeSliderChars);
    frameRow->addWidget(m_volume);
    m_mute = Named(new QToolButton(this), kIdPreviewMute);
    m_mute->setText(QStringLiteral("Mute"));
    m_mute->setCheckable(true);
    m_mute->setToolTip(QStringLiteral("Preview without sound"));
    frameRow->addWidget(m_mute);
    frameRow->addStretch(1);
    grid->addLayout(frameRow, row++, 1, 1, 3);

    m_stopOnDropped =
        Named(new QCheckBox(QStringLiteral("Stop capture on dropped packets\\frames"), this),
              kIdStopOnDropped);
    grid->addWidget(m_stopOnDropped, row++, 0, 1, 4);
    m_healthReport =
        Named(new QCheckBox(QStringLiteral("Write a health report"), this), kIdHealthReport);
    m_healthReport->setToolTip(
        QStringLiteral("At the end of the capture, write NAME-report.json beside its files: "
                       "what was found damaged in each scene, and where"));
    grid->addWidget(m_healthReport, row++, 0, 1, 4);

    auto* counters = new QHBoxLayout;
    counters->addWidget(Label("Dropped packets\\frames during capture:", kIdDroppedLabel, this));
    m_dropped = Label("0", kIdDropped, this);
    m_dropped->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_dropped->setMinimumWidth(m_dropped->fontMetrics().horizontalAdvance(QStringLiteral("0")) *
                               kCounterDigits);
    counters->addWidget(m_dropped);
    counters->addStretch(1);
    counters->addSpacing(fontMetrics().horizontalAdvance(QStringLiteral("MMM")));
    counters->addWidget(Label("Time elapsed:", kIdElapsedLabel, this));
    m_elapsed = ReadOnlyBox(kIdElapsed, this, true);
    counters->addWidget(m_elapsed);
    grid->addLayout(counters, row++, 0, 1, 4);

    grid->setColumnStretch(1, 1);
    AddLogControls(page);

    connect(m_outputButton, &QPushButton::clicked, this, &CVornakCapture::OnOutputDirectory);
    connect(m_count, &QRadioButton::clicked, this, &CVornakCapture::OnNamingCount);
    connect(m_dateTime, &QRadioButton::clicked, this, &CVornakCapture::OnNamingDateTime);
    connect(m_scenesSplit, &QCheckBox::clicked, this, &CVornakCapture::OnScenesSplit);
    connect(m_preview, &QCheckBox::clicked, this, &CVornakCapture::ApplyPreview);
    connect(m_frameSize, &QComboBox::currentIndexChanged, this, &CVornakCapture::ApplyPreview);
    connect(m_volume, &QSlider::valueChanged, this, &CVornakCapture::ApplyPreviewVolume);
    connect(m_mute, &QToolButton::toggled, this, &CVornakCapture::ApplyPreviewVolume);
    connect(m_transport[0], &QPushButton::clicked, this, &CVornakCapture::OnRewind);
    connect(m_transport[1], &QPushButton::clicked, this, &CVornakCapture::OnPlay);
    connect(m_transport[2], &QPushButton::clicked, this, &CVornakCapture::OnFastForward);
    connect(m_transport[3], &QPushButton::clicked, this, &CVornakCapture::OnPause);
    connect(m_transport[4], &QPushButton::clicked, this, &CVornakCapture::OnStop);
    connect(m_transport[5], &QPushButton::clicked, this, &CVornakCapture::OnRecord);
}

void CVornakCapture::SetDefaults() {
    m_frameSize->setCurrentIndex(kDefaultFrameSize);
    m_nTimestampMode = 1;
    m_dateTime->setChecked(true);
    m_dateTimeFormat->setText(QString::fromLatin1(kDefaultDateFormat));
    m_scenesSplit->setChecked(true);
    m_syncAudio->setChecked(true);
    m_midScenes->setChecked(true);
    m_preview->setChecked(false);
    m_volume->setValue(kFullVolume);
    m_mute->setChecked(false);
    m_stopOnDropped->setChecked(false);
    m_healthReport->setChecked(false);
}

void CVornakCapture::LoadPageSettings() {
    if (m_pSettings == nullptr) {
        return;
    }
    const SettingsMap* settings = m_pSettings;
    if (const std::string* value = FindSetting(settings, kKeyFileName)) {
        m_fileName->setText(FromSetting(*value));
    }
    if (const std::string* value = FindSetting(settings, kKeyOutputDir)) {
        m_outputDir->setText(FromSetting(*value));
    }
    if (const std::string* value = FindSetting(settings, kKeyDateTimeFormat)) {
        m_dateTimeFormat->setText(FromSetting(*value));
    }
    if (const std::string* value = FindSetting(settings, kKeyAddTimestamp)) {
        // A value other than "0" or "1" checks neither button and keeps date-time naming; an
        // exclusive pair cannot be cleared while it is exclusive.
        m_count->setAutoExclusive(false);
        m_dateTime->setAutoExclusive(false);
        m_count->setChecked(*value == kNo);
        m_dateTime->setChecked(*value == kYes);
        m_count->setAutoExclusive(true);
        m_dateTime->setAutoExclusive(true);
        m_nTimestampMode = *value == kNo ? 0 : 1;
        m_dateTimeFormat->setEnabled(m_nTimestampMode == 1);
    }
    if (const std::string* value = FindSetting(settings, kKeySceneSplit)) {
        m_scenesSplit->setChecked(*value == kYes);
        EnableSplitOptions(m_scenesSplit->isChecked());
    }
    if (const std::string* value = FindSetting(settings, kKeySyncAudio)) {
        m_syncAudio->setChecked(*value == kYes);
    }
    if (const std::string* value = FindSetting(settings, kKeyPreview)) {
        m_preview->setChecked(*value == kYes);
    }
    if (const std::string* value = FindSetting(settings, kKeyFrameSize)) {
        if (*value == "0" || *value == "1" || *value == "3") {
            m_frameSize->setCurrentIndex(StrToIntA(*value));
        }
    }
    if (const std::string* value = FindSetting(settings, kKeyPreviewVolume)) {
        // Only a whole percent in range: anything else keeps the full volume.
        const QString text = FromSetting(*value);
        bool ok = false;
        const int volume = text.toInt(&ok);
        if (ok && volume >= 0 && volume <= kFullVolume) {
            m_volume->setValue(volume);
        }
    }
    if (const std::string* value = FindSetting(settings, kKeyPreviewMute)) {
        m_mute->setChecked(*value == kYes);
    }
    if (const std::string* value = FindSetting(settings, kKeyStop)) {
        m_stopOnDropped->setChecked(*value == kYes);
    }
    if (const std::string* value = FindSetting(settings, kKeyMidScenes)) {
        m_midScenes->setChecked(*value == kYes);
    }
    if (const std::string* value = FindSetting(settings, kKeyHealthReport)) {
        m_healthReport->setChecked(*value == kYes);
    }
    if (const std::string* x = FindSetting(settings, kKeyPreviewX)) {
        if (const std::string* y = FindSetting(settings, kKeyPreviewY)) {
            // A place on a screen that is gone (a second monitor unplugged) would hide the
            // preview; it then opens beside the window instead.
            const QPoint kept(StrToIntA(*x), StrToIntA(*y));
            if (QGuiApplication::screenAt(kept) != nullptr) {
                m_pPreview->Move(kept.x(), kept.y());
            }
        }
    }
    UpdateControls();
}

void CVornakCapture::SavePageSettings() {
    if (m_pSettings == nullptr) {
        return;
    }
    SettingsMap& settings = *m_pSettings;
    auto yesNo = [](const QAbstractButton* box) {
        return std::string(box->isChecked() ? kYes : kNo);
    };
    settings[kKeyFileName] = ToSetting(m_fileName->text());
    settings[kKeyOutputDir] = ToSetting(m_outputDir->text());
    settings[kKeyDateTimeFormat] = ToSetting(m_dateTimeFormat->text());
    settings[kKeyAddTimestamp] = m_count->isChecked() ? kNo : kYes;
    settings[kKeySceneSplit] = yesNo(m_scenesSplit);
    settings[kKeySyncAudio] = yesNo(m_syncAudio);
    settings[kKeyPreview] = yesNo(m_preview);
    settings[kKeyFrameSize] = std::to_string(m_frameSize->currentIndex());
    settings[kKeyPreviewVolume] = std::to_string(m_volume->value());
    settings[kKeyPreviewMute] = yesNo(m_mute);
    settings[kKeyStop] = yesNo(m_stopOnDropped);
    settings[kKeyMidScenes] = yesNo(m_midScenes);
    settings[kKeyHealthReport] = yesNo(m_healthReport);
    // Only a place the user chose is kept: a place beside the window is worked out afresh each
    // time, from where the window is then.
    if (m_pPreview->UserPlaced()) {
        settings[kKeyPreviewX] = std::to_string(m_pPreview->X());
        settings[kKeyPreviewY] = std::to_string(m_pPreview->Y());
    }
}

void CVornakCapture::AddDropped(int pictures) {
    m_session.AddEngineDropped(pictures);
}

void CVornakCapture::UpdateControls() {
    QWidget* const optionControls[] = {m_fileName,  m_outputButton,   m_outputDir,
                                       m_count,     m_dateTime,       m_syncAudio,
                                       m_midScenes, m_dateTimeFormat, m_healthReport};
    const CaptureSession& session = m_session;
    if (!session.Present()) {
        m_status->setText(QString::fromLatin1(kNoCamcorder));
        for (QPushButton* button : m_transport) {
            button->setEnabled(false);
        }
        for (QWidget* widget : optionControls) {
            widget->setEnabled(false);
        }
        SetEnabled({m_scenesSplit, m_stopOnDropped}, false);
    } else {
        m_status->setText(FromSetting(session.CamcorderName()) +
                          QString::fromLatin1(kCamcorderDetected));
        if (session.HasTransport()) {
            for (int i = kIdRewind; i <= kIdPause; ++i) {
                m_transport[static_cast<std::size_t>(i - kIdRewind)]->setEnabled(
                    session.VcrMode() && !session.InCapture());
            }
        }
        SetEnabled({m_transport[kIdStop - kIdRewind], m_stopOnDropped}, true);
        QPushButton* record = m_transport[kIdRecord - kIdRewind];
        if (session.InCapture()) {
            record->setEnabled(false);
            m_scenesSplit->setEnabled(false);
            for (QWidget* widget : optionControls) {
                widget->setEnabled(false);
            }
        } else {
            SetEnabled(
                {record, m_scenesSplit, m_fileName, m_outputButton, m_outputDir, m_healthReport},
                true);
            if (m_nTimestampMode == 1) {
                m_dateTimeFormat->setEnabled(true);
            }
            EnableSplitOptions(m_scenesSplit->isChecked());
        }
    }
    ApplyPreview();
    SetEnabled({m_preview, m_frameSize, m_volume, m_mute}, session.PreviewOk());

    // A run that ends while the user works elsewhere is worth a glance: the window asks for
    // attention the desktop's way.
    const bool inCapture = session.InCapture();
    if (m_bWasInCapture && !inCapture && window() != nullptr && !window()->isActiveWindow()) {
        QApplication::alert(window());
    }
    m_bWasInCapture = inCapture;
}

void CVornakCapture::ApplyPreviewVolume() {
    m_session.SetPreviewVolume(m_volume->value(), m_mute->isChecked());
}

void CVornakCapture::ApplyPreview() {
    if (m_preview->isChecked() && m_session.PreviewOk()) {
        bool resized = false;
        const int choice = m_frameSize->currentIndex();
        if (choice >= 0 && choice < static_cast<int>(std::size(kFrameSizes))) {
            const auto& size = kFrameSizes[choice];
            // The corner stays where it is unless the larger window would leave the screen;
            // only the size follows the choice.
            resized = m_pPreview->SetFrameSize(QSize(size[0], size[1]));
        }
        if (!m_pPreview->UserPlaced() && (resized || !m_pPreview->isVisible())) {
            PlacePreviewBesideWindow();
        }
        m_pPreview->SetOwner(window());
        m_pPreview->show();
        m_session.StartPreviewPin();
    } else {
        m_pPreview->hide();
        m_session.StopPreviewPin();
    }
}

QPoint CVornakCapture::PreviewPlace(const QRect& window, const QSize& preview, const QRect& area) {
    constexpr int kGap = 8;
    int x = window.right() + 1 + kGap;
    if (x + preview.width() > area.right() + 1) {
        x = window.left() - kGap - preview.width();
    }
    if (x < area.left()) {
        x = std::max(area.left(), area.right() + 1 - preview.width());
    }
    const int lowest = std::max(area.top(), area.bottom() + 1 - preview.height());
    const int y = std::clamp(window.top(), area.top(), lowest);
    return QPoint(x, y);
}

void CVornakCapture::PlacePreviewBesideWindow() {
    const QWidget* main = window();
    const QRect frame = main->frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (screen == nullptr) {
        screen = main->screen();
    }
    if (screen == nullptr) {
        return;
    }
    const QPoint place = PreviewPlace(frame, m_pPreview->size(), screen->availableGeometry());
    m_pPreview->PlaceAutomatically(place);
}

bool CVornakCapture::BuildPreviewGraph() {
    const QSize client = m_pPreview->ClientSize();
    CPreviewFrame* frame = m_pPreview.get();
    return m_session.BuildPreviewGraph(
        frame, client.width(), client.height(),
        [frame](IVMRWindowlessControl* windowless) { frame->SetWindowless(windowless); });
}

bool CVornakCapture::PreviewChecked() const {
    return m_preview->isChecked();
}

void CVornakCapture::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timerId) {
        CPageWithLog::timerEvent(event);
        return;
    }
    OnTimer();
}

void CVornakCapture::OnTimer() {
    ShowTimecode();
    // The log box is brought up to date every other tick, twice a second.
    if (m_nTick % 2 == 0) {
        FlushLog();
    }
    m_session.TimerSteps(m_nTick);
    ++m_nTick;
}

void CVornakCapture::ShowTimecode() {
    m_timecode->setText(QString::fromLatin1(m_session.TimecodeText()));
}

void CVornakCapture::OnRecord() {
    CaptureOptions options;
    options.folder = ToSetting(m_outputDir->text());
    options.fileName = ToSetting(m_fileName->text());
    options.sceneSplit = m_scenesSplit->isChecked();
    options.dateTimeNaming = m_nTimestampMode == 1;
    options.syncAudio = m_syncAudio->isChecked();
    options.midScenes = m_midScenes->isChecked();
    options.dateTimeFormat = ToSetting(m_dateTimeFormat->text());
    options.healthReport = m_healthReport->isChecked();
    m_session.OnRecord(options);
}

int CVornakCapture::OnGraphEvent() {
    m_session.OnGraphEvent();
    return 1;
}

void CVornakCapture::PostMessage(UINT msg, WPARAM, LPARAM) {
    if (msg != WM_USER) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { OnGraphEvent(); }, Qt::QueuedConnection);
}

void CVornakCapture::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void CVornakCapture::ShowMessage(LogSeverity severity, const std::string& text) {
    // The box may be opened from the timer, which does not tick again until it closes: the log
    // is brought up to date first, so that it shows what the box is about.
    FlushLog();
    MessageService& boxes = MessageService::Instance();
    const QString shown = FromSetting(text);
    if (IsError(severity)) {
        boxes.Error(this, QString(), shown);
    } else if (severity == LogSeverity::Warning) {
        boxes.Warning(this, QString(), shown);
    } else {
        boxes.Information(this, QString(), shown);
    }
}

void CVornakCapture::SetDroppedText(const std::string& text) {
    m_dropped->setText(QString::fromLatin1(text));
}

void CVornakCapture::SetElapsedText(const std::string& text) {
    m_elapsed->setText(QString::fromLatin1(text));
}

bool CVornakCapture::StopOnDropped() const {
    return m_stopOnDropped->isChecked();
}

// A run, or a preview the user is watching, goes on while the other page is shown.
bool CVornakCapture::KeepRunning() const {
    return m_session.Present() &&
           (m_session.InCapture() || (m_session.PreviewOk() && m_session.PreviewRunning()));
}

void CVornakCapture::OnKillActive() {
    if (!KeepRunning()) {
        StopPageTimer();
        m_session.ReleaseGraph();
        m_session.ResetDeviceState();
    }
}

void CVornakCapture::OnSetActive() {
    if (!KeepRunning()) {
        if (m_session.GraphBuilt()) {
            m_session.ReleaseGraph();
        }
        m_session.ResetDeviceState();
        UpdateControls();
        m_nTick = 0;
        StopPageTimer();
        StartPageTimer();
    }
}

void CVornakCapture::Shutdown() {
    if (m_bShutDown) {
        return;
    }
    m_bShutDown = true;
    if (m_session.InCapture()) {
        m_session.StopRun();
    } else {
        m_session.SendTransportMode(ED_MODE_STOP);
    }
    StopPageTimer();
    m_session.ReleaseGraph();
    m_session.ResetDeviceState();
}

void CVornakCapture::OnNamingCount() {
    m_nTimestampMode = 0;
    m_dateTimeFormat->setEnabled(false);
}

void CVornakCapture::OnNamingDateTime() {
    m_nTimestampMode = 1;
    m_dateTimeFormat->setEnabled(true);
}

void CVornakCapture::OnScenesSplit() {
    EnableSplitOptions(m_scenesSplit->isChecked());
}

void CVornakCapture::EnableSplitOptions(bool enable) {
    SetEnabled({m_midScenes, m_count, m_dateTime, m_syncAudio}, enable);
    // One file for the whole capture has no scenes to name: the pattern does not apply.
    m_dateTimeFormat->setEnabled(enable && m_nTimestampMode == 1);
}

}  // namespace vornak
