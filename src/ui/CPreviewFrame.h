// The preview window: a caption-less top-level window with a one-pixel border that the video
// renderer draws the camcorder's picture into (windowless mode). It knows nothing of capture:
// the capture page creates it hidden, shows, hides, places and sizes it; the capture graph
// hands it the renderer's windowless control and takes it back before releasing the renderer.
//
// The window keeps the picture fitted to its client area (the outer size less the border, 2
// pixels narrower and lower), lets the user drag it anywhere by pressing the left button inside
// it, and remembers where it was moved to so that the page can save and restore the place.
//
// It is a tool window of the main window: without a caption of its own it could otherwise be
// sent behind the main window by a click there and not be found again. A place the program
// chose is only a default and is never taken for the user's; the window stays on its screen
// and never opens larger than the screen.
//
// User-interface thread only, except InvalidateVideo.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <atomic>

#include "PreviewInterfaces.h"

namespace vornak {

class CPreviewFrame : public QWidget, public IVideoClipWindow {
  public:
    static constexpr int kBorderWidth = 1;

    explicit CPreviewFrame(QWidget* parent = nullptr);
    ~CPreviewFrame() override;

    // The renderer's windowless control, not referenced; null takes it away. Fits the picture
    // to the client area at once, as a size change would.
    void SetWindowless(IVMRWindowlessControl* windowless);
    IVMRWindowlessControl* Windowless() const { return m_pWindowless; }

    // Makes the window a tool window of `owner`'s window, kept above it. Call while hidden.
    void SetOwner(QWidget* owner);

    // The remembered top-left corner, screen coordinates.
    int X() const { return m_x; }
    int Y() const { return m_y; }
    // Places the window's top-left corner at (x, y), size unchanged, and remembers it as a place
    // the user chose (by dragging it there now or in an earlier session).
    void Move(int x, int y);
    // Places the window where the program sees fit; it stays the program's choice.
    void PlaceAutomatically(const QPoint& corner);
    // The user has chosen the window's place: only such a place is worth keeping.
    bool UserPlaced() const { return m_bUserPlaced; }

    // Sets the outer size, scaled down with the picture's shape kept when it is larger than the
    // window's screen, and keeps the window on that screen. True when the size changed.
    bool SetFrameSize(const QSize& outer);
    // Moves the window the least that puts it wholly on the free area of its screen.
    void KeepOnScreen();

    // `outer` as it fits into `area`: unchanged when it fits, else its client area scaled
    // down to fit with its shape kept, border added again.
    static QSize FitSize(const QSize& outer, const QSize& area);
    // The top-left corner nearest to `frame`'s that puts `frame` wholly inside `area` (its top
    // and left edges when it is larger).
    static QPoint KeptInside(const QRect& frame, const QRect& area);
    // The area inside the border.
    QSize ClientSize() const;

    // Asks for a repaint on the window's thread. Any thread; never blocks.
    void InvalidateVideo() override;

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // Fits the picture into a client area of cx x cy and repaints.
    void OnSize(int cx, int cy);
    void OnDisplayChange();
    // The free area of the screen the window is on (or of the nearest one).
    QRect ScreenArea() const;
    // Moves the window where the program wants it, not counted as the user's move.
    void MoveByProgram(const QPoint& corner);

    IVMRWindowlessControl* m_pWindowless = nullptr;  // not referenced
    int m_x = 0;
    int m_y = 0;

    // Dragging by hand where the platform has no move of its own: the press point relative to
    // the window's corner.
    bool m_bDragging = false;
    QPoint m_dragOffset;
    // The window system is moving the window for the user: the moves that follow are theirs.
    bool m_bSystemMove = false;
    bool m_bProgramMove = false;  // a move of the program's own is under way
    bool m_bUserPlaced = false;
    // One queued repaint at a time, however fast pictures arrive.
    std::atomic<bool> m_bRepaintQueued{false};
};

}  // namespace vornak
