// The "Capturing" page: camcorder status, tape transport, capture file naming and folder,
// split and preview options, counters and the log. Until a camcorder is recognised every
// control but "Exit" and the log is disabled.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CPageWithLog.h"
#include "CaptureSession.h"
#include "GraphInterfaces.h"
#include "SettingsMap.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QToolButton;

namespace vornak {

class CPreviewFrame;

class CVornakCapture : public CPageWithLog, public CaptureView, private INotifyWindow {
    Q_OBJECT

  public:
    static constexpr int kTemplateId = 103;

    static constexpr int kIdOutputDirectory = 1003;
    static constexpr int kIdCount = 1006;
    static constexpr int kIdDateTime = 1007;
    static constexpr int kIdFileName = 1010;
    static constexpr int kIdOutputDir = 1012;
    static constexpr int kIdFileNameLabel = 1018;
    static constexpr int kIdCamcorderStatus = 1019;
    static constexpr int kIdCamcorderLabel = 1020;
    static constexpr int kIdRewind = 1021;
    static constexpr int kIdPlay = 1022;
    static constexpr int kIdFastForward = 1023;
    static constexpr int kIdPause = 1024;
    static constexpr int kIdStop = 1025;
    static constexpr int kIdRecord = 1026;
    static constexpr int kIdTimecode = 1027;
    static constexpr int kIdScenesSplit = 1028;
    static constexpr int kIdSyncAudio = 1029;
    static constexpr int kIdDateTimeLabel = 1030;
    static constexpr int kIdDateTimeFormat = 1031;
    static constexpr int kIdPreview = 1034;
    static constexpr int kIdFrameSize = 1035;
    static constexpr int kIdFrameSizeLabel = 1036;
    static constexpr int kIdDroppedLabel = 1038;
    static constexpr int kIdDropped = 1039;
    static constexpr int kIdStopOnDropped = 1040;
    static constexpr int kIdElapsedLabel = 1041;
    static constexpr int kIdElapsed = 1042;
    static constexpr int kIdMidScenes = 1043;
    static constexpr int kIdPreviewVolume = 1044;
    static constexpr int kIdPreviewMute = 1045;
    static constexpr int kIdHealthReport = 1046;
    // Rewind, play, fast forward, pause, stop and record: ids 1021 to 1026.
    static constexpr int kTransportButtons = 6;

    // The page's periodic timer: id and period.
    static constexpr int kTimerId = 2;
    static constexpr int kTimerPeriodMs = 250;

    explicit CVornakCapture(QWidget* parent = nullptr);
    ~CVornakCapture() override;

    void SetSettings(SettingsMap* settings) { m_pSettings = settings; }
    // Reads the capture_ keys into the controls; absent keys leave the defaults.
    void LoadPageSettings();
    // Writes every capture_ key from the controls.
    void SavePageSettings();

    void AddDropped(int pictures) override;

    // Texts and enabled states from the page state.
    void UpdateControls() override;

    // The page is shown (its tab chosen) or left for the other page. Leaving lets go of the
    // camcorder unless a run or a shown preview needs it.
    void OnSetActive();
    void OnKillActive();
    // The window is closing: ends a run (or stops the tape) and lets go of the camcorder.
    // Idempotent; the destructor calls it too.
    void Shutdown();

    // 0: scene files numbered; 1: scene files named by date and time.
    int TimestampMode() const { return m_nTimestampMode; }
    bool CamcorderPresent() const { return m_session.Present(); }
    CaptureSession& Session() { return m_session; }
    bool TimerRunning() const { return m_timerId != 0; }

    // CaptureView.
    void ShowMessage(LogSeverity severity, const std::string& text) override;
    void SetDroppedText(const std::string& text) override;
    void SetElapsedText(const std::string& text) override;
    bool StopOnDropped() const override;
    void Post(std::function<void()> call) override;
    bool BuildPreviewGraph() override;
    bool PreviewChecked() const override;

    // Shows, sizes or hides the preview window and starts or stops the preview pin, as
    // "Preview" and "Frame size:" say.
    void ApplyPreview();
    CPreviewFrame* PreviewFrame() const { return m_pPreview.get(); }
    // Outer sizes of the preview window for the "Frame size:" choices: a 1920 x 1080 picture at
    // full, half, quarter and eighth width and height, and the border.
    static constexpr int kFrameSizes[][2] = {{1922, 1082}, {962, 542}, {482, 272}, {242, 137}};
    // Where the preview opens when it has no place of its own: beside the main window's frame
    // `window` on the screen area `area`, to its right, else to its left, else at the area's
    // right edge, its top level with the window's and the whole preview on the area where it
    // fits.
    static QPoint PreviewPlace(const QRect& window, const QSize& preview, const QRect& area);

    // The handlers of the transport and record buttons (1021 to 1026).
    void OnRewind() { m_session.OnRewind(); }
    void OnPlay() { m_session.OnPlay(); }
    void OnFastForward() { m_session.OnFastForward(); }
    void OnPause() { m_session.OnPause(); }
    void OnStop() { m_session.OnStop(); }
    void OnRecord();
    // Graph events, posted by the graph as WM_USER.
    int OnGraphEvent();
    // One tick of the page's 250 ms timer: timecode, log, and the camcorder's steps.
    void OnTimer();

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    // INotifyWindow: the graph's posts become queued calls on this page's thread.
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool KeepRunning() const;
    void StartPageTimer();
    void StopPageTimer();
    void ShowTimecode();
    void BuildControls();
    void SetDefaults();
    void OnNamingCount();
    void OnNamingDateTime();
    void OnScenesSplit();
    void EnableSplitOptions(bool enable);
    void PlacePreviewBesideWindow();
    // Hands the volume slider and the mute button to the preview's sound.
    void ApplyPreviewVolume();

    std::unique_ptr<CPreviewFrame> m_pPreview;
    int m_nTimestampMode = 1;
    std::uint32_t m_nTick = 0;
    int m_timerId = 0;
    SettingsMap* m_pSettings = nullptr;

    QLineEdit* m_status = nullptr;
    std::array<QPushButton*, kTransportButtons> m_transport{};
    QLineEdit* m_timecode = nullptr;
    QCheckBox* m_scenesSplit = nullptr;
    QCheckBox* m_midScenes = nullptr;
    QCheckBox* m_syncAudio = nullptr;
    QLineEdit* m_fileName = nullptr;
    QPushButton* m_outputButton = nullptr;
    QLineEdit* m_outputDir = nullptr;
    QRadioButton* m_count = nullptr;
    QRadioButton* m_dateTime = nullptr;
    QLineEdit* m_dateTimeFormat = nullptr;
    QCheckBox* m_preview = nullptr;
    QComboBox* m_frameSize = nullptr;
    QSlider* m_volume = nullptr;
    QToolButton* m_mute = nullptr;
    QLabel* m_dropped = nullptr;
    QCheckBox* m_stopOnDropped = nullptr;
    QCheckBox* m_healthReport = nullptr;
    QLineEdit* m_elapsed = nullptr;

    // Declared last so that it goes first, while the controls it reports to still exist.
    CaptureSession m_session{this, this, this};
    bool m_bShutDown = false;
    bool m_bWasInCapture = false;  // a run was going at the last UpdateControls
};

}  // namespace vornak
