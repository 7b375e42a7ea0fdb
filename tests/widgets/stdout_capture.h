// Captures what the code under test prints on the standard output (file
// descriptor 1, or the one given) for the life of the object.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

class StdoutCapture {
public:
    explicit StdoutCapture(int fd = 1) : fd_(fd)
    {
        std::fflush(nullptr);
        file_ = std::tmpfile();
        saved_ = ::dup(fd_);
        ::dup2(::fileno(file_), fd_);
    }
    ~StdoutCapture() { take(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Everything printed so far; ends the capture.
    std::string take()
    {
        if (file_ == nullptr)
            return text_;
        std::fflush(nullptr);
        ::dup2(saved_, fd_);
        ::close(saved_);
        std::rewind(file_);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0)
            text_.append(buf, n);
        std::fclose(file_);
        file_ = nullptr;
        return text_;
    }

private:
    int fd_;
    std::FILE *file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};
