// The preview window: a caption-less top-level window with a one-pixel border that the video
// renderer draws the camcorder's picture into (windowless mode). It knows nothing of capture:
// the capture page creates it hidden, shows, hides, places and sizes it; the capture graph
// hands it the renderer's windowless control and takes it back before releasing the renderer.
//
// The window keeps the picture fitted to its client area (the outer size less the border, 2
// pixels narrower and lower), lets the user drag it anywhere by pressing the left button inside
// it, and remembers where it was moved to so that the page can save and restore the place.
//
// User-interface thread only, except InvalidateVideo.
#pragma once

#include <QPoint>
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

    // The remembered top-left corner, screen coordinates.
    int X() const { return m_x; }
    int Y() const { return m_y; }
    // Places the window's top-left corner at (x, y), size unchanged, and remembers it.
    void Move(int x, int y);
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
    void paintEvent(QPaintEvent* event) override;

  private:
    // Fits the picture into a client area of cx x cy and repaints.
    void OnSize(int cx, int cy);
    void OnDisplayChange();

    IVMRWindowlessControl* m_pWindowless = nullptr;  // not referenced
    int m_x = 0;
    int m_y = 0;

    // Dragging by hand where the platform has no move of its own: the press point relative to
    // the window's corner.
    bool m_bDragging = false;
    QPoint m_dragOffset;
    // One queued repaint at a time, however fast pictures arrive.
    std::atomic<bool> m_bRepaintQueued{false};
};

}  // namespace vornak
