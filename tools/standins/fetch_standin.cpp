// Stand-in for the data fetch program (DataPromote):
//
//   fetch_data SERVER TYPE PROJECT MISSION EXPERIMENT INSTRUMENT VINST
//              YEAR DAY MSEC PRE POST xxx APP FORCE
//
// Appends its argument vector to $KOMBRA_STANDIN_LOG (one line per run, the
// words separated by tabs, with '\', tab and newline escaped as \\, \t and
// \n), then copies the file the words name from
// $KOMBRA_STANDIN_REMOTE/SERVER/ to
// $KOMBRA_STANDIN_ARCHIVE/PROJECT/MISSION/EXPERIMENT/INSTRUMENT/ (through a
// temporary file and a rename).  The file name is VINST, the year (4
// digits), day (3) and hour and minute of MSEC, then I (type V), H, D or
// V.v3; type P names VINST.pnur.v2, copied to $KOMBRA_STANDIN_PNUR.  Exits 1
// when the server has no such file (a failing server), 2 on a usage error or
// an unknown type.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "standin_fetch.h"
#include "standin_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char **argv)
{
    standin::Log(argc, argv);
    if (argc != 16)
        return 2;
    const std::string server = argv[1], type = argv[2];
    const std::string name = standin::FetchedName(argv);
    if (name.empty())
        return 2;
    const char *remote = std::getenv("KOMBRA_STANDIN_REMOTE");
    const char *archive = std::getenv("KOMBRA_STANDIN_ARCHIVE");
    if (remote == nullptr || archive == nullptr)
        return 2;
    namespace fs = std::filesystem;
    const fs::path from = fs::path(remote) / server / name;
    const char *pnur = std::getenv("KOMBRA_STANDIN_PNUR");
    if (type == "P" && pnur == nullptr)
        return 2;
    const fs::path dir = type == "P" ? fs::path(pnur) : fs::path(archive) / argv[3] / argv[4] / argv[5] / argv[6];
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return 1;
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path to = dir / name, tmp = dir / (name + ".fetching");
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
        if (!out)
            return 1;
    }
    fs::rename(tmp, to, ec);
    return ec ? 1 : 0;
}
