/* The polar wheel: values binned in radius and angle painted as annular
 * sectors about a centre, with radius scales, dashed reference circles, a
 * colour wedge and five title lines. */
#include "PGSpectro.h"
#include "qpgplot_int.h"

#include <cpgplot.h>

#include <cmath>
#include <new>
#include <string>
#include <vector>

void arc(float rlo, float rhi, float thlo, float thhi)
{
    constexpr float kDegToRad = 0.0174532925f;
    const float thmid = (thlo + thhi) / 2.0f;
    const float radii[6] = {rlo, rhi, rhi, rhi, rlo, rlo};
    const float angles[6] = {thlo, thlo, thmid, thhi, thhi, thmid};
    float x[6];
    float y[6];
    for (int k = 0; k < 6; ++k) {
        x[k] = radii[k] * std::cos(angles[k] * kDegToRad);
        y[k] = radii[k] * std::sin(angles[k] * kDegToRad);
    }
    cpgpoly(6, x, y);
}

namespace {

/* The radius scale of a wheel: plotted radius of a data radius. */
struct RadiusScale {
    bool logarithmic;
    float r1;   /* data value at the centre (its logarithm when logarithmic) */
    float r2a;  /* data value at the edge (likewise) */
    float R;    /* plotted radius of the edge */

    float Plotted(float r) const { return logarithmic ? static_cast<float>(SafeLog10(r)) - r1 : r; }
};

void LinearScales(const RadiusScale &rs, Yes_or_No rnums)
{
    std::string opt = "ABCTS";
    if (rnums == YES)
        opt += 'N';
    cpgtbox(opt.c_str(), 0.0f, 0, opt.c_str(), 0.0f, 0);
    const float R = rs.R;
    cpgaxis("", 0.0f, -R, 0.0f, R, -R, R, 0.0f, 1, 0.5f, 0.5f, 0.5f, 1.0f, 0.0f);
    cpgaxis("", -R, 0.0f, R, 0.0f, -R, R, 0.0f, 1, 0.5f, 0.5f, 0.5f, 1.0f, 0.0f);
}

/* A convex quadrilateral of world coordinates: the box of a text. */
struct Quad {
    float x[4], y[4];
};

/* Whether two quadrilaterals overlap by more than a hair (a separating axis
 * among their edges' normals says they do not). */
bool Overlap(const Quad &a, const Quad &b, float hair)
{
    for (const Quad *q : {&a, &b}) {
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            const float nx = q->y[j] - q->y[i], ny = q->x[i] - q->x[j];
            const float n = std::hypot(nx, ny);
            if (n == 0)
                continue;
            float alo = INFINITY, ahi = -INFINITY, blo = INFINITY, bhi = -INFINITY;
            for (int k = 0; k < 4; ++k) {
                const float pa = (a.x[k] * nx + a.y[k] * ny) / n, pb = (b.x[k] * nx + b.y[k] * ny) / n;
                alo = std::fmin(alo, pa), ahi = std::fmax(ahi, pa);
                blo = std::fmin(blo, pb), bhi = std::fmax(bhi, pb);
            }
            if (std::fmin(ahi, bhi) - std::fmax(alo, blo) <= hair)
                return false;
        }
    }
    return true;
}

/* The numbers of the logarithmic radius scale, along the bottom edge (from
 * the centre out both ways) and the left edge (both ways from the centre
 * line), slanted at 40 degrees and ending just off the edge.  Decades come
 * first, then the values 5 and 2 times a decade; a value is written where
 * none of its places meets a number already written or leaves the page, so
 * crowded numbers (a small wheel, a corner where the two edges meet) are
 * left out rather than written over one another. */
void LogNumbers(const RadiusScale &rs)
{
    const float R = rs.R;
    float xch = 0, ych = 0;
    cpgqcs(4, &xch, &ych);
    const float off = ych;
    /* The page in world coordinates. */
    float vx1, vx2, vy1, vy2, wx1, wx2, wy1, wy2;
    cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
    cpgqwin(&wx1, &wx2, &wy1, &wy2);
    const auto world_x = [&](float ndc) { return wx1 + (ndc - vx1) / (vx2 - vx1) * (wx2 - wx1); };
    const auto world_y = [&](float ndc) { return wy1 + (ndc - vy1) / (vy2 - vy1) * (wy2 - wy1); };
    const float px1 = world_x(0), px2 = world_x(1), py1 = world_y(0), py2 = world_y(1);

    struct Place {
        float x, y;
    };
    struct Written {
        Quad box;
        Place at;
        std::string text;
    };
    std::vector<Written> written;
    const int first = static_cast<int>(std::floor(rs.r1)) - 1, last = static_cast<int>(std::ceil(rs.r2a)) + 1;
    for (const int m : {1, 5, 2}) {
        for (int k = first; k <= last; ++k) {
            const float p = static_cast<float>(std::log10(static_cast<double>(m)) + k) - rs.r1;
            if (!(p >= -1e-4f * R && p <= R * (1 + 1e-4f)))
                continue;
            char text[64] = {};
            int nc = static_cast<int>(sizeof text) - 1;
            cpgnumb(m, k, 0, text, &nc);
            text[nc > 0 && nc < static_cast<int>(sizeof text) ? nc : 0] = '\0';
            std::vector<Place> places = {{-p, -R - off}, {-R - off, -p}};
            if (p > 1e-4f * R)
                places.insert(places.end(), {{p, -R - off}, {-R - off, p}});
            std::vector<Written> these;
            bool free = true;
            for (const Place &at : places) {
                Written w{{}, at, text};
                cpgqtxt(at.x, at.y, 40.0f, 1.0f, text, w.box.x, w.box.y);
                for (int c = 0; c < 4; ++c)
                    free = free && w.box.x[c] >= px1 && w.box.x[c] <= px2 && w.box.y[c] >= py1 && w.box.y[c] <= py2;
                for (const Written &o : written)
                    free = free && !Overlap(w.box, o.box, 0.0f);
                for (const Written &o : these)
                    free = free && !Overlap(w.box, o.box, 0.0f);
                these.push_back(w);
            }
            if (free)
                written.insert(written.end(), these.begin(), these.end());
        }
    }
    for (const Written &w : written)
        cpgptxt(w.at.x, w.at.y, 40.0f, 1.0f, w.text.c_str());
}

/* Twelve half-axes, each reading r1 where it meets a centre line and r2a at
 * its outer end, with ticks; the bottom and left edges carry the numbers. */
void LogScales(const RadiusScale &rs, Yes_or_No rnums)
{
    const float R = rs.R;
    const float a = rs.r1;
    const float b = rs.r2a;
    struct HalfAxis {
        float x1, y1, x2, y2, v1, v2, left, right;
    };
    const HalfAxis axes[12] = {
        {-R, -R, 0, -R, b, a, 0.5f, 0}, {0, -R, R, -R, a, b, 0.5f, 0},  {-R, R, 0, R, b, a, 0, 0.5f},
        {0, R, R, R, a, b, 0, 0.5f},    {-R, 0, 0, 0, b, a, 0.5f, 0.5f}, {0, 0, R, 0, a, b, 0.5f, 0.5f},
        {-R, -R, -R, 0, b, a, 0, 0.5f}, {-R, 0, -R, R, a, b, 0, 0.5f},  {R, -R, R, 0, b, a, 0.5f, 0},
        {R, 0, R, R, a, b, 0.5f, 0},    {0, -R, 0, 0, b, a, 0.5f, 0.5f}, {0, 0, 0, R, a, b, 0.5f, 0.5f},
    };
    for (const HalfAxis &h : axes)
        cpgaxis("L", h.x1, h.y1, h.x2, h.y2, h.v1, h.v2, 0.0f, 1, h.left, h.right, 0.5f, 1.0f, 0.0f);
    if (rnums == YES)
        LogNumbers(rs);
}

/* The factor, at most 1, by which the character height ts is scaled so that
 * the wheel's texts stay on the page (panel) of the current viewport: the
 * radius labels 4 character heights out from the box and one high, the
 * title lines above it, centred on the box and justified by title_just, and
 * the wedge to its right with its numbers.  A landscape page leaves room
 * for all of them at full size; a portrait one is narrower beside the box
 * than the titles are long. */
float TextFit(const PGWheel &w, float ts)
{
    constexpr float kLabelRoom = 5.5f;  /* label displacement, its height and a margin */
    constexpr float kWedgeNumbers = 4.0f;
    float vx1, vx2, vy1, vy2;
    cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
    cpgsch(ts);
    float xch = 0, ych = 0;
    cpgqcs(0, &xch, &ych);
    float fit = 1.0f;
    const auto limit = [&fit](float room, float need) {
        if (need > 0 && room < need * fit)
            fit = std::fmax(room, 0.0f) / need;
    };
    limit(vx1, kLabelRoom * xch);
    limit(vy1, kLabelRoom * ych);
    limit(1.0f - vy2, kLabelRoom * ych);
    limit(1.0f - vx2, (w.wedge.disp + w.wedge.width + kWedgeNumbers) * xch);
    const float cx = (vx1 + vx2) / 2.0f;
    const struct {
        const char *text;
        float size;
    } titles[] = {{w.supsuptitle, 1.0f}, {w.suptitle, 0.75f}, {w.title, 0.75f}, {w.subtitle, 0.75f},
                  {w.subsubtitle, 0.75f}};
    /* The titles of a half (justified to one side) are fitted as if they
     * reached either way, so that the two halves of a wheel, each fitted
     * alone, get one size. */
    const float reach = std::fmax(w.title_just, 1.0f - w.title_just);
    for (const auto &t : titles) {
        if (t.text == nullptr)
            continue;
        cpgsch(ts * t.size);
        float xl = 0, yl = 0;
        cpglen(0, t.text, &xl, &yl);
        limit(cx, reach * xl);
        limit(1.0f - cx, reach * xl);
    }
    cpgsch(ts);
    return fit;
}

/* The whole wheel, or (half) what a second half over it draws. */
PGSpectro_ret Draw(const PGWheel &w, bool half)
{
    cpgsitf(0);
    cpgsvp(w.domain.xndcmin, w.domain.xndcmax, w.domain.yndcmin, w.domain.yndcmax);
    const int ncolours = set_pgp_rainbow(w.color_table);

    const int nr = w.nr > 0 ? w.nr : 0;
    const int nth = w.nth > 0 ? w.nth : 0;
    const auto bins = static_cast<std::size_t>(nr) * static_cast<std::size_t>(nth);
    const qpgplot::ColourScale scale(w.z, bins, w.zscalemin, w.zscalemax, w.zmissing, w.skip_missing,
                                     w.zlinlog, ncolours);

    RadiusScale rs{};
    rs.logarithmic = w.rlinlog == PGSPECTRO_LOG;
    if (rs.logarithmic) {
        rs.r1 = static_cast<float>(SafeLog10(w.domain.rmin));
        rs.r2a = static_cast<float>(SafeLog10(w.domain.rmax));
        rs.R = rs.r2a - rs.r1;
    } else {
        rs.r1 = w.domain.rmin;
        rs.r2a = w.domain.rmax;
        rs.R = w.domain.rmax;
    }
    /* Work copies of the radius edges in plotted units: the edges are
     * clamped to the axis below, at the centre and at the rim, and the
     * caller's arrays (often a sweep's own level edges) must stay as they
     * are. */
    std::vector<float> inner(static_cast<std::size_t>(nr));
    std::vector<float> outer(static_cast<std::size_t>(nr));
    for (int i = 0; i < nr; ++i) {
        inner[static_cast<std::size_t>(i)] = rs.Plotted(w.rbinlow[i]);
        outer[static_cast<std::size_t>(i)] = rs.Plotted(w.rbinhigh[i]);
    }

    cpgwnad(-rs.R, rs.R, -rs.R, rs.R);

    /* A bin reaching past the rim (a second sweep of higher energies drawn
     * on the first one's scale) is painted up to the rim only, and one
     * wholly beyond it not at all: nothing lies outside the wheel. */
    for (int i = 0; i < nr; ++i) {
        float &rin = inner[static_cast<std::size_t>(i)];
        float &rout = outer[static_cast<std::size_t>(i)];
        for (int j = 0; j < nth; ++j) {
            cpgsci(scale.IndexOf(static_cast<std::size_t>(i) * static_cast<std::size_t>(nth) +
                                 static_cast<std::size_t>(j)));
            if (rout > 0 && rin < rs.R) {
                if (rin < 0)
                    rin = 0;
                if (rout > rs.R)
                    rout = rs.R;
                arc(rin, rout, w.thbinlow[j], w.thbinhigh[j]);
            }
        }
    }

    cpgsci(1);
    const float ts = PGSpectro_legible_char_size(w.text_scale * TextFit(w, w.text_scale));
    cpgsch(ts);
    if (!half) {
        spectro_wedge(w.wedge, scale.zmin(), scale.zmax(), w.zlinlog);
        cpgmtxt("B", 4.0f, 0.5f, 0.5f, w.xlabel);
        cpgmtxt("L", 4.0f, 0.5f, 0.5f, w.ylabel);
    }
    /* The smaller title lines stay legible on a page of small panels; the
     * top line then stands one of them above the others. */
    const float small = PGSpectro_legible_char_size(0.75f * ts);
    cpgsch(ts);
    cpgmtxt("T", std::fmax(4.0f, 4.5f * small / ts), 0.5f, w.title_just, w.supsuptitle);
    cpgsch(small);
    cpgmtxt("T", 3.5f, 0.5f, w.title_just, w.suptitle);
    cpgmtxt("T", 2.5f, 0.5f, w.title_just, w.title);
    cpgmtxt("T", 1.5f, 0.5f, w.title_just, w.subtitle);
    cpgmtxt("T", 0.5f, 0.5f, w.title_just, w.subsubtitle);
    cpgsch(ts);

    const Yes_or_No numbers = half ? NO : w.rnums;
    if (rs.logarithmic)
        LogScales(rs, numbers);
    else
        LinearScales(rs, numbers);

    cpgsave();
    cpgsci(0);
    cpgsls(2);
    cpgsfs(2);
    for (int k = 0; k < w.ncircles; ++k) {
        const float r = rs.Plotted(w.rcircles[k]);
        if (r >= 0)
            cpgcirc(0.0f, 0.0f, r);
    }
    cpgunsa();
    return PGSPECTRO_OK;
}

// One picture (or a second half) on the open device, its output held
// until it is whole.
PGSpectro_ret DrawHeld(PGWheel &wheel, bool half)
{
    if (!qpgplot::DeviceOpen())
        return PGSPECTRO_NO_DEVICE;
    try {
        const qpgplot::BufferedOutput held;
        return Draw(wheel, half);
    } catch (const std::bad_alloc &) {
        return PGSPECTRO_MALLOC_FAILURE;
    }
}

} // namespace

PGSpectro_ret PGWheel_Plot(PGWheel *wheel)
{
    return DrawHeld(*wheel, false);
}

PGSpectro_ret PGWheel_Plot_half(PGWheel *wheel)
{
    return DrawHeld(*wheel, true);
}
