/* Pieces shared by the sweep plots. */
#pragma once

#include "PGSpectro.h"

#include <cpgplot.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace plots {

/* True when a PGPLOT device is open.  PGPLOT's state is asked rather than
 * cpgqid, which still names a device after a failed cpgopen. */
inline bool DeviceOpen()
{
    char state[16] = {};
    int len = static_cast<int>(sizeof state);
    cpgqinf("STATE", state, &len);
    return std::string_view(state, static_cast<std::size_t>(len > 0 ? len : 0)) == "OPEN";
}

/* PGPLOT's output held back while one picture is drawn, when a device is
 * open, and sent on at the end of the scope on every path out, so that an X
 * window gets the picture at once rather than one primitive at a time. */
class BufferedOutput {
public:
    BufferedOutput() : held_(DeviceOpen())
    {
        if (held_)
            cpgbbuf();
    }
    ~BufferedOutput()
    {
        if (held_)
            cpgebuf();
    }
    BufferedOutput(const BufferedOutput &) = delete;
    BufferedOutput &operator=(const BufferedOutput &) = delete;

private:
    bool held_;
};

/* printf-style formatting into a string of any length. */
template <typename... Args>
std::string Format(const char *fmt, Args... args)
{
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    if (n <= 0)
        return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(s.data(), s.size(), fmt, args...);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

/* The smallest and largest of the values that a scale can show: on a
 * logarithmic scale only present values above zero, on any other every
 * present value (with skip_zero, every non-zero one).  A value is present
 * when it is not its sweep's missing value and not NaN. */
class ShownRange {
public:
    explicit ShownRange(PGSpectro_linlog linlog, bool skip_zero = false)
        : log_(linlog == PGSPECTRO_LOG), skip_zero_(skip_zero)
    {
    }
    void Take(float v, float missing);
    bool any_present() const { return present_; }
    bool found() const { return found_; }
    float lo() const { return lo_; }
    float hi() const { return hi_; }

private:
    bool log_, skip_zero_;
    bool present_ = false, found_ = false;
    float lo_ = 0, hi_ = 0;
};

/* Ends that are equal widened symmetrically about their value, since
 * PGPLOT refuses a window without width: a decade either way on a
 * logarithmic scale (for a value above zero), one unit either way on any
 * other (a tenth of the value where one unit is lost to the float's
 * precision).  Other ends are left as they are. */
void WidenEqualEnds(float *lo, float *hi, PGSpectro_linlog linlog);

/* The one line a plot prints when a logarithmic scale finds no present
 * value above zero and keeps its options' range:
 * "<who>: no value above zero for the logarithmic <what>; keeping <lo> .. <hi>". */
void PrintRangeKept(const char *who, const char *what, float lo, float hi);

} // namespace plots
