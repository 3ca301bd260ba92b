#include "TransportIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPolygonF>

namespace vornak {

namespace {

constexpr int kIconSize = 16;
// Drawing happens at twice the size so that the icon stays sharp on high-density screens.
constexpr qreal kScale = 2.0;
const QColor kRecordRed(200, 30, 30);

void Triangle(QPainter& painter, qreal left, qreal right, bool pointsRight) {
    constexpr qreal kTop = 3.5;
    constexpr qreal kBottom = 12.5;
    constexpr qreal kMiddle = 8.0;
    QPolygonF shape;
    if (pointsRight) {
        shape << QPointF(left, kTop) << QPointF(right, kMiddle) << QPointF(left, kBottom);
    } else {
        shape << QPointF(right, kTop) << QPointF(left, kMiddle) << QPointF(right, kBottom);
    }
    painter.drawPolygon(shape);
}

void Draw(QPainter& painter, TransportIcon kind) {
    switch (kind) {
        case TransportIcon::kRewind:
            Triangle(painter, 1.5, 8.0, false);
            Triangle(painter, 8.0, 14.5, false);
            break;
        case TransportIcon::kPlay:
            Triangle(painter, 4.5, 12.5, true);
            break;
        case TransportIcon::kFastForward:
            Triangle(painter, 1.5, 8.0, true);
            Triangle(painter, 8.0, 14.5, true);
            break;
        case TransportIcon::kPause:
            painter.drawRect(QRectF(4.0, 3.5, 3.0, 9.0));
            painter.drawRect(QRectF(9.0, 3.5, 3.0, 9.0));
            break;
        case TransportIcon::kStop:
            painter.drawRect(QRectF(4.0, 4.0, 8.0, 8.0));
            break;
        case TransportIcon::kRecord:
            painter.drawEllipse(QRectF(3.5, 3.5, 9.0, 9.0));
            break;
    }
}

QPixmap Render(TransportIcon kind, const QColor& colour) {
    QPixmap pixmap(static_cast<int>(kIconSize * kScale), static_cast<int>(kIconSize * kScale));
    pixmap.setDevicePixelRatio(kScale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    Draw(painter, kind);
    return pixmap;
}

}  // namespace

QIcon MakeTransportIcon(TransportIcon kind) {
    const QPalette palette = QApplication::palette();
    QIcon icon;
    const QColor normal = kind == TransportIcon::kRecord
                              ? kRecordRed
                              : palette.color(QPalette::Active, QPalette::ButtonText);
    icon.addPixmap(Render(kind, normal), QIcon::Normal);
    icon.addPixmap(Render(kind, palette.color(QPalette::Disabled, QPalette::ButtonText)),
                   QIcon::Disabled);
    return icon;
}

}  // namespace vornak
