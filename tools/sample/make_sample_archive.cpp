// make_sample_archive [--day] [--no-noise] [--seed N] DIR: writes the sample
// archive into DIR with the environment file DIR/kombra.env.
#include "sample_archive.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char **argv)
{
    kombra_sample::SampleOptions options;
    options.docDir = KOMBRA_DOC_DIR;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--day") {
            options.day = true;
        } else if (a == "--no-noise") {
            options.noise = false;
        } else if (a == "--seed" && i + 1 < argc) {
            options.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (!a.empty() && a[0] != '-' && root.empty()) {
            root = a;
        } else {
            root.clear();
            break;
        }
    }
    if (root.empty()) {
        std::fprintf(stderr, "usage: %s [--day] [--no-noise] [--seed N] DIR\n", argv[0]);
        return 2;
    }
    try {
        kombra_sample::WriteSampleArchive(root, options);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "make_sample_archive: %s\n", e.what());
        return 1;
    }
    std::printf("sample archive written to %s; source %s/kombra.env to use it\n", root.c_str(), root.c_str());
    return 0;
}
