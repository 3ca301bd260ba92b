#include "CVornakSheets.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <iostream>
#include <string>

#include "AppIcon.h"
#include "CAboutDlg.h"
#include "CVornakCapture.h"
#include "CVornakScenes.h"
#include "MessageService.h"

namespace vornak {

namespace {

constexpr char kKeyPosX[] = "pos_x";
constexpr char kKeyPosY[] = "pos_y";
constexpr char kKeySizeW[] = "size_w";
constexpr char kKeySizeH[] = "size_h";
constexpr char kKeyMaximized[] = "maximized";
constexpr char kAboutText[] = "&About Vornak...";

}  // namespace

CVornakSheets::CVornakSheets()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                           Qt::WindowCloseButtonHint),
      m_settingsFile([this](const std::string& line) { ReportSettingsProblem(line); }),
      m_scenesPage(std::make_unique<CVornakScenes>()),
      m_capturePage(std::make_unique<CVornakCapture>()) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(MakeAppIcon());
    BuildWindow();
}

CVornakSheets::~CVornakSheets() {
    // The pages leave the tabs as they go, which would report them shown to pages half gone.
    disconnect(m_tabs, &QTabWidget::currentChanged, this, &CVornakSheets::OnPageShown);
    if (m_captureShown) {
        m_capturePage->SavePageSettings();
    }
    if (m_scenesShown) {
        m_scenesPage->SavePageSettings();
    }
    SaveSettings();
    // The map is about to go; nothing may write into it any more.
    m_capturePage->SetSettings(nullptr);
    m_scenesPage->SetSettings(nullptr);
}

void CVornakSheets::BuildWindow() {
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(m_capturePage.get(), QStringLiteral("Capturing"));
    m_tabs->addTab(m_scenesPage.get(), QStringLiteral("Scenes splitting"));

    // Window managers own the system menu here, so the about item lives in the tab bar: in its
    // context menu and behind a small button in its corner.
    m_aboutAction = new QAction(QString::fromLatin1(kAboutText), this);
    m_aboutAction->setObjectName(QString::number(kIdAbout));
    connect(m_aboutAction, &QAction::triggered, this, &CVornakSheets::ShowAbout);
    m_tabs->tabBar()->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_tabs->tabBar()->addAction(m_aboutAction);

    auto* menu = new QMenu(this);
    menu->addAction(m_aboutAction);
    auto* corner = new QToolButton(m_tabs);
    corner->setObjectName(QStringLiteral("menu"));
    corner->setAutoRaise(true);
    corner->setArrowType(Qt::DownArrow);
    corner->setPopupMode(QToolButton::InstantPopup);
    corner->setMenu(menu);
    corner->setToolTip(QStringLiteral("About Vornak"));
    // The arrow already says that a menu opens; the style's extra indicator would repeat it.
    corner->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    m_tabs->setCornerWidget(corner, Qt::TopRightCorner);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    // The window may grow (the log boxes take the room) but not shrink below what the pages'
    // controls need.
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(m_tabs, &QTabWidget::currentChanged, this, &CVornakSheets::OnPageShown);
    connect(m_capturePage.get(), &CPageWithLog::exitRequested, this, &QWidget::close);
    connect(m_scenesPage.get(), &CPageWithLog::exitRequested, this, &QWidget::close);
}

bool CVornakSheets::Create() {
    m_posX = pos().x();
    m_posY = pos().y();
    LoadSettings();
    m_capturePage->SetSettings(&m_settings);
    m_scenesPage->SetSettings(&m_settings);

    m_tabs->setCurrentIndex(kCapturePageIndex);
    OnPageShown(kCapturePageIndex);
    // As large as the pages ask, as the window has always opened; adjustSize() would cap the
    // height at two thirds of the screen.
    resize(sizeHint());
    RestoreSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    m_posX = pos().x();
    m_posY = pos().y();
    m_width = width();
    m_height = height();

    // A position is applied only when both coordinates were kept, and then exactly as kept,
    // even off the screen.
    if (const std::string* x = FindSetting(&m_settings, kKeyPosX)) {
        m_posX = StrToIntA(*x);
        if (const std::string* y = FindSetting(&m_settings, kKeyPosY)) {
            m_posY = StrToIntA(*y);
            move(m_posX, m_posY);
        }
    }

    // Showing delivers the moves made while hidden once more; they are already accounted for.
    // A window left maximised opens maximised, over its normal place and size.
    const std::string* maximized = FindSetting(&m_settings, kKeyMaximized);
    m_trackMoves = false;
    if (maximized != nullptr && *maximized == "1") {
        showMaximized();
    } else {
        show();
    }
    m_trackMoves = true;
    if (!isMaximized()) {
        m_width = width();
        m_height = height();
    }
    return isVisible();
}

void CVornakSheets::RestoreSize() {
    // Without both keys (a file of an earlier version) the window keeps the size its pages ask
    // for. A kept size never cuts into the controls.
    const std::string* w = FindSetting(&m_settings, kKeySizeW);
    const std::string* h = FindSetting(&m_settings, kKeySizeH);
    if (w == nullptr || h == nullptr) {
        return;
    }
    resize(QSize(StrToIntA(*w), StrToIntA(*h)).expandedTo(minimumSizeHint()));
}

void CVornakSheets::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CVornakSheets::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // A maximised window comes back at its place from before it was maximised.
    if (m_trackMoves && !isMaximized() && !isFullScreen()) {
        m_posX = pos().x();
        m_posY = pos().y();
    }
}

void CVornakSheets::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A maximised window comes back at its size from before it was maximised.
    if (!isMaximized() && !isFullScreen()) {
        m_width = width();
        m_height = height();
    }
}

void CVornakSheets::CloseWithoutAsking() {
    m_bCloseWithoutAsking = true;
    close();
}

bool CVornakSheets::MayStopTheWork() {
    MessageService& boxes = MessageService::Instance();
    const QString stopAndQuit = QString::fromLatin1(kStopAndQuit);
    if (m_capturePage->Session().InCapture() &&
        !boxes.Confirm(this, QString(), QString::fromLatin1(kCaptureRunningQuestion),
                       stopAndQuit)) {
        return false;
    }
    if (m_scenesPage->IsRunning() &&
        !boxes.Confirm(this, QString(), QString::fromLatin1(kSplitRunningQuestion), stopAndQuit)) {
        return false;
    }
    return true;
}

void CVornakSheets::closeEvent(QCloseEvent* event) {
    if (!m_bCloseWithoutAsking && !MayStopTheWork()) {
        event->ignore();
        return;
    }
    // A split in progress writes into files and into the page's log; it ends before the window.
    m_scenesPage->StopAndWait();
    m_capturePage->Shutdown();
    event->accept();
    emit windowClosed();
}

void CVornakSheets::OnPageShown(int index) {
    if (m_shownPage == kCapturePageIndex && index != kCapturePageIndex) {
        m_capturePage->OnKillActive();
    }
    const bool captureActivated = index == kCapturePageIndex && m_shownPage != index;
    m_shownPage = index;
    // A page reads its keys the first time it is shown; one never shown leaves them as loaded.
    if (index == kCapturePageIndex && !m_captureShown) {
        m_captureShown = true;
        m_capturePage->LoadPageSettings();
    } else if (index == kScenesPageIndex && !m_scenesShown) {
        m_scenesShown = true;
        m_scenesPage->LoadPageSettings();
    }
    if (captureActivated) {
        m_capturePage->OnSetActive();
    }
}

void CVornakSheets::LoadSettings() {
    m_settingsFile.Load(m_settings);
}

void CVornakSheets::SaveSettings() {
    m_settings[kKeyPosX] = std::to_string(m_posX);
    m_settings[kKeyPosY] = std::to_string(m_posY);
    m_settings[kKeySizeW] = std::to_string(m_width);
    m_settings[kKeySizeH] = std::to_string(m_height);
    m_settings[kKeyMaximized] = isMaximized() ? "1" : "0";
    // A failure loses only this run's changes: the old file stays whole.
    (void)m_settingsFile.Save(m_settings);
}

void CVornakSheets::ReportSettingsProblem(const std::string& line) {
    // The terminal hears of it in any case, the log while the window is there to show it.
    std::cerr << "vornak: " << line << std::endl;
    m_capturePage->AddLog(LogSeverity::Warning, line);
}

}  // namespace vornak
