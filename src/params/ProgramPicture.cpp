#include "ProgramPicture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

QPixmap programPicture(int size)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 70.0, size / 70.0);

    // Front plate of the controller.
    QLinearGradient plate(0, 0, 0, 70);
    plate.setColorAt(0, QColor(96, 104, 112));
    plate.setColorAt(1, QColor(44, 48, 54));
    painter.setPen(QPen(QColor(24, 26, 30), 1.5));
    painter.setBrush(plate);
    painter.drawRoundedRect(QRectF(2, 2, 66, 66), 6, 6);

    // Display window with the measured value.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 8, 8));
    painter.drawRect(QRectF(9, 10, 52, 24));
    QFont digits(QStringLiteral("Monospace"));
    digits.setStyleHint(QFont::TypeWriter);
    digits.setBold(true);
    digits.setPixelSize(17);
    painter.setFont(digits);
    painter.setPen(QColor(255, 48, 32));
    painter.drawText(QRectF(9, 10, 52, 24), Qt::AlignCenter, QStringLiteral("K10"));

    // Four relay lamps and two keys, with a dark rim rather than the display's red.
    painter.setPen(QPen(QColor(24, 26, 30), 0.8));
    for (int i = 0; i < 4; ++i) {
        painter.setBrush(i == 1 ? QColor(255, 220, 0) : QColor(70, 60, 20));
        painter.drawEllipse(QPointF(15 + i * 13.5, 42), 3.2, 3.2);
    }
    painter.setBrush(QColor(200, 204, 210));
    painter.drawRoundedRect(QRectF(12, 51, 20, 10), 2, 2);
    painter.drawRoundedRect(QRectF(38, 51, 20, 10), 2, 2);
    return picture;
}
