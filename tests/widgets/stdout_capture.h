// Captures what the code under test prints on the standard output (file
// descriptor 1) for the life of the object.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

class StdoutCapture {
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = ::dup(1);
        ::dup2(::fileno(file_), 1);
    }
    ~StdoutCapture() { take(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Everything printed so far; ends the capture.
    std::string take()
    {
        if (file_ == nullptr)
            return text_;
        std::fflush(stdout);
        ::dup2(saved_, 1);
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
    std::FILE *file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};
