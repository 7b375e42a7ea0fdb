/* Model operations on pitch-angle sweeps: the Liouville mapping to another
 * field strength and potential, the parallel-velocity boost, the refined
 * grids both map through, and two angle differences. */
#include "sweep_ops_int.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <vector>

using namespace sweep_ops;

namespace {

/* Energy in eV of an electron moving at 1 km/s, per (km/s)^2. */
constexpr double kEnergyPerSpeedSq = 2.8429e-6;
constexpr double kRadPerDeg = 0.017453292519943295;
constexpr double kBoostRadPerDeg = 0.017453292;

/* 2n + 1 refined bins from n: every bin split in quarter steps so that the
 * refined centres straddle the old ones.  Falling bins are refined as the
 * same bins listed rising, and the refined ones listed falling again. */
void RefineEdges(const float *lo, const float *hi, int n, float *lo2, float *hi2)
{
    if (bins_fall(lo, n)) {
        const std::vector<float> rlo(std::make_reverse_iterator(lo + n), std::make_reverse_iterator(lo));
        const std::vector<float> rhi(std::make_reverse_iterator(hi + n), std::make_reverse_iterator(hi));
        RefineEdges(rlo.data(), rhi.data(), n, lo2, hi2);
        std::reverse(lo2, lo2 + 2 * n + 1);
        std::reverse(hi2, hi2 + 2 * n + 1);
        return;
    }
    lo2[0] = lo[0];
    for (int i = 0; i + 1 < n; ++i) {
        lo2[2 * i + 1] = (3 * lo[i] + lo[i + 1]) / 4;
        lo2[2 * i + 2] = (lo[i] + 3 * lo[i + 1]) / 4;
    }
    lo2[2 * n - 1] = (3 * lo[n - 1] + hi[n - 1]) / 4;
    lo2[2 * n] = (lo[n - 1] + 3 * hi[n - 1]) / 4;
    for (int i = 0; i < 2 * n; ++i)
        hi2[i] = lo2[i + 1];
    hi2[2 * n] = hi[n - 1];
}

/* A grid-only sweep (values unset) of n_sen x n_lev bins in bin_units. */
SweepPtr NewGrid(BIN_UNITS bin_units, int n_sen, int n_lev)
{
    if (n_sen < 1 || n_lev < 1)
        return nullptr;
    HALDE_SWEEP_S like{};
    like.bin_units = bin_units;
    return NewSweepLike(&like, n_sen, n_lev, false);
}

HALDE_SWEEP_S *DoubleGrid(const HALDE_SWEEP_S *swpin, bool sensors, const char *message)
{
    const int n_sen = sensors ? 2 * swpin->n_sen + 1 : swpin->n_sen;
    const int n_lev = sensors ? swpin->n_lev : 2 * swpin->n_lev + 1;
    SweepPtr grid = swpin->n_sen < 1 || swpin->n_lev < 1 ? nullptr : NewGrid(swpin->bin_units, n_sen, n_lev);
    if (!grid) {
        std::printf("%s\n", message);
        return nullptr;
    }
    if (sensors) {
        RefineEdges(swpin->thlo, swpin->thhi, swpin->n_sen, grid->thlo, grid->thhi);
        std::copy_n(swpin->elo, n_lev, grid->elo);
        std::copy_n(swpin->ehi, n_lev, grid->ehi);
    } else {
        std::copy_n(swpin->thlo, n_sen, grid->thlo);
        std::copy_n(swpin->thhi, n_sen, grid->thhi);
        RefineEdges(swpin->elo, swpin->ehi, swpin->n_lev, grid->elo, grid->ehi);
    }
    return rebin_sweep(grid.get(), swpin);
}

/* The bins of a polar grid whose range, widened by tol on each side, holds
 * x: none, one, or the two on each side of an edge that x lies on (to
 * within tol, so that rounding of the refined edges does not choose). */
std::vector<int> BinsTouching(float x, float tol, const float *lo, const float *hi, int n)
{
    std::vector<int> bins;
    for (int k = 0; k < n; ++k)
        if (std::min(lo[k], hi[k]) - tol <= x && x <= std::max(lo[k], hi[k]) + tol)
            bins.push_back(k);
    return bins;
}

/* The bin of the polar grid that a mapped angle a falls in.  An angle on
 * an edge (to within a hair, as edges are floats) goes to the bin on the
 * side of the field direction it comes from: towards 0 degrees for
 * electrons along the field, towards 180 for those against it.  The mirror
 * limit lies on that side of it, so a bin wholly beyond the limit never
 * receives an electron that reached only to its edge. */
int MappedBin(double a, bool along, const float *lo, const float *hi, int n)
{
    constexpr double kHair = 1e-4;  /* degrees */
    if (along)
        return bin_reaching(a - kHair, lo, hi, n);
    /* The highest bin whose low edge is at most a, walked from the top down
     * whichever way the bins are listed. */
    const bool fall = bins_fall(lo, n);
    for (int k = 0; k < n - 1; ++k) {
        const int i = fall ? k : n - 1 - k;
        if (!(lo[i] > a + kHair))
            return i;
    }
    return fall ? n - 1 : 0;
}

/* Sums and counts of the values mapped into each bin of a sweep. */
class Accumulator {
public:
    explicit Accumulator(HALDE_SWEEP_S *out) : out_(out), count_(static_cast<std::size_t>(Cells(out)), 0)
    {
        FillValues(out, out->missing_value);
    }
    void Add(long long bin, float v)
    {
        float &sum = out_->psd[bin];
        sum = count_[static_cast<std::size_t>(bin)] == 0 ? v : sum + v;
        ++count_[static_cast<std::size_t>(bin)];
    }
    /* Sums become means; bins that received nothing stay missing. */
    void Average()
    {
        for (std::size_t i = 0; i < count_.size(); ++i)
            if (count_[i] > 0)
                out_->psd[i] /= static_cast<float>(count_[i]);
    }

private:
    HALDE_SWEEP_S *out_;
    std::vector<int> count_;
};

} // namespace

float sinsq_map(float e1, float e2, float b2ob1, float thin)
{
    const double s = std::sin(thin * kRadPerDeg);
    return static_cast<float>(static_cast<double>(e1) / e2 * b2ob1 * s * s);
}

float cyclic360abs_diff(float x1, float x2)
{
    const float d = std::fabs(x1 - x2);
    return d <= 180 ? d : 360 - d;
}

float cyclic360pos_diff(float xlo, float xhi)
{
    /* Raised by whole turns at once, so that a far-off angle cannot keep the
     * loop going for ever. */
    if (xhi < xlo) {
        const double turns = std::ceil((static_cast<double>(xlo) - xhi) / 360.0);
        xhi = static_cast<float>(xhi + 360.0 * turns);
        for (int guard = 0; xhi < xlo && guard < 4; ++guard)
            xhi += 360;
    }
    return xhi - xlo;
}

HALDE_SWEEP_S *sweep_double_sensors(const HALDE_SWEEP_S *swpin)
{
    return DoubleGrid(swpin, true, "sweep_double_sensors Error: couldn't malloc refined sweep arrays");
}

HALDE_SWEEP_S *sweep_double_levels(const HALDE_SWEEP_S *swpin)
{
    return DoubleGrid(swpin, false, "sweep_double_levels Error: couldn't malloc refined sweep arrays");
}

HALDE_SWEEP_S *PADLiouvilleMap(const HALDE_SWEEP_S *swp1, float B1, float B2, float epot, int n_theta_double)
{
    if (swp1->psd_units != PSD_UNITS_S3_PER_KM6) {
        std::printf("Liouville Map Error: only units <=> f(v) allowed\n");
        return nullptr;
    }
    if (B1 == 0) {
        std::printf("Liouville Map Error: B1 = 0!\n");
        return nullptr;
    }
    const double ratio = std::fabs(static_cast<double>(B2) / B1);

    const int passes = std::clamp(n_theta_double, 1, 10);
    SweepPtr r(create_sweep_full_copy(swp1));
    if (!r) {
        std::printf("Liouville Map: couldn't create swp1r copy\n");
        return nullptr;
    }
    for (int p = 0; p < passes && r; ++p)
        r.reset(sweep_double_sensors(r.get()));
    if (!r)
        return nullptr;

    SweepPtr swp2(create_sweep_full_copy(swp1));
    if (!swp2) {
        std::printf("Liouville Map Error: couldn't create swp2 copy\n");
        return nullptr;
    }
    const int n_lev = r->n_lev;
    std::vector<double> e1(static_cast<std::size_t>(std::max(n_lev, 0)));
    std::vector<double> e2(e1.size());
    switch (swp1->bin_units) {
    case BIN_UNITS_EV:
        for (int l = 0; l < n_lev; ++l) {
            e1[l] = (static_cast<double>(r->elo[l]) + r->ehi[l]) / 2;
            swp2->elo[l] = r->elo[l] + epot;
            swp2->ehi[l] = r->ehi[l] + epot;
            e2[l] = (static_cast<double>(swp2->elo[l]) + swp2->ehi[l]) / 2;
        }
        break;
    case BIN_UNITS_KM_S: {
        /* Squared speeds stand for energies: only their ratio is used.  A
         * loss beyond a level's energy leaves it at rest, not at a NaN. */
        const double c = epot / kEnergyPerSpeedSq;
        auto raised = [c](float v) { return static_cast<float>(std::sqrt(std::max(0.0, double(v) * v + c))); };
        for (int l = 0; l < n_lev; ++l) {
            swp2->elo[l] = raised(r->elo[l]);
            swp2->ehi[l] = raised(r->ehi[l]);
            e1[l] = (double(r->elo[l]) * r->elo[l] + double(r->ehi[l]) * r->ehi[l]) / 2;
            e2[l] = (double(swp2->elo[l]) * swp2->elo[l] + double(swp2->ehi[l]) * swp2->ehi[l]) / 2;
        }
        break;
    }
    default:
        std::printf("Liouville Map Error: Unknown bin units\n");
        return nullptr;
    }

    Accumulator acc(swp2.get());
    /* The polar grid is the input's, in its listing order: the reader's
     * rows run from 180 degrees down. */
    const int n_out = swp2->n_sen;
    const float lowest = n_out > 0 ? bins_lowest_edge(swp2->thlo, n_out) : 0.0f;
    const float highest = n_out > 0 ? bins_highest_edge(swp2->thlo, swp2->thhi, n_out) : 0.0f;
    for (int t = 0; t < r->n_sen; ++t) {
        const float centre = (r->thlo[t] + r->thhi[t]) / 2;
        const double c_t = (static_cast<double>(r->thlo[t]) + r->thhi[t]) / 2;
        /* A refined bin that reaches past the edge of the data carries the
         * edge value over into bins the instrument did not fill: only a
         * centre inside present bins of the input maps.  A centre on the
         * edge of two input bins (refinement keeps one refined bin across
         * each input edge, the others' centres lie far inside) needs both. */
        const float tol = std::fabs(r->thhi[t] - r->thlo[t]) / 4;
        const std::vector<int> under = BinsTouching(centre, tol, swp1->thlo, swp1->thhi, swp1->n_sen);
        for (int l = 0; l < n_lev; ++l) {
            if (std::any_of(under.begin(), under.end(), [&](int k) {
                    return swp1->psd[l + static_cast<long long>(swp1->n_lev) * k] == swp1->missing_value;
                }))
                continue;
            /* sin^2 of the mapped angle, in double precision: an angle
             * that lands on the mirror limit must not be pushed past it. */
            const double sc = std::sin(c_t * kRadPerDeg);
            const double s = e1[l] / e2[l] * ratio * sc * sc;
            if (!(s >= 0 && s <= 1))
                continue;
            double a = std::asin(std::sqrt(s)) / kRadPerDeg;
            /* No electron gets beyond the mirror limit, where one of 90
             * degrees lands; rounding may not carry it further. */
            const double s90 = e1[l] / e2[l] * ratio;
            if (s90 < 1)
                a = std::min(a, std::asin(std::sqrt(s90)) / kRadPerDeg);
            const bool along = c_t <= 90;
            if (!along)
                a = 180 - a;
            if (n_out < 1 || a < lowest || a > highest)
                continue;
            const int j = MappedBin(a, along, swp2->thlo, swp2->thhi, n_out);
            const float v = r->psd[l + static_cast<long long>(n_lev) * t];
            if (v != r->missing_value)
                acc.Add(l + static_cast<long long>(swp2->n_lev) * j, v);
        }
    }
    acc.Average();

    SetLineageText(swp2->lineage->virtual_inst,
                   Format("%.99s B%4.2g->%4.2g,e\\gf%4.2geV", swp1->lineage ? swp1->lineage->virtual_inst : "",
                          static_cast<double>(B1), static_cast<double>(B2), static_cast<double>(epot)));
    std::printf("PADLiouvilleMap returning ...\n");
    return swp2.release();
}

HALDE_SWEEP_S *PADvpara_boost(const HALDE_SWEEP_S *swpin, float vparaboost, int thetafactor, int levelfactor)
{
    const double vb = vparaboost;
    const double avb = std::fabs(vb);
    const double K = kEnergyPerSpeedSq;
    const bool speeds = swpin->bin_units == BIN_UNITS_KM_S;

    /* The fine grid: four times the final one in each direction, its levels
     * widened by the boost. */
    const long long fine_sen = 4LL * swpin->n_sen * thetafactor;
    const long long fine_lev = 4LL * swpin->n_lev * levelfactor;
    SweepPtr grid;
    if (thetafactor > 0 && levelfactor > 0 && fine_sen <= 1 << 24 && fine_lev <= 1 << 24)
        grid = NewGrid(swpin->bin_units, static_cast<int>(fine_sen), static_cast<int>(fine_lev));
    if (!grid) {
        std::printf("PADvparaboost failed to malloc bin_holder\n");
        return nullptr;
    }
    const double e_first = bins_lowest_edge(swpin->elo, swpin->n_lev);
    const double e_last = bins_highest_edge(swpin->elo, swpin->ehi, swpin->n_lev);
    double low, high;
    if (speeds) {
        low = e_first - avb;
        if (low < 0)
            low = 0.1 * e_first;
        high = e_last + avb;
    } else {
        const double w = std::sqrt(e_first / K) - avb;
        low = w >= 0 ? K * w * w : 0.1 * e_first;
        const double top = std::sqrt(e_last / K) + avb;
        high = K * top * top;
    }
    set_equal_bins_half_ends(grid->thlo, grid->thhi, grid->n_sen, 0.0f, 180.0f);
    set_equal_bins_linlog(grid->elo, grid->ehi, grid->n_lev, static_cast<float>(low), static_cast<float>(high),
                          PGSPECTRO_LOG);

    SweepPtr fine(rebin_sweep(grid.get(), swpin));
    SweepPtr out(fine ? create_sweep_full_copy(fine.get()) : nullptr);
    if (!fine || !out) {
        std::printf("PADvpara_boost create/malloc error\n");
        return nullptr;
    }
    Accumulator acc(out.get());

    /* Level centres as speeds; out's level edges in km/s while mapping. */
    const int n_lev = fine->n_lev;
    std::vector<double> vc(static_cast<std::size_t>(n_lev));
    if (!speeds && swpin->bin_units != BIN_UNITS_EV) {
        std::printf("Unrecognised bin units in PADvpara_boost\n");
        std::printf("Defaulting to energy - use with caution\n");
    }
    for (int l = 0; l < n_lev; ++l) {
        const double lo = fine->elo[l], hi = fine->ehi[l];
        if (speeds) {
            vc[l] = std::sqrt((lo * lo + hi * hi) / 2);
        } else {
            vc[l] = std::sqrt((lo + hi) / 2 / K);
            out->elo[l] = static_cast<float>(std::sqrt(out->elo[l] / K));
            out->ehi[l] = static_cast<float>(std::sqrt(out->ehi[l] / K));
        }
    }
    for (int s = 0; s < fine->n_sen; ++s) {
        const double th = (static_cast<double>(fine->thlo[s]) + fine->thhi[s]) / 2 * kBoostRadPerDeg;
        for (int l = 0; l < n_lev; ++l) {
            const double v_par = vb + vc[l] * std::cos(th);
            const double v_perp = vc[l] * std::sin(th);
            const double v = std::sqrt(v_par * v_par + v_perp * v_perp);
            const double th2 = std::acos(v_par / v) / kRadPerDeg;
            const int ts = inbin(static_cast<float>(th2), out->thlo, out->thhi, out->n_sen);
            const int tl = inbin(static_cast<float>(v), out->elo, out->ehi, out->n_lev);
            if (ts < 0 || tl < 0)
                continue;
            const float value = fine->psd[l + static_cast<long long>(n_lev) * s];
            if (value != fine->missing_value)
                acc.Add(tl + static_cast<long long>(out->n_lev) * ts, value);
        }
    }
    acc.Average();
    SetLineageText(out->lineage->instrument,
                   Format("%.99s V//+=%4.2gkm/s", swpin->lineage ? swpin->lineage->instrument : "", vb));
    if (!speeds) {
        for (int l = 0; l < out->n_lev; ++l) {
            out->elo[l] = static_cast<float>(K * out->elo[l] * out->elo[l]);
            out->ehi[l] = static_cast<float>(K * out->ehi[l] * out->ehi[l]);
        }
    }

    SweepPtr final_grid = NewGrid(swpin->bin_units, swpin->n_sen * thetafactor, swpin->n_lev * levelfactor);
    if (!final_grid) {
        std::printf("PADvparaboost failed to malloc 2nd bin_holder\n");
        return nullptr;
    }
    set_equal_bins_half_ends(final_grid->thlo, final_grid->thhi, final_grid->n_sen, 0.0f, 180.0f);
    set_equal_bins_linlog(final_grid->elo, final_grid->ehi, final_grid->n_lev, out->elo[0], out->ehi[out->n_lev - 1],
                          PGSPECTRO_LOG);
    HALDE_SWEEP_S *result = rebin_sweep(final_grid.get(), out.get());
    std::printf("PADvpara_boost returning\n");
    return result;
}
