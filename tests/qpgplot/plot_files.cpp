// Drawing into files and reading the pictures back.
#include "plot_files.h"

#include <cpgplot.h>

#include <cmath>
#include <sstream>

namespace plot_test {

PlotFile::PlotFile(const std::string &type)
    : fonts_("PGPLOT_DIR", std::string("/usr/lib/pgplot5")),
      verbose_("PGPLOT_PS_VERBOSE_TEXT", std::string("1")),
      path_(dir_.file(type.find("PS") != std::string::npos ? "plot.ps" : "plot.gif"))
{
    const std::string device = path_ + "/" + type;
    id_ = cpgopen(device.c_str());
}

PlotFile::~PlotFile()
{
    Close();
}

void PlotFile::Close()
{
    if (id_ > 0) {
        cpgslct(id_);
        cpgclos();
        id_ = 0;
    }
}

QImage PlotFile::Image() const
{
    QImage image(QString::fromStdString(path_), "GIF");
    return image.convertToFormat(QImage::Format_RGB32);
}

std::string PlotFile::Texts() const
{
    // With PGPLOT_PS_VERBOSE_TEXT the PostScript device writes each string
    // as a comment line % Start "text" ahead of the strokes that draw it.
    std::istringstream in(kombra_test::ReadFile(path_));
    std::string out;
    std::string line;
    const std::string mark = "% Start \"";
    while (std::getline(in, line)) {
        if (line.rfind(mark, 0) == 0 && line.size() > mark.size() && line.back() == '"')
            out += line.substr(mark.size(), line.size() - mark.size() - 1) + "\n";
    }
    return out;
}

Rgb IndexColour(int ci)
{
    float r = 0, g = 0, b = 0;
    cpgqcr(ci, &r, &g, &b);
    return {static_cast<int>(std::lround(r * 255)), static_cast<int>(std::lround(g * 255)),
            static_cast<int>(std::lround(b * 255))};
}

std::array<int, 2> PixelOf(float x, float y)
{
    float vx1, vx2, vy1, vy2, wx1, wx2, wy1, wy2, sx1, sx2, sy1, sy2;
    cpgqvp(3, &vx1, &vx2, &vy1, &vy2);
    cpgqwin(&wx1, &wx2, &wy1, &wy2);
    cpgqvsz(3, &sx1, &sx2, &sy1, &sy2);
    const float px = vx1 + (x - wx1) / (wx2 - wx1) * (vx2 - vx1);
    const float py = vy1 + (y - wy1) / (wy2 - wy1) * (vy2 - vy1);
    return {static_cast<int>(std::lround(px)), static_cast<int>(std::lround(sy2 - py))};
}

Rgb PixelColour(const QImage &image, std::array<int, 2> at)
{
    const QRgb p = image.pixel(at[0], at[1]);
    return {qRed(p), qGreen(p), qBlue(p)};
}

bool Near(const Rgb &a, const Rgb &b)
{
    for (int k = 0; k < 3; ++k)
        if (std::abs(a[static_cast<std::size_t>(k)] - b[static_cast<std::size_t>(k)]) > 2)
            return false;
    return true;
}

long CountColour(const QImage &image, const Rgb &c)
{
    long n = 0;
    for (int row = 0; row < image.height(); ++row)
        for (int col = 0; col < image.width(); ++col)
            n += Near(PixelColour(image, {col, row}), c) ? 1 : 0;
    return n;
}

}  // namespace plot_test

namespace std {
void PrintTo(const array<int, 3> &c, ostream *os)
{
    *os << "(" << c[0] << ", " << c[1] << ", " << c[2] << ")";
}
}  // namespace std
