#include "platform/qt/ProgramIcon.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace brindle {

namespace {

// Draws the icon on a 64 by 64 grid; the painter is scaled to the pixmap's size.
void Draw(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.addRoundedRect(QRectF(3, 9, 58, 46), 7, 7);
    p.fillPath(body, QColor(0x1d, 0x1d, 0x1f));

    // The stripes run up to the right across the lower right corner, clipped to the body.
    p.save();
    p.setClipPath(body);
    const QColor stripes[] = {QColor(0xe0, 0x30, 0x28), QColor(0xf7, 0xb0, 0x1a),
                              QColor(0x3c, 0xa8, 0x38), QColor(0x22, 0x9a, 0xd8)};
    for (int i = 0; i < 4; ++i) {
        const qreal x = 34 + i * 6;
        QPolygonF band;
        band << QPointF(x, 56) << QPointF(x + 6, 56) << QPointF(x + 26, 30) << QPointF(x + 20, 30);
        p.setPen(Qt::NoPen);
        p.setBrush(stripes[i]);
        p.drawPolygon(band);
    }
    p.restore();

    // The cassette window with its two reels and the tape between them.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xee, 0xee, 0xea));
    p.drawRoundedRect(QRectF(10, 15, 36, 22), 3, 3);
    p.setPen(QPen(QColor(0x5a, 0x3a, 0x22), 2.5));
    p.drawLine(QPointF(19, 32), QPointF(37, 32));
    for (const qreal cx : {19.0, 37.0}) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x5a, 0x3a, 0x22));
        p.drawEllipse(QPointF(cx, 26), 7, 7);
        p.setBrush(QColor(0xee, 0xee, 0xea));
        p.drawEllipse(QPointF(cx, 26), 2.5, 2.5);
    }
}

}  // namespace

QImage ProgramIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(size / 64.0, size / 64.0);
    Draw(painter);
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : kProgramIconSizes)
        icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
    return icon;
}

}  // namespace brindle
