// The program's one window, "Vornak 0.77 Beta": the pages "Capturing" and "Scenes splitting"
// in tabs, the about item, the remembered position and size, and the settings file.
#pragma once

#include <QWidget>

#include <memory>

#include "SettingsFile.h"
#include "SettingsMap.h"

class QAction;
class QTabWidget;

namespace vornak {

class CVornakCapture;
class CVornakScenes;

class CVornakSheets : public QWidget {
    Q_OBJECT

  public:
    static constexpr char kCaption[] = "Vornak 0.77 Beta";
    // The question asked when the window is closed during a run, and its accepting button.
    static constexpr char kCaptureRunningQuestion[] = "A capture is running. Stop it and quit?";
    static constexpr char kSplitRunningQuestion[] = "Scenes are being split. Stop and quit?";
    static constexpr char kStopAndQuit[] = "Stop and quit";
    static constexpr int kIdAbout = 16;
    static constexpr int kCapturePageIndex = 0;
    static constexpr int kScenesPageIndex = 1;

    CVornakSheets();
    // Lets the pages write their keys, writes the settings file, then ends the pages.
    ~CVornakSheets() override;

    CVornakSheets(const CVornakSheets&) = delete;
    CVornakSheets& operator=(const CVornakSheets&) = delete;

    // Reads the settings, shows the first page, places the window (centred, or where it was
    // left) and shows it. False when the window cannot be shown.
    bool Create();

    // The about box, modal.
    void ShowAbout();

    CVornakCapture* CapturePage() const { return m_capturePage.get(); }
    CVornakScenes* ScenesPage() const { return m_scenesPage.get(); }
    QTabWidget* Tabs() const { return m_tabs; }
    QAction* AboutAction() const { return m_aboutAction; }
    // The remembered top-left corner, written as pos_x and pos_y.
    QPoint RememberedPosition() const { return QPoint(m_posX, m_posY); }
    // The remembered size, written as size_w and size_h.
    QSize RememberedSize() const { return QSize(m_width, m_height); }
    // The settings file in use.
    const std::string& SettingsPath() const { return m_settingsFile.Path(); }

    // Closes the window without asking, even during a run (a termination signal).
    void CloseWithoutAsking();

  signals:
    // The window was closed (its close button or a page's "Exit"): the program ends.
    void windowClosed();

  protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildWindow();
    void LoadSettings();
    void SaveSettings();
    void OnPageShown(int index);
    void RestoreSize();
    // Asks whether a capture run or a split may be stopped; true when nothing runs.
    bool MayStopTheWork();
    void ReportSettingsProblem(const std::string& line);

    // Declared before the pages so that it outlives them: they write into it until the end.
    SettingsMap m_settings;
    SettingsFile m_settingsFile;
    int m_posX = 0;
    int m_posY = 0;
    int m_width = 0;
    int m_height = 0;
    std::unique_ptr<CVornakScenes> m_scenesPage;
    std::unique_ptr<CVornakCapture> m_capturePage;
    bool m_captureShown = false;
    int m_shownPage = -1;  // the page whose tab is chosen; none before the window is made
    bool m_scenesShown = false;
    bool m_trackMoves = true;
    bool m_bCloseWithoutAsking = false;
    QTabWidget* m_tabs = nullptr;
    QAction* m_aboutAction = nullptr;
};

}  // namespace vornak
