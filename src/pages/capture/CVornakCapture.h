// The "Capturing" page: camcorder status, tape transport, capture file naming and folder,
// split and preview options, counters and the log. Until a camcorder is recognised every
// control but "Exit" and the log is disabled.
#pragma once

#include <QPoint>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>

#include "CPageWithLog.h"
#include "SettingsMap.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace vornak {

class CVornakCapture : public CPageWithLog {
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
    void UpdateControls();

    // 0: scene files numbered; 1: scene files named by date and time.
    int TimestampMode() const { return m_nTimestampMode; }
    bool CamcorderPresent() const { return m_bPresent; }

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    void BuildControls();
    void SetDefaults();
    void OnNamingCount();
    void OnNamingDateTime();
    void OnScenesSplit();
    void EnableSplitOptions(bool enable);

    int m_nTimestampMode = 1;
    QString m_camcorderName;
    bool m_bPresent = false;
    bool m_bVcrMode = false;
    bool m_bInCapture = false;
    bool m_bHasTransport = false;
    bool m_bPreviewOk = false;
    std::uint32_t m_nTick = 0;
    std::atomic<std::uint32_t> m_nEngineDropped{0};
    // Where the preview window is to appear; kept until the preview window exists to use it.
    QPoint m_previewPos;
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
    QLabel* m_dropped = nullptr;
    QCheckBox* m_stopOnDropped = nullptr;
    QLineEdit* m_elapsed = nullptr;
};

}  // namespace vornak
