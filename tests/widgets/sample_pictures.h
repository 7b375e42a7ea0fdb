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

using Point = std::array<double, 2>;

// The convex hull of points (Andrew's monotone chain).
inline std::vector<Point> Hull(std::vector<Point> p)
{
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    if (p.size() < 3)
        return p;
    const auto turn = [](const Point &o, const Point &a, const Point &b) {
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
    };
    std::vector<Point> h(2 * p.size());
    std::size_t k = 0;
    for (int pass = 0; pass < 2; ++pass, std::reverse(p.begin(), p.end()))
        for (std::size_t i = 0, lower = k + 1; i < p.size(); ++i) {
            while (k >= (pass == 0 ? 2 : lower) && turn(h[k - 2], h[k - 1], p[i]) <= 0)
                --k;
            h[k++] = p[i];
        }
    h.resize(k - 1);
    return h;
}

// Whether two outlines overlap by more than a device unit: no edge normal of
// either separates them (slanted numbers are judged by their slanted
// outline, not by a box around it).
inline bool Overlap(const std::vector<Point> &a, const std::vector<Point> &b)
{
    if (a.size() < 3 || b.size() < 3)
        return false;
    for (const auto *h : {&a, &b})
        for (std::size_t i = 0; i < h->size(); ++i) {
            const Point &p = (*h)[i], &q = (*h)[(i + 1) % h->size()];
            const double nx = q[1] - p[1], ny = p[0] - q[0];
            const auto span = [&](const std::vector<Point> &o) {
                std::pair<double, double> s{1e300, -1e300};
                for (const Point &v : o)
                    s = {std::min(s.first, v[0] * nx + v[1] * ny), std::max(s.second, v[0] * nx + v[1] * ny)};
                return s;
            };
            const auto [alo, ahi] = span(a);
            const auto [blo, bhi] = span(b);
            if (std::min(ahi, bhi) - std::max(alo, blo) <= std::hypot(nx, ny))
                return false;
        }
    return true;
}

// What is wrong with the texts of a PostScript picture written with
// PGPLOT_PS_VERBOSE_TEXT set, on pages of width x height device units:
// empty when nothing is, else the number of faults and the first of them,
// one a line: two texts whose outlines overlap (also two copies of one text
// drawn over each other), a text that reaches off the page, a picture
// without texts.  The driver marks the strokes of every text PGPLOT draws
// (labels, titles, tick and wedge numbers alike) with comment lines
// '% Start "text"' and '% End "text"'; a stroke is "dx dy x y L" from
// (x, y), "dx dy C" on from the point reached, "x y D" a dot.  With least
// (device units) a text too small to read is a fault as well: one of three
// characters or more, among them a digit or a capital, whose outline is
// less than least across in its narrower direction (the height of its
// digits and capitals, for a text along either axis).  PGPLOT's own
// identification line at the foot of the page is left out of that.
inline std::string TextFaults(const std::string &path, double width, double height, double least = 0)
{
    struct Text {
        std::string text;
        std::vector<Point> hull;
    };
    std::vector<std::vector<Text>> pages;
    std::ifstream in(path);
    std::string line, text;
    std::vector<Point> points;
    bool inside = false;
    Point at{};
    while (std::getline(in, line)) {
        if (line.rfind("%%Page:", 0) == 0) {
            pages.emplace_back();
        } else if (line.rfind("% Start \"", 0) == 0 && line.size() > 10) {
            inside = true;
            points.clear();
            text = line.substr(9, line.size() - 10);
        } else if (line.rfind("% End \"", 0) == 0) {
            if (inside && !pages.empty() && (!points.empty() || text.find_first_not_of(' ') != std::string::npos))
                pages.back().push_back({text, Hull(points)});
            inside = false;
        } else if (inside && !line.empty() && line[0] != '%') {
            std::istringstream words(line);
            std::vector<double> v;
            for (std::string w; words >> w;) {
                char *end = nullptr;
                if (const double d = std::strtod(w.c_str(), &end); end != w.c_str() && *end == '\0') {
                    v.push_back(d);
                    continue;
                }
                const std::size_t n = v.size();
                if (w == "L" && n >= 4) {
                    points.push_back({v[n - 2], v[n - 1]});
                    at = {v[n - 2] + v[n - 4], v[n - 1] + v[n - 3]};
                    points.push_back(at);
                } else if ((w == "C" || w == "D") && n >= 2) {
                    at = w == "C" ? Point{at[0] + v[n - 2], at[1] + v[n - 1]} : Point{v[n - 2], v[n - 1]};
                    points.push_back(at);
                }
                v.clear();
            }
        }
    }
    std::vector<std::string> faults;
    const auto said = [](const Text &t) {
        if (t.hull.empty())
            return "\"" + t.text + "\" (not drawn)";
        double x1 = 1e300, x2 = -1e300, y1 = 1e300, y2 = -1e300;
        for (const Point &p : t.hull)
            x1 = std::min(x1, p[0]), x2 = std::max(x2, p[0]), y1 = std::min(y1, p[1]), y2 = std::max(y2, p[1]);
        char b[200];
        std::snprintf(b, sizeof b, "\"%s\" (%.0f..%.0f, %.0f..%.0f)", t.text.c_str(), x1, x2, y1, y2);
        return std::string(b);
    };
    for (std::size_t p = 0; p < pages.size(); ++p)
        for (std::size_t i = 0; i < pages[p].size(); ++i) {
            const std::string page = "page " + std::to_string(p + 1) + ": ";
            // PGPLOT clips at the page's edges: a text that reaches past one
            // is cut there, or not drawn at all.
            const auto off = [&](const Point &v) { return v[0] <= 0 || v[1] <= 0 || v[0] >= width || v[1] >= height; };
            const std::vector<Point> &hull = pages[p][i].hull;
            if (hull.empty() || std::any_of(hull.begin(), hull.end(), off))
                faults.push_back(page + said(pages[p][i]) + " off the page");
            for (std::size_t j = i + 1; j < pages[p].size(); ++j)
                if (Overlap(pages[p][i].hull, pages[p][j].hull))
                    faults.push_back(page + said(pages[p][i]) + " over " + said(pages[p][j]));
            const std::string &text = pages[p][i].text;
            const bool marked = std::any_of(text.begin(), text.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
            });
            if (least > 0 && !hull.empty() && marked && text.size() >= 3) {
                double x1 = 1e300, x2 = -1e300, y1 = 1e300, y2 = -1e300;
                for (const Point &v : hull)
                    x1 = std::min(x1, v[0]), x2 = std::max(x2, v[0]), y1 = std::min(y1, v[1]), y2 = std::max(y2, v[1]);
                if (y2 > 0.01 * height && std::min(x2 - x1, y2 - y1) < least)
                    faults.push_back(page + said(pages[p][i]) + " too small to read");
            }
        }
    if (pages.empty() || pages[0].size() < 10)
        faults.push_back(path + " holds no picture with texts");
    std::string out = faults.empty() ? "" : std::to_string(faults.size()) + " faults:\n";
    for (std::size_t k = 0; k < faults.size() && k < 8; ++k)
        out += faults[k] + "\n";
    return out;
}

// The least height across of a text that can be read, in PostScript device
// units (thousandths of an inch): the digits and capitals of a character
// 2.4 mm high (some 8 pixels of a GIF page) stand about 60 of them.
constexpr double kLegibleText = 55;

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
