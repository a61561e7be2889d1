#include "app/ui/tool_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace quillan::ui {
namespace {

constexpr int kSize = 40;  // the icon's size on a standard screen

// Draws the picture on a kSize x kSize canvas, at 1x and 2x.
QIcon drawnIcon(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(kSize * scale, kSize * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(scale, scale);
            draw(painter);
        }
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon savePictureIcon() {
    // A framed picture of a curve with an arrow going down into a tray.
    return drawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 70), 1.5));
        p.setBrush(QColor(250, 250, 255));
        p.drawRect(QRectF(3.5, 3.5, 26, 21));
        QPainterPath curve;
        curve.moveTo(6, 20);
        curve.cubicTo(11, 4, 16, 26, 21, 12);
        curve.quadTo(24, 7, 27, 9);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 60, 255), 2));
        p.drawPath(curve);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 150, 60));
        p.drawRect(QRectF(29, 14, 6, 12));
        QPolygonF arrow{QPointF(25, 25), QPointF(39, 25), QPointF(32, 33)};
        p.drawPolygon(arrow);
        p.setPen(QPen(QColor(60, 60, 70), 2));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF{QPointF(22, 31), QPointF(22, 37), QPointF(38, 37), QPointF(38, 31)});
    });
}

QIcon flatZoomingIcon() {
    // A magnifying glass over a curve.
    return drawnIcon([](QPainter& p) {
        QPainterPath curve;
        curve.moveTo(2, 30);
        curve.cubicTo(10, 2, 18, 38, 38, 10);
        p.setPen(QPen(QColor(0, 60, 255), 2));
        p.drawPath(curve);
        p.setPen(QPen(QColor(60, 60, 70), 2.5));
        p.setBrush(QColor(200, 225, 255, 150));
        p.drawEllipse(QPointF(17, 17), 11, 11);
        p.setPen(QPen(QColor(90, 60, 30), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(25.5, 25.5), QPointF(36, 36));
    });
}

}  // namespace quillan::ui
