#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>

namespace testsupport {

// The bytes of an image as a PNG file holds them.
inline QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The bytes of a small PNG of one colour, as an icon file or an artwork reply holds them.
inline QByteArray pngBytes(QColor colour, int side = 8)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    return pngBytes(image);
}

}  // namespace testsupport
