/* Pieces shared by the sweep plots. */
#pragma once

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

} // namespace plots
