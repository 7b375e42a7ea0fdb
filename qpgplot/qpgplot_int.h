/* Pieces shared by the pictures of the drawing layer: the colour scale that
 * maps a value to a colour index, and logarithmic work copies. */
#pragma once

#include "PGSpectro.h"

#include <cstddef>
#include <vector>

namespace qpgplot {

/* The first colour index of the value ramp. */
constexpr int kFirstRampIndex = 16;

/* True when a PGPLOT device is open. */
bool DeviceOpen();

/* PGPLOT's output held back while one picture is drawn, when a device is
 * open, and sent on at the end of the scope on every path out: an X window
 * then gets the picture at once rather than one primitive at a time, each
 * a round trip to its window server.  The picture is the same. */
class BufferedOutput {
public:
    BufferedOutput();
    ~BufferedOutput();
    BufferedOutput(const BufferedOutput &) = delete;
    BufferedOutput &operator=(const BufferedOutput &) = delete;

private:
    bool held_;
};

/* How values become colour indices: the scale ends (logarithms for a
 * logarithmic colour axis) and the missing-value rule.  For a logarithmic
 * axis values points at a copy holding the logarithms, recognised missing
 * cells holding the marker -1e31 and NaN kept as NaN. */
class ColourScale {
public:
    /* May throw std::bad_alloc while making the logarithmic copy. */
    ColourScale(const float *z, std::size_t count, float zscalemin, float zscalemax, float zmissing,
                Yes_or_No skip_missing, PGSpectro_linlog zlinlog, int ncolours);

    float zmin() const { return zmin_; }
    float zmax() const { return zmax_; }
    /* Colour index of value k of the picture. */
    int IndexOf(std::size_t k) const;

private:
    const float *values_;
    std::vector<float> logs_;
    float zmin_, zmax_, zrange_;
    bool recognise_missing_;
    float marker_;
    int ncolours_;
};

/* Scale ends (in the units of the axis: logarithms for a logarithmic one)
 * that are equal, widened by one unit either way about their value, which
 * on a logarithmic axis is a decade; where one unit is lost to the float's
 * precision, by a tenth of the value.  PGPLOT refuses a window without
 * width.  Other ends stay. */
void WidenEqualEnds(float *lo, float *hi);

/* SafeLog10 of each element. */
std::vector<float> LogCopy(const float *v, std::size_t n);

} // namespace qpgplot
