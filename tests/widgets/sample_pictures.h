// Helpers of the window tests that run the programs on a generated sample
// archive and look at the pictures they write.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSet>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cpgplot.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// One text of a page as PGPLOT drew it: the outline (convex hull) of the
// strokes of its glyphs, in device units, and their box.
struct PageText {
    std::string text;
    std::vector<std::array<double, 2>> hull;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// The convex hull of points, counter-clockwise (Andrew's monotone chain).
inline std::vector<std::array<double, 2>> Hull(std::vector<std::array<double, 2>> p)
{
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    if (p.size() < 3)
        return p;
    const auto cross = [](const auto &o, const auto &a, const auto &b) {
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
    };
    std::vector<std::array<double, 2>> h(2 * p.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0)
            --k;
        h[k++] = p[i];
    }
    for (std::size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(h[k - 2], h[k - 1], p[i]) <= 0)
            --k;
        h[k++] = p[i];
    }
    h.resize(k - 1);
    return h;
}

// Whether two outlines overlap by more than a device unit: no edge normal
// of either separates them (rotated numbers are judged by their slanted
// outline, not by a box around it).
inline bool Overlap(const PageText &a, const PageText &b)
{
    for (const PageText *t : {&a, &b}) {
        const auto &h = t->hull;
        for (std::size_t i = 0; i < h.size(); ++i) {
            const auto &p = h[i], &q = h[(i + 1) % h.size()];
            const double nx = q[1] - p[1], ny = p[0] - q[0], n = std::hypot(nx, ny);
            if (n == 0)
                continue;
            double alo = 1e300, ahi = -1e300, blo = 1e300, bhi = -1e300;
            for (const auto &v : a.hull)
                alo = std::min(alo, (v[0] * nx + v[1] * ny) / n), ahi = std::max(ahi, (v[0] * nx + v[1] * ny) / n);
            for (const auto &v : b.hull)
                blo = std::min(blo, (v[0] * nx + v[1] * ny) / n), bhi = std::max(bhi, (v[0] * nx + v[1] * ny) / n);
            if (std::min(ahi, bhi) - std::max(alo, blo) <= 1.0)
                return false;
        }
    }
    return a.hull.size() >= 3 && b.hull.size() >= 3;
}

// The texts of each page of a PostScript picture written with
// PGPLOT_PS_VERBOSE_TEXT set, which marks the strokes of every text PGPLOT
// draws (labels, titles, tick and wedge numbers alike) with comment lines
// '% Start "text"' and '% End "text"'.  Texts without strokes (blanks) are
// left out.
inline std::vector<std::vector<PageText>> PageTexts(const std::string &path)
{
    std::vector<std::vector<PageText>> pages;
    std::ifstream in(path);
    std::string line, text;
    bool inside = false;
    std::vector<std::array<double, 2>> points;
    double cx = 0, cy = 0;
    while (std::getline(in, line)) {
        if (line.rfind("%%Page:", 0) == 0) {
            pages.emplace_back();
        } else if (line.rfind("% Start \"", 0) == 0 && line.size() > 10) {
            inside = true;
            points.clear();
            text = line.substr(9, line.size() - 10);
        } else if (line.rfind("% End \"", 0) == 0) {
            if (inside && !points.empty() && !pages.empty()) {
                PageText t{text, Hull(points)};
                t.x1 = t.x2 = points[0][0], t.y1 = t.y2 = points[0][1];
                for (const auto &p : points) {
                    t.x1 = std::min(t.x1, p[0]), t.x2 = std::max(t.x2, p[0]);
                    t.y1 = std::min(t.y1, p[1]), t.y2 = std::max(t.y2, p[1]);
                }
                pages.back().push_back(std::move(t));
            }
            inside = false;
        } else if (inside && !line.empty() && line[0] != '%') {
            // "dx dy x y L" strokes from (x, y); "dx dy C" goes on from the
            // point reached; "x y D" is a dot.
            std::istringstream words(line);
            std::vector<double> stack;
            for (std::string w; words >> w;) {
                char *end = nullptr;
                const double v = std::strtod(w.c_str(), &end);
                if (end != w.c_str() && *end == '\0') {
                    stack.push_back(v);
                    continue;
                }
                const std::size_t n = stack.size();
                if (w == "L" && n >= 4) {
                    points.push_back({stack[n - 2], stack[n - 1]});
                    cx = stack[n - 2] + stack[n - 4], cy = stack[n - 1] + stack[n - 3];
                    points.push_back({cx, cy});
                } else if (w == "C" && n >= 2) {
                    cx += stack[n - 2], cy += stack[n - 1];
                    points.push_back({cx, cy});
                } else if (w == "D" && n >= 2) {
                    cx = stack[n - 2], cy = stack[n - 1];
                    points.push_back({cx, cy});
                }
                stack.clear();
            }
        }
    }
    return pages;
}

// What is wrong with the texts of the pages of a picture of width x height
// device units, one line each: two texts whose outlines overlap (also two
// copies of one text drawn over each other), a text that reaches off the
// page.
inline std::vector<std::string> TextFaults(const std::vector<std::vector<PageText>> &pages, double width,
                                           double height)
{
    std::vector<std::string> faults;
    const auto box = [](const PageText &t) {
        char b[200];
        std::snprintf(b, sizeof b, "\"%s\" (%.0f..%.0f, %.0f..%.0f)", t.text.c_str(), t.x1, t.x2, t.y1, t.y2);
        return std::string(b);
    };
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::vector<PageText> &texts = pages[p];
        const std::string page = "page " + std::to_string(p + 1) + ": ";
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const PageText &a = texts[i];
            if (a.x1 < 0 || a.y1 < 0 || a.x2 > width || a.y2 > height)
                faults.push_back(page + box(a) + " off the page");
            for (std::size_t j = i + 1; j < texts.size(); ++j)
                if (Overlap(a, texts[j]))
                    faults.push_back(page + box(a) + " over " + box(texts[j]));
        }
    }
    return faults;
}

// The page kinds of the programs' plots, with the index of the file kind
// ("Landscape PS File ->", "Portrait PS File ->") that draws them.  A GIF
// page (850 x 680 pixels at 85 an inch) and the X window (817 x 619 at 100)
// are drawn as PostScript pages of their size, in thousandths of an inch:
// texts are sized and placed on a page by its size alone, and PostScript
// tells which strokes belong to which text.
struct PageKind {
    const char *name;
    int plot_dev;
    int ps_width, ps_height;  // PGPLOT_PS_WIDTH and _HEIGHT (of the sheet upright); 0: the default
};
inline const PageKind kPageKinds[] = {{"landscape GIF", 2, 8000, 10000},
                                      {"portrait GIF", 3, 8000, 10000},
                                      {"landscape PS", 2, 0, 0},
                                      {"portrait PS", 3, 0, 0},
                                      {"X window", 2, 6190, 8170}};

// For its life, PostScript plots are drawn on pages of the kind, with their
// texts marked; width and height are the page's in device units.
class PostScriptPage {
public:
    explicit PostScriptPage(const PageKind &kind)
    {
        qputenv("PGPLOT_PS_VERBOSE_TEXT", "1");
        if (kind.ps_width > 0) {
            qputenv("PGPLOT_PS_WIDTH", QByteArray::number(kind.ps_width));
            qputenv("PGPLOT_PS_HEIGHT", QByteArray::number(kind.ps_height));
        }
        QTemporaryDir dir;
        const QByteArray device = dir.filePath(QStringLiteral("size.ps")).toLocal8Bit() +
                                  (kind.plot_dev == 3 ? "/VCPS" : "/CPS");
        float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        if (cpgopen(device.constData()) > 0) {
            cpgqvsz(3, &x1, &x2, &y1, &y2);
            cpgclos();
        }
        width = x2 - x1;
        height = y2 - y1;
    }
    ~PostScriptPage()
    {
        for (const char *name : {"PGPLOT_PS_VERBOSE_TEXT", "PGPLOT_PS_WIDTH", "PGPLOT_PS_HEIGHT"})
            qunsetenv(name);
    }
    PostScriptPage(const PostScriptPage &) = delete;
    PostScriptPage &operator=(const PostScriptPage &) = delete;

    double width = 0, height = 0;
};

}  // namespace sample_pictures
