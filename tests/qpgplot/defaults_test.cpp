// Defaults of the drawing records and the safe logarithm.
#include "PGSpectro.h"
#include "support.h"

#include <cmath>
#include <limits>

namespace {

TEST(SafeLog10, NonPositiveAndTinyValuesFloorAtMinus33)
{
    EXPECT_DOUBLE_EQ(-33.0, SafeLog10(1e-33));
    EXPECT_EQ(-33.0, SafeLog10(0.0));
    EXPECT_EQ(-33.0, SafeLog10(-5.0));
    EXPECT_EQ(-33.0, SafeLog10(1e-40));
    EXPECT_EQ(-33.0, SafeLog10(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_DOUBLE_EQ(3.0, SafeLog10(1000.0));
}

TEST(Defaults, FreshSpectrogramIsPlainLinearWithAWedge)
{
    float cells[1];
    PGSpectro s;
    s.z = cells;
    PGSpectro_set_defaults(&s);
    EXPECT_EQ(cells, s.z) << "arrays are left alone";
    EXPECT_EQ(PGSPECTRO_LIN, s.xlinlog);
    EXPECT_EQ(PGSPECTRO_LIN, s.zlinlog);
    EXPECT_EQ(YES, s.xnums);
    EXPECT_EQ(YES, s.draw_wedge);
    EXPECT_EQ(NO, s.timex);
    EXPECT_EQ(NO, s.xgapfill);
    EXPECT_EQ(NO, s.skip_missing);
    EXPECT_STREQ(" ", s.title);
    EXPECT_EQ(s.title, s.wedge.label) << "one shared blank text";
}

TEST(Defaults, TraceSplitsPlotAndLegend)
{
    PGXYtrace t;
    EXPECT_EQ(PGSPECTRO_OK, PGXYtrace_set_defaults(&t));
    EXPECT_FLOAT_EQ(0.1f, t.plot_domain.xndcmin);
    EXPECT_FLOAT_EQ(0.55f, t.plot_domain.xndcmax);
    EXPECT_FLOAT_EQ(0.625f, t.legend_domain.xndcmin);
    EXPECT_FLOAT_EQ(0.85f, t.legend_domain.xndcmax);
    EXPECT_FLOAT_EQ(0.1f, t.legend_domain.yndcmin);
    EXPECT_FLOAT_EQ(0.9f, t.plot_domain.yndcmax);
}

} // namespace
