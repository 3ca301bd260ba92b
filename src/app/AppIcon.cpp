#include "AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace vornak {

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128};
// The drawing is laid out on a 64-unit square and scaled to each size.
constexpr qreal kUnits = 64.0;
const QColor kShell(40, 48, 64);
const QColor kLabel(230, 200, 90);
const QColor kWindow(20, 22, 28);
const QColor kReel(235, 235, 235);

QPixmap Render(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kUnits, size / kUnits);
    painter.setPen(Qt::NoPen);

    painter.setBrush(kShell);
    painter.drawRoundedRect(QRectF(2, 12, 60, 40), 6, 6);
    painter.setBrush(kLabel);
    painter.drawRoundedRect(QRectF(8, 16, 48, 24), 3, 3);
    painter.setBrush(kWindow);
    painter.drawRoundedRect(QRectF(16, 22, 32, 12), 6, 6);
    painter.setBrush(kReel);
    painter.drawEllipse(QPointF(22, 28), 4.5, 4.5);
    painter.drawEllipse(QPointF(42, 28), 4.5, 4.5);
    painter.setBrush(kShell);
    painter.drawEllipse(QPointF(22, 28), 1.8, 1.8);
    painter.drawEllipse(QPointF(42, 28), 1.8, 1.8);
    painter.drawRect(QRectF(18, 44, 28, 8));
    return pixmap;
}

}  // namespace

QIcon MakeAppIcon() {
    QIcon icon;
    for (int size : kSizes) {
        icon.addPixmap(Render(size));
    }
    return icon;
}

}  // namespace vornak
