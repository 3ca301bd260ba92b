#include "CPreviewFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace vornak {
namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kRed = 0xFFFF0000;

// Stands in for the video renderer's windowless control and records what the window asks.
class FakeWindowless final : public IVMRWindowlessControl {
  public:
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }

    HRESULT GetNativeVideoSize(LONG* w, LONG* h, LONG*, LONG*) override {
        ++sizeQueries;
        if (Failed(sizeResult)) {
            return sizeResult;
        }
        *w = width;
        *h = height;
        return S_OK;
    }
    HRESULT SetVideoPosition(const RECT* s, const RECT* d) override {
        sources.push_back(*s);
        destinations.push_back(*d);
        return S_OK;
    }
    HRESULT GetVideoPosition(RECT*, RECT*) override { return E_NOTIMPL; }
    HRESULT RepaintVideo(HWND hwnd, HDC hdc) override {
        ++repaints;
        window = hwnd;
        // A small red picture in the top-left corner of the client area.
        const std::vector<std::uint8_t> red(kPicture * kPicture * 4, 0);
        std::vector<std::uint8_t> bgra(red);
        for (std::size_t i = 0; i < bgra.size(); i += 4) {
            bgra[i + 2] = 0xFF;
            bgra[i + 3] = 0xFF;
        }
        hdc->DrawPicture(bgra.data(), kPicture, kPicture, kPicture * 4, 0, 0);
        return S_OK;
    }
    HRESULT DisplayModeChanged() override {
        ++displayChanges;
        return S_OK;
    }
    HRESULT SetVideoClippingWindow(HWND hwnd) override {
        clippingWindows.push_back(hwnd);
        return S_OK;
    }

    static constexpr int kPicture = 4;
    HRESULT sizeResult = S_OK;
    LONG width = 1440;
    LONG height = 1088;
    int refs = 0;
    int sizeQueries = 0;
    int repaints = 0;
    int displayChanges = 0;
    HWND window = nullptr;
    std::vector<RECT> sources;
    std::vector<RECT> destinations;
    std::vector<HWND> clippingWindows;
};

void ExpectRect(const RECT& r, int left, int top, int right, int bottom) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

class PreviewFrameTest : public ::testing::Test {
  protected:
    void TearDown() override { frame.SetWindowless(nullptr); }
    // Outer size; the client area is 2 pixels narrower and lower.
    void ShowSized(int width, int height) {
        frame.resize(width, height);
        frame.show();
        QCoreApplication::processEvents();
    }

    FakeWindowless windowless;
    CPreviewFrame frame;
};

TEST_F(PreviewFrameTest, BorderTakesOnePixelOnEachSide) {
    EXPECT_FALSE(frame.isVisible());  // until the page shows it
    ShowSized(482, 272);
    EXPECT_EQ(frame.ClientSize(), QSize(480, 270));
    frame.SetWindowless(&windowless);
    ASSERT_FALSE(windowless.destinations.empty());
    ExpectRect(windowless.destinations.back(), 0, 0, 480, 270);
}

TEST_F(PreviewFrameTest, TallPictureLosesFourLinesAtTopAndBottom) {
    ShowSized(962, 542);
    frame.SetWindowless(&windowless);
    ASSERT_EQ(windowless.sources.size(), 1u);
    ExpectRect(windowless.sources[0], 0, 4, 1440, 1084);
    ExpectRect(windowless.destinations[0], 0, 0, 960, 540);

    // A new size fits the picture again and paints at once, before any event is processed.
    const int repaints = windowless.repaints;
    frame.resize(1922, 1082);
    ASSERT_EQ(windowless.sources.size(), 2u);
    ExpectRect(windowless.destinations[1], 0, 0, 1920, 1080);
    EXPECT_GT(windowless.repaints, repaints);
    EXPECT_EQ(windowless.window, static_cast<IVideoClipWindow*>(&frame));
}

TEST_F(PreviewFrameTest, PicturesOf1080LinesOrFewerAreNotCropped) {
    ShowSized(482, 272);
    windowless.width = 1280;
    windowless.height = 720;
    frame.SetWindowless(&windowless);
    windowless.width = 1920;
    windowless.height = 1080;
    frame.resize(242, 137);
    ASSERT_EQ(windowless.sources.size(), 2u);
    ExpectRect(windowless.sources[0], 0, 0, 1280, 720);
    ExpectRect(windowless.sources[1], 0, 0, 1920, 1080);
    ExpectRect(windowless.destinations[1], 0, 0, 240, 135);
}

TEST_F(PreviewFrameTest, FailedSizeQuerySetsNoPositionButRepaints) {
    ShowSized(482, 272);
    windowless.sizeResult = VFW_E_NOT_CONNECTED;
    frame.SetWindowless(&windowless);
    EXPECT_EQ(windowless.sizeQueries, 1);
    EXPECT_TRUE(windowless.sources.empty());
    EXPECT_EQ(windowless.repaints, 1);
}

TEST_F(PreviewFrameTest, WithoutRendererTheClientAreaIsBlack) {
    frame.resize(60, 40);
    const QImage shot = frame.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(60, 40));
    for (int y = 1; y < 39; y += 3) {
        for (int x = 1; x < 59; x += 3) {
            ASSERT_EQ(shot.pixel(x, y), kBlack) << x << "," << y;
        }
    }
    EXPECT_EQ(shot.pixel(58, 38), kBlack);
    // The border is not black: it shows where the window ends.
    EXPECT_NE(shot.pixel(0, 0), kBlack);
    EXPECT_NE(shot.pixel(59, 39), kBlack);
}

TEST_F(PreviewFrameTest, RendererDrawsInsideTheBorder) {
    frame.resize(60, 40);
    frame.SetWindowless(&windowless);
    const QImage shot = frame.grab().toImage();
    EXPECT_EQ(shot.pixel(1, 1), kRed);
    EXPECT_EQ(shot.pixel(FakeWindowless::kPicture, FakeWindowless::kPicture), kRed);
    EXPECT_NE(shot.pixel(0, 0), kRed);
    EXPECT_EQ(shot.pixel(FakeWindowless::kPicture + 1, 1), kBlack);
}

TEST_F(PreviewFrameTest, EnterAndEscapeDoNothing) {
    ShowSized(482, 272);
    frame.Move(50, 60);
    frame.setFocus();
    const QRect before = frame.geometry();
    for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&frame, &press);
        QCoreApplication::sendEvent(&frame, &release);
        QCoreApplication::processEvents();
        EXPECT_TRUE(press.isAccepted());
    }
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(frame.geometry(), before);
}

TEST_F(PreviewFrameTest, DraggingWithTheLeftButtonMovesTheWindow) {
    ShowSized(482, 272);
    frame.Move(100, 100);
    EXPECT_EQ(frame.pos(), QPoint(100, 100));
    EXPECT_EQ(frame.X(), 100);
    EXPECT_EQ(frame.Y(), 100);
    // The offscreen platform has no move of its own: the window follows the mouse by hand.
    const QPointF local(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, local, QPointF(110, 110), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &press);
    QMouseEvent drag(QEvent::MouseMove, local, QPointF(150, 170), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &drag);
    QMouseEvent release(QEvent::MouseButtonRelease, local, QPointF(150, 170), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &release);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.X(), 140);
    EXPECT_EQ(frame.Y(), 160);

    // Once released, moving the mouse leaves the window where it is.
    QMouseEvent hover(QEvent::MouseMove, local, QPointF(300, 300), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &hover);
    EXPECT_EQ(frame.X(), 140);
}

TEST_F(PreviewFrameTest, OnlyADraggedPlaceIsTheUsers) {
    ShowSized(482, 272);
    frame.PlaceAutomatically(QPoint(100, 100));
    EXPECT_FALSE(frame.UserPlaced());
    EXPECT_EQ(frame.pos(), QPoint(100, 100));

    const QPointF local(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, local, QPointF(110, 110), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &press);
    QMouseEvent drag(QEvent::MouseMove, local, QPointF(130, 140), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &drag);
    EXPECT_TRUE(frame.UserPlaced());
    EXPECT_EQ(frame.pos(), QPoint(120, 130));

    // Placed by the program again, the place is no longer the user's.
    frame.PlaceAutomatically(QPoint(10, 20));
    EXPECT_FALSE(frame.UserPlaced());
}

TEST_F(PreviewFrameTest, StaysOnItsScreenAndFitsLargeFramesToIt) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // Larger than the screen: the picture keeps its shape, the border its pixel.
    frame.Move(area.left() + 40, area.top() + 30);
    EXPECT_TRUE(frame.SetFrameSize(QSize(1922, 1082)));
    EXPECT_EQ(frame.size(), CPreviewFrame::FitSize(QSize(1922, 1082), area.size()));
    EXPECT_TRUE(area.contains(frame.geometry())) << frame.x() << "," << frame.y();

    // A kept place that would leave part of the window off the screen is pulled back on it
    // when the window is shown.
    frame.SetFrameSize(QSize(242, 137));
    frame.Move(area.right() - 100, area.bottom() - 50);
    frame.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.geometry(), QRect(area.right() + 1 - 242, area.bottom() + 1 - 137, 242, 137));
}

TEST(PreviewFrame, FitSizeAndKeptInside) {
    struct FitCase {
        QSize outer, area, expected;
    };
    const FitCase fits[] = {
        {{1922, 1082}, {1600, 1000}, {1600, 900}},   // width-bound
        {{1922, 1082}, {1920, 1080}, {1918, 1080}},  // height-bound by the border
        {{482, 272}, {1600, 1000}, {482, 272}},      // smaller: unchanged
    };
    for (const FitCase& c : fits) {
        EXPECT_EQ(CPreviewFrame::FitSize(c.outer, c.area), c.expected)
            << c.outer.width() << "x" << c.outer.height() << " in " << c.area.width() << "x"
            << c.area.height();
    }

    struct KeepCase {
        QRect frame;
        QPoint expected;
    };
    const QRect area(0, 0, 1600, 1000);
    const KeepCase keeps[] = {
        {QRect(100, 100, 482, 272), QPoint(100, 100)},    // inside: unmoved
        {QRect(1400, 900, 482, 272), QPoint(1118, 728)},  // over the right and bottom edges
        {QRect(300, 50, 1922, 1082), QPoint(0, 0)},       // larger: its top-left corner shows
    };
    for (const KeepCase& c : keeps) {
        EXPECT_EQ(CPreviewFrame::KeptInside(c.frame, area), c.expected)
            << c.frame.x() << "," << c.frame.y();
    }
}

TEST(PreviewFrame, IsAToolWindowOfTheMainWindow) {
    QWidget main;
    QWidget page(&main);
    main.resize(300, 200);
    main.show();
    CPreviewFrame frame;
    frame.PlaceAutomatically(QPoint(320, 0));
    frame.SetOwner(&page);  // the page's window is the one it stays above
    frame.resize(242, 137);
    frame.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.parentWidget(), &main);
    EXPECT_EQ(frame.windowType(), Qt::Tool);
    ASSERT_NE(frame.windowHandle(), nullptr);
    EXPECT_EQ(frame.windowHandle()->transientParent(), main.windowHandle());
    EXPECT_EQ(frame.pos(), QPoint(320, 0));  // a new owner keeps the place
    EXPECT_FALSE(frame.UserPlaced());
}

TEST_F(PreviewFrameTest, DisplayChangeReachesTheRenderer) {
    QEvent change(QEvent::ScreenChangeInternal);
    QCoreApplication::sendEvent(&frame, &change);  // no renderer: nothing to tell
    frame.SetWindowless(&windowless);
    QCoreApplication::sendEvent(&frame, &change);
    EXPECT_EQ(windowless.displayChanges, 1);
}

TEST_F(PreviewFrameTest, InvalidateFromAnotherThreadRepaintsOnTheWindowsThread) {
    ShowSized(482, 272);
    frame.SetWindowless(&windowless);
    const int before = windowless.repaints;
    std::thread stream([this] {
        for (int i = 0; i < 50; ++i) {
            frame.InvalidateVideo();
        }
    });
    stream.join();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (windowless.repaints == before && std::chrono::steady_clock::now() < limit) {
        QCoreApplication::processEvents();
    }
    EXPECT_GT(windowless.repaints, before);
    // Requests that came faster than the window painted were folded together.
    EXPECT_LT(windowless.repaints - before, 50);
}

TEST(PreviewFrame, TellsTheRendererToForgetItWhenDestroyed) {
    FakeWindowless windowless;
    {
        CPreviewFrame frame;
        frame.SetWindowless(&windowless);
    }
    ASSERT_EQ(windowless.clippingWindows.size(), 1u);
    EXPECT_EQ(windowless.clippingWindows[0], nullptr);
    EXPECT_EQ(windowless.refs, 0);  // never referenced
}

}  // namespace
}  // namespace vornak
