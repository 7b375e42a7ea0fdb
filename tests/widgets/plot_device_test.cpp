// The plot device of both programs: user files of any path length, earlier
// plots kept when nothing is drawn, pages of multi-page GIFs beside the
// first page, refused folders.
#include "plot_device.h"
#include "plot_files.h"

#include "cpgplot.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;
using kombra_test::ReadFile;
using kombra_test::TempDir;
using kombra_test::WriteFile;

namespace {

class PlotDeviceTest : public ::testing::Test {
protected:
    kombra_test::ScopedEnv fonts_{"PGPLOT_DIR", "/usr/lib/pgplot5"};
    TempDir dir_;
};

void DrawPages(int n)
{
    for (int i = 0; i < n; ++i) {
        cpgpage();
        cpgenv(0, 1, 0, 1, 0, 0);
    }
}

TEST_F(PlotDeviceTest, LongPathsGetTheWholeName)
{
    const fs::path deep = dir_.path() / std::string(60, 'd') / std::string(40, 'e');
    fs::create_directories(deep);
    for (const char *type : {"/GIF", "/CPS"}) {
        const std::string file = (deep / (std::string("plot") + (type[1] == 'G' ? ".gif" : ".ps"))).string();
        widgets::PlotDevice device;
        ASSERT_GE(device.open(file + type), 1) << type;
        DrawPages(1);
        EXPECT_TRUE(device.close(true));
        ASSERT_EQ(device.files(), std::vector<std::string>{file});
        EXPECT_GT(fs::file_size(file), 100u);
    }
    EXPECT_FALSE(QImage(QString::fromStdString((deep / "plot.gif").string())).isNull());
}

TEST_F(PlotDeviceTest, NothingDrawnOrDiscardedKeepsTheEarlierPlot)
{
    const std::string file = dir_.file("keep.gif");
    WriteFile(file, "earlier plot");
    {
        widgets::PlotDevice device;
        ASSERT_GE(device.open(file + "/GIF"), 1);
        EXPECT_FALSE(device.close(true));  // PGPLOT leaves an empty file
    }
    {
        widgets::PlotDevice device;
        ASSERT_GE(device.open(file + "/GIF"), 1);
        DrawPages(1);
        EXPECT_FALSE(device.close(false));
    }
    {
        widgets::PlotDevice device;  // left open: the destructor throws it away
        ASSERT_GE(device.open(file + "/GIF"), 1);
        DrawPages(1);
    }
    EXPECT_EQ(ReadFile(file), "earlier plot");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator{}), 1);
}

TEST_F(PlotDeviceTest, PagesOfMultiPageGifsLandBesideTheFirst)
{
    const fs::path sub = dir_.path() / "out";
    fs::create_directory(sub);
    const fs::path work = dir_.path() / "work";
    fs::create_directory(work);
    const fs::path old = fs::current_path();
    fs::current_path(work);
    widgets::PlotDevice device;
    ASSERT_GE(device.open("../out/seq.gif/GIF"), 1);
    DrawPages(3);
    EXPECT_TRUE(device.close(true));
    EXPECT_EQ(device.files(), (std::vector<std::string>{"../out/seq.gif", "../out/seq.gif_2", "../out/seq.gif_3"}));
    ASSERT_GE(device.open("../out/w#.gif/VGIF", widgets::PlotDevice::Pages::Numbered), 1);
    DrawPages(2);
    EXPECT_TRUE(device.close(true));
    EXPECT_EQ(device.files(), (std::vector<std::string>{"../out/w1.gif", "../out/w2.gif"}));
    // A "#" typed in the name stays as typed: only the last one of a
    // numbered device takes the page number.
    ASSERT_GE(device.open("../out/a#b.gif/GIF"), 1);
    DrawPages(2);
    EXPECT_TRUE(device.close(true));
    EXPECT_EQ(device.files(), (std::vector<std::string>{"../out/a#b.gif", "../out/a#b.gif_2"}));
    ASSERT_GE(device.open("../out/w#x#.gif/GIF", widgets::PlotDevice::Pages::Numbered), 1);
    DrawPages(2);
    EXPECT_TRUE(device.close(true));
    EXPECT_EQ(device.files(), (std::vector<std::string>{"../out/w#x1.gif", "../out/w#x2.gif"}));
    fs::current_path(old);
    EXPECT_TRUE(fs::is_empty(work));
    for (const char *name : {"seq.gif", "seq.gif_2", "seq.gif_3", "w1.gif", "w2.gif", "a#b.gif", "w#x2.gif"})
        EXPECT_FALSE(QImage(QString::fromStdString((sub / name).string())).isNull()) << name;
}

// PGPLOT announces each GIF page by its private name; the user reads the
// names of the files kept instead, and every other line in its place.
TEST_F(PlotDeviceTest, LinesNameTheKeptFilesOnly)
{
    const std::string stem = dir_.file("w");
    testing::internal::CaptureStdout();
    {
        widgets::PlotDevice device;
        ASSERT_GE(device.open(stem + "#.gif/GIF", widgets::PlotDevice::Pages::Numbered), 1);
        std::printf("before the pages\n");
        DrawPages(2);
        cpgswin(0, 0, 0, 1);  // PGPLOT's own warning, printed while held
        EXPECT_TRUE(device.close(true));
    }
    const std::string kept = testing::internal::GetCapturedStdout();
    EXPECT_EQ(kept, "before the pages\n"
                    " %PGPLOT, invalid x limits in PGSWIN: X1 = X2.\n"
                    "Wrote plot file " + stem + "1.gif\n"
                    "Wrote plot file " + stem + "2.gif\n");

    testing::internal::CaptureStdout();
    {
        widgets::PlotDevice device;
        ASSERT_GE(device.open(stem + "#.gif/GIF", widgets::PlotDevice::Pages::Numbered), 1);
        DrawPages(2);
        EXPECT_FALSE(device.close(false));
        std::printf("after the close\n");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "after the close\n");
}

TEST_F(PlotDeviceTest, MissingOrUnwritableFoldersAndBadTypesDoNotOpen)
{
    widgets::PlotDevice device;
    EXPECT_EQ(device.open(dir_.file("no/such/folder/p.gif") + "/GIF"), 0);
    EXPECT_EQ(device.reason(), "The folder " + dir_.file("no/such/folder") +
                                   " of the plot file is no folder: No such file or directory");
    EXPECT_EQ(device.open(dir_.file("p.gif") + "/NOSUCHDEVICE"), 0);
    EXPECT_EQ(device.reason(), "PGPLOT does not know the device type /NOSUCHDEVICE; nothing written");
    {
        kombra_test::ScopedEnv no_display{"DISPLAY", std::nullopt};
        EXPECT_EQ(device.open("3/Xserv"), 0);
        EXPECT_EQ(device.reason(), "There is no X display to draw on (DISPLAY is not set): start the program on an "
                                   "X display, or use \"Print to File\"");
    }
    if (geteuid() != 0) {
        fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(device.open(dir_.file("p.gif") + "/GIF"), 0);
        fs::permissions(dir_.path(), fs::perms::owner_all);
    }
    EXPECT_FALSE(device.is_open());
    EXPECT_FALSE(device.close(true));
    EXPECT_TRUE(widgets::plot_device_is_screen("3/Xserv"));
    EXPECT_TRUE(widgets::plot_device_is_screen("/XWINDOW"));
    EXPECT_FALSE(widgets::plot_device_is_screen("x.gif/GIF"));
}

}  // namespace
