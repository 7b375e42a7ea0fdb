// Helpers of the window tests that run the programs on a generated sample
// archive and look at the pictures they write.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSet>

#include <algorithm>

namespace sample_pictures {

// Points the programs' environment at a sample archive in root, read through
// its SQLite catalog.
inline void UseSampleArchive(const QByteArray &root)
{
    qputenv("KOMBRA_CONFIG", root + "/config");
    qputenv("KOMBRA_DATA", root);
    qputenv("KOMBRA_HOME", root);
    qputenv("VELORA_HOME", root);
    qputenv("KOMBRA_DB_TYPE", "SQLite");
}

// Pixels of a picture region that are neither white, black nor grey.
inline long Colourful(const QImage &image, QRect area)
{
    long n = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 60)
                ++n;
        }
    return n;
}

// Distinct colours of a picture other than white and black.
inline int PaintedColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y) & 0xffffff);
    colours.remove(0xffffff);
    colours.remove(0);
    return static_cast<int>(colours.size());
}

// Pixels that differ between two pictures of one size (-1 for sizes that
// differ), the identification line at the foot of the page aside.
inline long ChangedPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    long n = 0;
    for (int y = 0; y < a.height() * 95 / 100; ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return n;
}

// Whether the picture keeps off its left, top and right edges: no pixel of
// the outermost column or row on those sides is other than white.
inline bool KeepsOffEdges(const QImage &image)
{
    const QRgb white = 0xffffffff;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(0, y) != white || image.pixel(image.width() - 1, y) != white)
            return false;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, 0) != white)
            return false;
    return true;
}

}  // namespace sample_pictures
