// Header-only helpers for fuzz targets whose readers take file paths: one
// scratch folder per process (in memory under /dev/shm where it can be made)
// that the input is written into, removed when the process ends normally.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_scratch {

// The folder of this process, made on first use under /dev/shm, else under
// $TMPDIR or /tmp.  Without any the process ends: no input could be read.
inline const std::string &Dir()
{
    struct Folder {
        Folder()
        {
            const char *tmp = std::getenv("TMPDIR");
            for (const char *base : {"/dev/shm", tmp != nullptr && *tmp != '\0' ? tmp : "/tmp"}) {
                std::string name = std::string(base) + "/kombra-fuzz-XXXXXX";
                if (::mkdtemp(name.data()) != nullptr) {
                    path = name;
                    return;
                }
            }
            std::perror("fuzz_scratch: mkdtemp");
            std::exit(2);
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
        std::string path;
    };
    static const Folder folder;
    return folder.path;
}

// Path of name in the scratch folder.
inline std::string Path(const char *name)
{
    return Dir() + "/" + name;
}

// Replaces the file at path by size bytes; false when that fails.
inline bool Write(const std::string &path, const void *data, size_t size)
{
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && written;
}

}  // namespace fuzz_scratch
