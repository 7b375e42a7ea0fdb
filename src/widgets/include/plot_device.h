/* The PGPLOT device of one plot action, for both programs.
 *
 * PGPLOT writes its picture files under the file name in the device
 * name it opens, but cuts a GIF path at 80 characters and a PostScript path
 * at 90 without failing, and an open-then-close with nothing drawn leaves an
 * empty file in place of an earlier plot of the same name.  A PlotDevice
 * therefore lets PGPLOT write short names in a private temporary folder and
 * moves the files to the user's names only when the action closes the
 * device keeping its plot; a discarded plot, or one whose files are empty,
 * leaves the user's folder as it was.  A device opened for numbered pages
 * puts the page number in place of the last "#" of its file name (as
 * PGPLOT numbers pages); every other "#" is part of the name as typed.  The
 * further pages of a multi-page GIF without a page number in its name
 * ("name_2", "name_3", ...) follow the first page into the user's folder.
 * X-window devices (/XSERVE, /XWINDOW) and /NULL are opened exactly as
 * given.
 *
 * PGPLOT announces each GIF page it starts by the private name, which the
 * user never sees on disk.  While a file device is open, the standard output
 * is therefore held in a scratch file; at close the announcements of private
 * files are left out, everything else printed meanwhile follows in its
 * order, and each file kept is then named in one line "Wrote plot file %s".
 *
 * Use:
 *     widgets::PlotDevice device;
 *     if (device.open("stem.gif/GIF") < 1) { ...report, end... }
 *     ...draw...
 *     device.close(drawn);   // true: keep the plot, false: throw it away
 * A device still open when the object goes is closed and its files removed.
 * One PGPLOT device is open at a time per process, so one PlotDevice. */
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace widgets {

class PlotDevice {
public:
    /* Whether the last "#" of the file name numbers the pages. */
    enum class Pages { Unnumbered = 0, Numbered = 1 };

    PlotDevice() = default;
    ~PlotDevice();
    PlotDevice(const PlotDevice &) = delete;
    PlotDevice &operator=(const PlotDevice &) = delete;

    /* Opens name ("file/TYPE", as cpgopen takes it) and makes it the current
     * device.  Returns cpgopen's identifier (1 or more), or 0 when PGPLOT
     * refuses the device, the folder of the file does not exist or cannot
     * be written, a private folder cannot be made, or a device of this
     * object is open already; reason() then says which.  Prints nothing. */
    int open(const std::string &name, Pages pages = Pages::Unnumbered);

    /* Closes the device (cpgclos).  keep true: every non-empty file PGPLOT
     * wrote replaces the file of the user's name (through a temporary file
     * in the user's folder when the two folders are on different file
     * systems) and is named in the line "Wrote plot file %s"; true when all
     * moved.  A file that cannot be moved prints "Could not write plot file
     * %s: %s" and is removed; false then.  keep false: the files are
     * removed; false.  Nothing open: false.  After a kept plot whose
     * files all moved, the further pages of an earlier plot under the same
     * name go (each named in "Removed plot file %s of an earlier plot"). */
    bool close(bool keep);

    /* Why the last open failed and what to do, in one line without its end
     * (empty when open succeeded): the folder of the file, a device type
     * PGPLOT does not know, or for an X window no display (DISPLAY unset)
     * or one PGPLOT could not open its window on. */
    const std::string &reason() const { return reason_; }

    bool is_open() const { return open_; }
    /* The user's file names that the last close(true) wrote, in page order. */
    const std::vector<std::string> &files() const { return files_; }

private:
    void remove_private_folder();
    /* After a kept plot of pages 1..kept: the further pages of an earlier
     * plot under the same name and numbering (a longer wheel sequence),
     * written by a device of the same kind, are removed, so that the user's
     * folder holds exactly this plot's pages. */
    void remove_later_pages(int kept);
    /* Standard output into a scratch file, and back: end_capture prints what
     * was held, less PGPLOT's announcements of the private files. */
    void begin_capture();
    void end_capture();

    bool open_ = false;
    std::string user_file_; /* the file part of the name; empty for a passed-through device */
    std::size_t page_mark_ = std::string::npos; /* the "#" of user_file_ that numbers pages, if any */
    std::string folder_;    /* the private folder; empty for a passed-through device */
    std::string device_;    /* the device name given to open */
    std::string reason_;
    std::vector<std::string> files_;
    int saved_stdout_ = -1;          /* the real standard output while held */
    std::FILE *held_ = nullptr;      /* what was printed meanwhile */
};

/* Removes from the folder base the private folders "<prefix><pid>-XXXXXX"
 * of this user whose processes no longer run (one ended during an action,
 * killed or crashed, leaves its folder behind); the folders of running
 * processes stay.  The plot device's are "kombra-pg-<pid>-XXXXXX" in the
 * temporary folder. */
void remove_stale_private_folders(const std::string &base, const std::string &prefix);

/* True when the device type of name (after its last "/") names a device
 * that writes no file: an X window or the null device. */
bool plot_device_is_screen(const std::string &name);

} // namespace widgets
