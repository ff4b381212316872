// Paints the program's icon: a flash chip on a board with an arrow loading into it and a star.
// Run once to write the PNG files that packaging installs:
//   loadstar_icon_painter packaging/icons
// writes <folder>/<size>x<size>/loadstar.png for the sizes below.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <iostream>

namespace {

QPolygonF star(QPointF centre, double outer, double inner) {
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const double radius = i % 2 == 0 ? outer : inner;
        points << centre + QPointF(std::cos(angle) * radius, std::sin(angle) * radius);
    }
    return points;
}

// Drawn on a 256 x 256 canvas and scaled.
void paint(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    // The board.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1E, 0x6B, 0x3A));
    painter.drawRoundedRect(QRectF(12, 12, 232, 232), 36, 36);
    // The chip and its pins.
    painter.setBrush(QColor(0xD8, 0xD8, 0xD0));
    for (int i = 0; i < 5; ++i) {
        const double at = 80 + i * 22;
        painter.drawRect(QRectF(at, 52, 10, 24));
        painter.drawRect(QRectF(at, 180, 10, 24));
        painter.drawRect(QRectF(52, at, 24, 10));
        painter.drawRect(QRectF(180, at, 24, 10));
    }
    painter.setBrush(QColor(0x22, 0x22, 0x26));
    painter.drawRoundedRect(QRectF(70, 70, 116, 116), 10, 10);
    // The arrow loading into the chip.
    QPainterPath arrow;
    arrow.moveTo(116, 84);
    arrow.lineTo(140, 84);
    arrow.lineTo(140, 124);
    arrow.lineTo(160, 124);
    arrow.lineTo(128, 164);
    arrow.lineTo(96, 124);
    arrow.lineTo(116, 124);
    arrow.closeSubpath();
    painter.setBrush(QColor(0x4F, 0xC3, 0xF7));
    painter.drawPath(arrow);
    // The star.
    painter.setBrush(QColor(0xFF, 0xC8, 0x2E));
    painter.setPen(QPen(QColor(0x8A, 0x5A, 0x00), 4));
    painter.drawPolygon(star(QPointF(196, 60), 44, 19));
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: loadstar_icon_painter FOLDER\n";
        return 2;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paint(painter, size);
        painter.end();
        const QString folder =
            QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/loadstar.png"))) {
            std::cerr << "cannot write the icon into " << argv[1] << '\n';
            return 1;
        }
    }
    return 0;
}
