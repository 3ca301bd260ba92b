#include "CPreviewFrame.h"

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include <algorithm>

namespace vornak {
namespace {

// The coded height of HDV's 1080-line pictures is 1088: the 4 lines above and below the 1080
// are not part of the picture.
constexpr LONG kShownLines = 1080;
constexpr LONG kCropLines = 4;
constexpr QColor kBorderColor{0x80, 0x80, 0x80};
// A tool window of the main window: kept above it, without a caption.
constexpr Qt::WindowFlags kWindowFlags = Qt::Tool | Qt::FramelessWindowHint;

// What the renderer draws on during one paint: the window's painter, moved inside the border.
class PainterCanvas final : public IVideoCanvas {
  public:
    explicit PainterCanvas(QPainter& painter) : m_painter(painter) {}

    void DrawPicture(const std::uint8_t* bgra, int width, int height, int stride, int x,
                     int y) override {
        // Blue, green, red, alpha in memory is what Qt calls 32-bit RGB on this byte order.
        const QImage picture(bgra, width, height, stride, QImage::Format_RGB32);
        m_painter.drawImage(QPoint(x, y), picture);
    }
    void FillBlack(const RECT& rect) override {
        m_painter.fillRect(
            QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1)), Qt::black);
    }

  private:
    QPainter& m_painter;
};

}  // namespace

CPreviewFrame::CPreviewFrame(QWidget* parent) : QWidget(parent, kWindowFlags) {
    setObjectName(QStringLiteral("CPreviewFrame"));
    // Every pixel is painted each time: no background fill before the paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_x = x();
    m_y = y();
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this] { OnDisplayChange(); });
}

CPreviewFrame::~CPreviewFrame() {
    // The renderer must not call into a window that is gone.
    if (m_pWindowless != nullptr) {
        m_pWindowless->SetVideoClippingWindow(nullptr);
    }
}

void CPreviewFrame::SetWindowless(IVMRWindowlessControl* windowless) {
    m_pWindowless = windowless;
    const QSize client = ClientSize();
    OnSize(client.width(), client.height());
}

void CPreviewFrame::SetOwner(QWidget* owner) {
    QWidget* const window = owner != nullptr ? owner->window() : nullptr;
    if (window == parentWidget() || window == this) {
        return;
    }
    // A new parent hides the window and forgets its flags; its place is kept.
    const QPoint corner = pos();
    setParent(window, kWindowFlags);
    move(corner);
}

void CPreviewFrame::Move(int x, int y) {
    MoveByProgram(QPoint(x, y));
    m_bUserPlaced = true;
}

void CPreviewFrame::PlaceAutomatically(const QPoint& corner) {
    MoveByProgram(corner);
    m_bUserPlaced = false;
}

void CPreviewFrame::MoveByProgram(const QPoint& corner) {
    m_bSystemMove = false;
    m_bProgramMove = true;
    move(corner);
    m_bProgramMove = false;
    m_x = corner.x();
    m_y = corner.y();
}

bool CPreviewFrame::SetFrameSize(const QSize& outer) {
    const QSize fitted = FitSize(outer, ScreenArea().size());
    const bool changed = fitted != size();
    resize(fitted);
    KeepOnScreen();
    return changed;
}

void CPreviewFrame::KeepOnScreen() {
    const QPoint kept = KeptInside(geometry(), ScreenArea());
    if (kept != pos()) {
        MoveByProgram(kept);
    }
}

QRect CPreviewFrame::ScreenArea() const {
    const QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (screen == nullptr && parentWidget() != nullptr) {
        screen = parentWidget()->screen();
    }
    if (screen == nullptr) {
        screen = QWidget::screen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect(pos(), size());
}

QSize CPreviewFrame::FitSize(const QSize& outer, const QSize& area) {
    if (outer.width() <= area.width() && outer.height() <= area.height()) {
        return outer;
    }
    const QSize border(2 * kBorderWidth, 2 * kBorderWidth);
    const QSize client = (outer - border).expandedTo(QSize(1, 1));
    const QSize room = (area - border).expandedTo(QSize(1, 1));
    return client.scaled(room, Qt::KeepAspectRatio) + border;
}

QPoint CPreviewFrame::KeptInside(const QRect& frame, const QRect& area) {
    const int x =
        std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
    const int y =
        std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
    return QPoint(x, y);
}

QSize CPreviewFrame::ClientSize() const {
    return QSize(std::max(width() - 2 * kBorderWidth, 0), std::max(height() - 2 * kBorderWidth, 0));
}

void CPreviewFrame::InvalidateVideo() {
    if (m_bRepaintQueued.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bRepaintQueued.store(false, std::memory_order_release);
            update();
        },
        Qt::QueuedConnection);
}

void CPreviewFrame::OnSize(int cx, int cy) {
    if (m_pWindowless == nullptr) {
        return;
    }
    LONG width = 0;
    LONG height = 0;
    if (Succeeded(m_pWindowless->GetNativeVideoSize(&width, &height, nullptr, nullptr))) {
        const RECT source = height > kShownLines ? RECT{0, kCropLines, width, height - kCropLines}
                                                 : RECT{0, 0, width, height};
        const RECT destination{0, 0, cx, cy};
        m_pWindowless->SetVideoPosition(&source, &destination);
    }
    repaint();
}

void CPreviewFrame::OnDisplayChange() {
    if (m_pWindowless != nullptr) {
        m_pWindowless->DisplayModeChanged();
    }
}

bool CPreviewFrame::event(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal) {
        OnDisplayChange();
    }
    return QWidget::event(event);
}

void CPreviewFrame::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape neither close the window nor act on anything.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CPreviewFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    QWindow* window = windowHandle();
    if (window != nullptr && window->startSystemMove()) {
        m_bSystemMove = true;
        return;  // the window system moves it; moveEvent follows
    }
    m_bDragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void CPreviewFrame::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bDragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        m_bDragging = false;
        return;
    }
    event->accept();
    const QPoint corner = event->globalPosition().toPoint() - m_dragOffset;
    if (corner != pos()) {
        Move(corner.x(), corner.y());
    }
}

void CPreviewFrame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bDragging = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void CPreviewFrame::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (m_bSystemMove && !m_bProgramMove && isVisible()) {
        m_bUserPlaced = true;
    }
    m_x = x();
    m_y = y();
}

void CPreviewFrame::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A kept place from a larger screen, or a larger size chosen since, must not leave part of
    // the picture out of sight.
    KeepOnScreen();
}

void CPreviewFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize client = ClientSize();
    OnSize(client.width(), client.height());
}

void CPreviewFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(kBorderColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const QSize client = ClientSize();
    if (client.isEmpty()) {
        return;
    }
    painter.translate(kBorderWidth, kBorderWidth);
    painter.setClipRect(QRect(QPoint(0, 0), client));
    // Black under the picture too: whatever the renderer leaves out of its destination stays
    // black rather than showing what was there before.
    painter.fillRect(QRect(QPoint(0, 0), client), Qt::black);
    if (m_pWindowless != nullptr) {
        PainterCanvas canvas(painter);
        m_pWindowless->RepaintVideo(this, &canvas);
    }
}

}  // namespace vornak
