// The file a data fetch program is asked for, from its command line
//   NAME SERVER TYPE PROJECT MISSION EXPERIMENT INSTRUMENT VINST YEAR DAY MSEC PRE POST xxx APP FORCE
// (argv[0] .. argv[15]): VINST, the start's year, day, hour and minute, and
// the type's ending ("I" for a description asked as "V"); a program file
// for "P"; empty for any other type.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace standin {

inline std::string FetchedName(char **argv)
{
    const std::string type = argv[2], vinst = argv[7];
    const long msec = std::atol(argv[10]);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%03d%02ld%02ld", std::atoi(argv[8]), std::atoi(argv[9]), msec / 3600000,
                  (msec % 3600000) / 60000);
    if (type == "V")
        return vinst + stamp + "I";
    if (type == "H" || type == "D" || type == "V.v3")
        return vinst + stamp + type;
    if (type == "P")
        return vinst + ".pnur.v2";
    return std::string();
}

}  // namespace standin
