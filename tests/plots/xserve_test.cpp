// A two-sweep wheel on PGPLOT's X-window server device (run under Xvfb by
// scripts/with-xvfb).
#include "Velora_plot.h"
#include "sweeps.h"

#include <cpgplot.h>

namespace {

TEST(XServe, TwoSweepWheelOnTheXWindow)
{
    SweepPtr s = plot_test::MakeSweep(8, {10, 100}, {100, 1000}, [](int i, int l) { return 1.0f + i + l; });
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    opt.pg_device = "/XSERVE";
    ASSERT_EQ(0, PlotTwoSweeps(s.get(), s.get(), &opt));
    char type[64] = {};
    int len = sizeof type;
    cpgqinf("TYPE", type, &len);
    EXPECT_STREQ("XSERVE", type);
    EXPECT_FLOAT_EQ(1.0f, opt.zmin);
    cpgclos();
}

}  // namespace
