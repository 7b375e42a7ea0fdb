// Helpers for tests that draw with PGPLOT into files and look at what was
// drawn: a device opened into a temporary folder, pixel colours of GIF
// pictures, the texts of PostScript pictures.
#pragma once

#include "support.h"

#include <QImage>

#include <array>
#include <string>

namespace plot_test {

using Rgb = std::array<int, 3>;

// A PGPLOT device writing one file into a fresh temporary folder, with
// PGPLOT_DIR pointing at the installed fonts and PostScript texts kept as
// comments.  Closed (if still open) when the object goes.
class PlotFile {
public:
    // type: "GIF", "VGIF", "CPS", "VCPS".
    explicit PlotFile(const std::string &type);
    ~PlotFile();
    PlotFile(const PlotFile &) = delete;
    PlotFile &operator=(const PlotFile &) = delete;

    bool open() const { return id_ > 0; }
    const std::string &path() const { return path_; }
    // Ends the picture; the file is complete afterwards.
    void Close();
    // The picture of a closed GIF device.
    QImage Image() const;
    // The texts of a closed PostScript device, one per line.
    std::string Texts() const;

private:
    kombra_test::TempDir dir_;
    kombra_test::ScopedEnv fonts_;
    kombra_test::ScopedEnv verbose_;
    std::string path_;
    int id_ = 0;
};

// RGB (0..255) of a colour index on the open device.
Rgb IndexColour(int ci);
// Pixel column and row of a world point in the current viewport and window
// of the open device (device units are pixels on the GIF devices).
std::array<int, 2> PixelOf(float x, float y);
Rgb PixelColour(const QImage &image, std::array<int, 2> at);
// True when every channel differs by at most 2.
bool Near(const Rgb &a, const Rgb &b);
// Number of pixels of the picture in the given colour.
long CountColour(const QImage &image, const Rgb &c);

}  // namespace plot_test

// Prints colours as (r, g, b) in failure messages.
namespace std {
void PrintTo(const array<int, 3> &c, ostream *os);
}
