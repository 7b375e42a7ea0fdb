/* The PGPLOT device of a plot action: short temporary files in a private
 * folder, moved to the user's names when the plot is kept, and the lines
 * printed meanwhile without PGPLOT's notes on the temporary names. */
#include "plot_device.h"

#include "cpgplot.h"

#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace widgets {

namespace {

/* PGPLOT keeps a GIF path of up to 80 characters; the private folder's path
 * plus the short file name stays well below that. */
constexpr std::size_t kMaxFolderChars = 64;

/* The short name PGPLOT writes: "p", or "p#" when the user's name numbers
 * its pages at page_mark. */
std::string temp_name(std::size_t page_mark)
{
    return page_mark == std::string::npos ? "p" : "p#";
}

constexpr char kFolderPrefix[] = "kombra-pg-";

std::string temp_base()
{
    std::error_code ec;
    std::string base = fs::temp_directory_path(ec).string();
    if (ec || base.empty() || base.size() > kMaxFolderChars - 28 /* "/kombra-pg-<pid>-XXXXXX" */)
        base = "/tmp";
    return base;
}

} // namespace

void remove_stale_private_folders(const std::string &base, const std::string &prefix)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::size_t dash = name.find('-', prefix.size());
        if (dash == std::string::npos || dash == prefix.size())
            continue;
        const std::string digits = name.substr(prefix.size(), dash - prefix.size());
        if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }) ||
            digits.size() > 9)
            continue;
        const pid_t pid = static_cast<pid_t>(std::atol(digits.c_str()));
        struct stat st {};
        if (pid == ::getpid() || ::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        if (::kill(pid, 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove_all(entry.path(), ignored);
        }
    }
}

namespace {

/* The private folder, or empty with *reason set. */
std::string make_private_folder(std::string *reason)
{
    const std::string base = temp_base();
    /* A process ended during a plot (killed, or crashed) leaves its folder
     * behind. */
    remove_stale_private_folders(base, kFolderPrefix);
    std::string templ = base + "/" + kFolderPrefix + std::to_string(::getpid()) + "-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
        *reason = "Cannot make a private folder in " + base + ": " + std::strerror(errno);
        return {};
    }
    return templ;
}

/* PGPLOT writes its notes through the Fortran run time, which holds them in
 * its own buffer when the standard output is no terminal; they are written
 * out here, while the output is still held, instead of at exit. */
void flush_fortran_output()
{
    using Flush = void (*)(int *);
    static const auto flush = reinterpret_cast<Flush>(::dlsym(RTLD_DEFAULT, "_gfortran_flush_i4"));
    if (flush != nullptr)
        flush(nullptr);
}

/* Whether the folder of file can take it; false with *reason set. */
bool folder_writable(const std::string &file, std::string *reason)
{
    fs::path dir = fs::path(file).parent_path();
    if (dir.empty())
        dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        *reason = "The folder " + dir.string() + " of the plot file is no folder" +
                  (ec ? ": " + ec.message() : std::string());
        return false;
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        *reason = "The folder " + dir.string() + " of the plot file cannot be written: " + std::strerror(errno);
        return false;
    }
    return true;
}

/* A page file PGPLOT wrote, with its page number and the user's name for it. */
struct Page {
    int number;
    std::string user_name;
};

/* The user's name of the private file `name`, or false when PGPLOT's naming
 * does not account for it. */
bool user_name_of(const std::string &name, const std::string &user_file, std::size_t page_mark, Page *page)
{
    const std::string temp = temp_name(page_mark);
    if (name == temp) {
        *page = {1, user_file};
        return true;
    }
    const bool numbered = temp == "p#";
    const std::string prefix = numbered ? "p" : "p_";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    const int number = std::atoi(digits.c_str());
    if (numbered) {
        std::string user = user_file;
        user.replace(page_mark, 1, digits);
        *page = {number, std::move(user)};
    } else {
        *page = {number, user_file + "_" + digits};
    }
    return true;
}

/* Moves from over to: a rename, or across file systems a copy to a
 * temporary file beside to that is then renamed. */
std::error_code move_file(const fs::path &from, const fs::path &to)
{
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec != std::errc::cross_device_link)
        return ec;
    fs::path dir = to.parent_path();
    if (dir.empty())
        dir = ".";
    std::string templ = (dir / ("." + to.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(templ.data());
    if (fd < 0)
        return {errno, std::generic_category()};
    ::close(fd);
    fs::copy_file(from, templ, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(templ, to, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(templ, ignored);
        return ec;
    }
    fs::remove(from, ec);
    return {};
}

std::string device_type(const std::string &name)
{
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos)
        return {};
    std::string type = name.substr(slash + 1);
    for (char &c : type)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return type;
}

/* Why PGPLOT refused a device, and what to do about it, in one line. */
std::string refusal(const std::string &name, bool screen)
{
    if (!screen)
        return "PGPLOT does not know the device type /" + device_type(name) + "; nothing written";
    const char *display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        return "There is no X display to draw on (DISPLAY is not set): start the program on an X display, or use "
               "\"Print to File\"";
    const char *dir = std::getenv("PGPLOT_DIR");
    return std::string("PGPLOT could not open its window on the X display ") + display +
           ": check that this display lets the program in and that PGPLOT_DIR (" +
           (dir != nullptr && *dir != '\0' ? dir : "not set") + ") holds pgxwin_server";
}

} // namespace

bool plot_device_is_screen(const std::string &name)
{
    const std::string type = device_type(name);
    return type.rfind("XS", 0) == 0 || type.rfind("XW", 0) == 0 || type.rfind("NU", 0) == 0;
}

PlotDevice::~PlotDevice()
{
    if (open_)
        close(false);
    end_capture();
}

void PlotDevice::begin_capture()
{
    std::fflush(stdout);
    held_ = std::tmpfile();
    saved_stdout_ = held_ != nullptr ? ::dup(STDOUT_FILENO) : -1;
    if (saved_stdout_ < 0 || ::dup2(::fileno(held_), STDOUT_FILENO) < 0) {
        if (saved_stdout_ >= 0)
            ::close(saved_stdout_);
        if (held_ != nullptr)
            std::fclose(held_);
        held_ = nullptr;
        saved_stdout_ = -1;
    }
}

void PlotDevice::end_capture()
{
    if (held_ == nullptr)
        return;
    flush_fortran_output();
    std::fflush(stdout);
    ::dup2(saved_stdout_, STDOUT_FILENO);
    ::close(saved_stdout_);
    saved_stdout_ = -1;
    std::rewind(held_);
    const std::string note = "Writing new GIF image as: " + folder_ + "/";
    std::string line;
    char buf[4096];
    auto flush_line = [&]() {
        if (folder_.empty() || line.find(note) == std::string::npos)
            std::fwrite(line.data(), 1, line.size(), stdout);
        line.clear();
    };
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, held_)) > 0) {
        for (std::size_t i = 0; i < n; ++i) {
            line += buf[i];
            if (buf[i] == '\n')
                flush_line();
        }
    }
    flush_line();
    std::fflush(stdout);
    std::fclose(held_);
    held_ = nullptr;
}

int PlotDevice::open(const std::string &name, Pages pages)
{
    if (open_)
        return 0;
    files_.clear();
    reason_.clear();
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos || plot_device_is_screen(name)) {
        const int id = cpgopen(name.c_str());
        if (id < 1) {
            reason_ = refusal(name, plot_device_is_screen(name));
            return 0;
        }
        open_ = true;
        user_file_.clear();
        folder_.clear();
        return id;
    }
    user_file_ = name.substr(0, slash);
    page_mark_ = pages == Pages::Numbered ? user_file_.rfind('#') : std::string::npos;
    device_ = name;
    if (user_file_.empty()) {
        reason_ = "The device name holds no file name";
        return 0;
    }
    if (!folder_writable(user_file_, &reason_))
        return 0;
    folder_ = make_private_folder(&reason_);
    if (folder_.empty())
        return 0;
    const std::string temp_name_given = folder_ + "/" + temp_name(page_mark_) + name.substr(slash);
    begin_capture();
    const int id = cpgopen(temp_name_given.c_str());
    if (id < 1) {
        end_capture();
        remove_private_folder();
        reason_ = refusal(name, false);
        return 0;
    }
    open_ = true;
    return id;
}

bool PlotDevice::close(bool keep)
{
    if (!open_)
        return false;
    cpgclos();
    open_ = false;
    end_capture();
    if (folder_.empty())
        return keep;

    std::vector<std::pair<Page, fs::path>> pages;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder_, ec)) {
        Page page;
        if (entry.is_regular_file(ec) && entry.file_size(ec) > 0 &&
            user_name_of(entry.path().filename().string(), user_file_, page_mark_, &page))
            pages.emplace_back(std::move(page), entry.path());
    }
    std::sort(pages.begin(), pages.end(), [](const auto &a, const auto &b) { return a.first.number < b.first.number; });

    bool ok = keep && !pages.empty();
    if (keep) {
        for (const auto &[page, path] : pages) {
            if (const std::error_code err = move_file(path, page.user_name)) {
                std::printf("Could not write plot file %s: %s\n", page.user_name.c_str(), err.message().c_str());
                std::fflush(stdout);
                ok = false;
                continue;
            }
            std::printf("Wrote plot file %s\n", page.user_name.c_str());
            std::fflush(stdout);
            files_.push_back(page.user_name);
        }
    }
    if (ok)
        remove_later_pages(static_cast<int>(pages.size()));
    remove_private_folder();
    return ok;
}

void PlotDevice::remove_later_pages(int kept)
{
    /* Only files in this device's own format: GIF or PostScript, by the
     * first bytes PGPLOT writes. */
    const std::string type = device_type(device_);
    const char *magic = type.find("GIF") != std::string::npos ? "GIF8"
                        : type.find("PS") != std::string::npos ? "%!PS"
                                                               : nullptr;
    if (magic == nullptr)
        return;
    for (int page = kept + 1;; ++page) {
        std::string name = user_file_;
        if (page_mark_ != std::string::npos)
            name.replace(page_mark_, 1, std::to_string(page));
        else
            name += "_" + std::to_string(page);
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return;
        char head[4] = {};
        std::FILE *in = std::fopen(name.c_str(), "rb");
        const bool same_kind = in != nullptr && std::fread(head, 1, sizeof head, in) == sizeof head &&
                               std::memcmp(head, magic, sizeof head) == 0;
        if (in != nullptr)
            std::fclose(in);
        if (!same_kind || ::unlink(name.c_str()) != 0)
            return;
        std::printf("Removed plot file %s of an earlier plot\n", name.c_str());
        std::fflush(stdout);
    }
}

void PlotDevice::remove_private_folder()
{
    std::error_code ec;
    if (!folder_.empty())
        fs::remove_all(folder_, ec);
    folder_.clear();
}

} // namespace widgets
