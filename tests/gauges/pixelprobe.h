#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

// Whether every channel of the pixel lies within the tolerance of the colour.
inline bool near(QRgb pixel, const QColor &color, int tolerance = 12)
{
    return qAbs(qRed(pixel) - color.red()) <= tolerance &&
           qAbs(qGreen(pixel) - color.green()) <= tolerance &&
           qAbs(qBlue(pixel) - color.blue()) <= tolerance;
}

// What the widget paints now, in a format the probes read directly.
inline QImage grabbed(QWidget &widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Bounding box of the pixels in the box near the colour; null when there are none.
inline QRect inkOf(const QImage &image, const QRect &box, const QColor &color, int tolerance = 40)
{
    QRect ink;
    const QRect inside = box.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (near(image.pixel(x, y), color, tolerance))
                ink |= QRect(x, y, 1, 1);
    return ink;
}
