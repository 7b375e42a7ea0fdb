/* Filling one sweep from the reader's records of all its sensors: level
 * edges from the sweep steps, polar edges from the sensor angles, values in
 * the asked units through the description's tables, optional pitch angles,
 * the times and the azimuth range. */
#include "Qsweep_spin.h"
#include "sweep_int.h"

#include "libKELD.h"
#include "nurv.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

/* The first two sweep-step values of the latest sweep whose edges were set;
 * every sensor record of a later sweep must carry the same pair. */
KOMBRA_LONG g_first_swp_step = 0;
KOMBRA_LONG g_second_swp_step = 0;

/* Fixed-length prefix tests of lineage names, as stored files name them. */
bool StartsWith(const char *name, const char *prefix)
{
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

bool IsSpinPad(const NURV_LINEAGE_S *lineage)
{
    return StartsWith(lineage->instrument, "SPINPAD");
}

bool IsRPad(const NURV_LINEAGE_S *lineage)
{
    return StartsWith(lineage->instrument, "RPAD");
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

/* Carries whole days of seconds into the day of year (and the year). */
void CarryDays(NURV_TIME_S *t)
{
    while (t->sec >= 86400) {
        t->sec -= 86400;
        ++t->doy;
        if (t->doy > (IsLeapYear(t->year) ? 366 : 365)) {
            t->doy = 1;
            ++t->year;
        }
    }
}

NURV_TIME_S NurvTimePlusSpinImpl(const NURV_TIME_S &btime, float tspin)
{
    NURV_TIME_S t = btime;
    const long double sum = static_cast<long double>(btime.sec) + static_cast<long double>(btime.nano) * 1e-9L +
                            static_cast<long double>(tspin);
    t.sec = static_cast<KOMBRA_LONG>(sum);
    t.nano = static_cast<KOMBRA_LONG>((sum - static_cast<long double>(t.sec)) * 1e9L);
    CarryDays(&t);
    return t;
}

struct TableStep {
    KOMBRA_CHAR table;
    KOMBRA_LONG oper;
};

KOMBRA_SHORT SetTables(std::initializer_list<TableStep> steps, KOMBRA_CHAR *num_tbls, KOMBRA_CHAR *tbls,
                       KOMBRA_LONG *opers)
{
    int n = 0;
    for (const TableStep &s : steps) {
        if (n >= kMaxPsdTables)
            break;
        tbls[n] = s.table;
        opers[n] = s.oper;
        ++n;
    }
    *num_tbls = static_cast<KOMBRA_CHAR>(n);
    return 1;
}

/* Table 255 of the one-count lists: "no table", read by the reader as -1. */
constexpr KOMBRA_CHAR kNoTable = static_cast<KOMBRA_CHAR>(255);

} // namespace

NURV_TIME_S nurv_time_plus_spin(const NURV_TIME_S &btime, float tspin)
{
    return NurvTimePlusSpinImpl(btime, tspin);
}

void set_times_from_nur(NURV_TIME_S *begin, NURV_TIME_S *end, NURV_TIME_S *suntime, const nur_data *nurp)
{
    begin->year = nurp->byear;
    begin->doy = nurp->bday;
    msec_nano_to_sec_nano(nurp->bmilli, nurp->bnano, &begin->sec, &begin->nano);
    end->year = nurp->eyear;
    end->doy = nurp->eday;
    msec_nano_to_sec_nano(nurp->emilli, nurp->enano, &end->sec, &end->nano);
    suntime->year = begin->year;
    suntime->doy = begin->doy;
    msec_nano_to_sec_nano(nurp->sun_sen, 0, &suntime->sec, &suntime->nano);
}

KOMBRA_SHORT read2filled_sensor(KOMBRA_ULONG dkey, NURV_LINEAGE_S *lineage, nur_data *nurp, int nsen,
                                int *nsen_found, T_OR_F_E forward)
{
    if (nsen < 1)
        return -517;
    nurp->filled_data = 0;
    for (;;) {
        KOMBRA_SHORT status = 1;
        for (int i = 0; i < nsen; ++i) {
            const KOMBRA_CHAR fwd = (forward == QPTRUE && i == nsen - 1) ? 1 : 0;
            status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(i), fwd, 1);
            if (nurp->filled_data) {
                *nsen_found = i;
                return 1;
            }
            if (sweep_end_mark(status)) {
                puts("read2filled_sensor ran off end of file");
                return -520;
            }
            if (status < 0)
                return status;
        }
        /* Without moving forward another pass reads the same record again:
         * none of its sensors holds data. */
        if (forward != QPTRUE)
            return -517;
        /* The last read did not move on either (nothing new yet). */
        if (status != 1 && status != 2) {
            printf("read2filled_sensor: read_drec returned %d without moving on\n", status);
            return status;
        }
    }
}

KOMBRA_SHORT set_psd_tables(const NURV_LINEAGE_S *lineage, PSD_UNITS_E psd_units, KOMBRA_CHAR *num_tbls,
                            KOMBRA_CHAR *tbls, KOMBRA_LONG *opers)
{
    const bool clust = StartsWith(lineage->project, "CLUST");
    const bool dstar = StartsWith(lineage->project, "DOUBLEST");
    if (!clust && !dstar) {
        printf("set_psd_tables project = %s not recognised\n", lineage->project);
        return -499;
    }
    const bool rpad = dstar && IsRPad(lineage);
    /* Compared unsigned: a negative unit counts as one above 5. */
    const unsigned units = static_cast<unsigned>(psd_units);

    if (!rpad && units >= 3 && units <= 5) {
        switch (units) {
        case 3:
            return SetTables({{0, 0}, {0, 1000}, {kNoTable, 2052}}, num_tbls, tbls, opers);
        case 4:
            return SetTables({{0, 0}, {0, 1000}, {kNoTable, 2052}, {2, 154}, {3, 4}, {4, 4}, {5, 3}}, num_tbls,
                             tbls, opers);
        default:
            return SetTables({{0, 0},
                              {0, 1000},
                              {kNoTable, 2052},
                              {2, 154},
                              {3, 4},
                              {4, 4},
                              {6, 3},
                              {5, 4},
                              {1, 4},
                              {5, 4},
                              {1, 4}},
                             num_tbls, tbls, opers);
        }
    }
    if (clust) {
        switch (units) {
        case 1:
            return SetTables({{0, 0}, {2, 154}, {3, 4}, {4, 4}, {5, 3}}, num_tbls, tbls, opers);
        case 2:
            return SetTables({{0, 0}, {2, 154}, {3, 4}, {4, 4}, {6, 3}, {5, 4}, {1, 4}, {5, 4}, {1, 4}}, num_tbls,
                             tbls, opers);
        default:
            return SetTables({{0, 0}}, num_tbls, tbls, opers);
        }
    }
    if (!rpad) {
        switch (units) {
        case 1:
            return SetTables({{2, 154}, {3, 4}, {4, 4}, {5, 3}}, num_tbls, tbls, opers);
        case 2:
            return SetTables({{2, 154}, {3, 4}, {4, 4}, {6, 3}, {5, 4}, {1, 4}, {5, 4}, {1, 4}}, num_tbls, tbls,
                             opers);
        default:
            return SetTables({}, num_tbls, tbls, opers);
        }
    }
    switch (units) {
    case 1:
        return SetTables({{0, 0}, {1, 3}, {5, 3}}, num_tbls, tbls, opers);
    case 2:
        return SetTables({{0, 0}, {1, 3}, {6, 3}, {5, 4}, {1, 4}, {5, 4}, {1, 4}}, num_tbls, tbls, opers);
    case 3:
    case 4:
    case 5:
        puts("1-count not implemented for RPAD");
        return -499;
    default:
        return SetTables({{0, 0}, {1, 3}, {4, 3}, {3, 3}, {2, 3}}, num_tbls, tbls, opers);
    }
}

KOMBRA_SHORT e_bin_edges(KOMBRA_ULONG dkey, nur_data *nurp, KOMBRA_USHORT vsn, float *bin_low, float *bin_high,
                         BIN_UNITS_E bin_units, int n)
{
    if (nurp->num_swp_steps > n) {
        puts("More sweep steps than size of array to hold them");
        return -499;
    }
    /* Levels the sweep steps do not cover stay 0, which the bin check
     * refuses, rather than holding whatever the arrays held. */
    std::fill(bin_low, bin_low + std::max(n, 0), 0.0f);
    std::fill(bin_high, bin_high + std::max(n, 0), 0.0f);
    const bool kms = bin_units == BIN_UNITS_KM_S;
    const auto edges = [&](KOMBRA_CHAR first_table, float *out) {
        const KOMBRA_CHAR tbls[4] = {first_table, 5, 11, 13};
        const KOMBRA_LONG opers[4] = {0, 3, 63, 3};
        return convert_to_units(dkey, "", vsn, nurp, nurp->sensor, 2, 0, static_cast<int8_t>(kms ? 4 : 1), tbls,
                                opers, out, 0, 0);
    };
    if (edges(9, bin_low) != 1) {
        puts("Error getting bin low edge.");
        return -499;
    }
    if (edges(10, bin_high) != 1) {
        puts("Error getting bin upper edge.");
        return -499;
    }
    return 1;
}

KOMBRA_SHORT fill_single_sen_sweep(HALDE_SWEEP_S *sweep, int isen, KOMBRA_ULONG dkey, nur_data *nurp,
                                   T_OR_F_E do_pa)
{
    const NURV_LINEAGE_S *lineage = sweep->lineage;
    const int n_lev = sweep->n_lev;
    const int row = IsSpinPad(lineage) ? sweep->n_sen - isen - 1 : isen;
    if (row < 0 || row >= sweep->n_sen || n_lev < 1)
        return -501;

    KOMBRA_CHAR num_tbls = 0;
    KOMBRA_CHAR tbls[kMaxPsdTables];
    KOMBRA_LONG opers[kMaxPsdTables];
    if (set_psd_tables(lineage, sweep->psd_units, &num_tbls, tbls, opers) != 1) {
        puts("HALDE3D: Couldn't set psd tables in fill_single_sweep");
        return -501;
    }

    int8_t chk_fill = 0;
    KOMBRA_LONG fillval = 0;
    const unsigned units = static_cast<unsigned>(sweep->psd_units);
    if (units < 3 || units > 5) {
        KOMBRA_CHAR flag = 0;
        read_nur(dkey, lineage->exten, lineage->vsn, &flag, _FILL_FLG, 0, 0, 1);
        if (flag == 1) {
            chk_fill = 1;
            read_nur(dkey, lineage->exten, lineage->vsn, &fillval, _FILL, 0, 0, 1);
        } else {
            chk_fill = 1;
            fillval = 0;
        }
    }

    /* The reader writes one value per sample (and pitch angle) of the
     * record; the buffer holds whatever the record carries. */
    const std::size_t room = std::max<std::size_t>(
        {static_cast<std::size_t>(nurp->num_sample), static_cast<std::size_t>(nurp->num_pitch),
         static_cast<std::size_t>(n_lev)});
    std::vector<float> values(room, 0.0f);
    const KOMBRA_SHORT status = convert_to_units(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(isen),
                                                 1, 0, num_tbls, tbls, opers, values.data(), chk_fill, fillval);
    if (status != 1) {
        printf("HALDE3D: convert_to_units returned error %d\n", status);
        return -501;
    }
    const bool rpad = IsRPad(lineage);
    const auto index = [&](int k) { return (rpad ? k : n_lev - 1 - k) + n_lev * row; };
    for (int k = 0; k < n_lev; ++k)
        sweep->psd[index(k)] = values[static_cast<std::size_t>(k)] < -3.23e38f ? sweep->missing_value
                                                                              : values[static_cast<std::size_t>(k)];

    if (do_pa == QPTRUE) {
        if (nurp->num_pitch != n_lev) {
            printf("Pitch angles requested but nurp->num_pitch = %d != n_lev = %d\n", nurp->num_pitch, n_lev);
            return -505;
        }
        const KOMBRA_SHORT pst = convert_to_units(dkey, lineage->exten, lineage->vsn, nurp,
                                                  static_cast<KOMBRA_SHORT>(isen), 6, 0, 0, nullptr, nullptr,
                                                  values.data(), 0, 0);
        if (pst != 1) {
            printf("HALDE3D: convert_to_units returned error %d\n", pst);
            return -501;
        }
        if (sweep->pa == nullptr)
            return -501;
        for (int k = 0; k < n_lev; ++k)
            sweep->pa[index(k)] = values[static_cast<std::size_t>(k)];
    }
    return 1;
}

KOMBRA_SHORT fill_sweep(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey,
                        T_OR_F_E have_bins, T_OR_F_E do_pa)
{
    bool file_ended = false;
    return sweep_fill_telling_end(sweep, lineage, nurp, dkey, have_bins, do_pa, &file_ended);
}

KOMBRA_SHORT sweep_fill_telling_end(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey,
                                    T_OR_F_E have_bins, T_OR_F_E do_pa, bool *file_ended)
{
    *file_ended = false;
    const bool spin_pad = IsSpinPad(lineage);
    const bool rpad = IsRPad(lineage);

    int first_filled = 0;
    KOMBRA_SHORT status = read2filled_sensor(dkey, lineage, nurp, sweep->n_sen, &first_filled, QPFALSE);
    if (status != 1) {
        printf("fill_sweep failed to read2filled_sensor returning %d\n", status);
        return status;
    }

    const int n_lev = nurp->num_sample;
    if (have_bins != QPTRUE || sweep->elo == nullptr) {
        free_sweep_arrays(sweep);
        sweep->n_lev = n_lev;
        if (malloc_sweep_arrays(sweep, do_pa == QPTRUE) != 1) {
            puts("malloc_sweep_arrays failed");
            return -501;
        }
        have_bins = QPFALSE;
    } else if (sweep->n_lev != n_lev) {
        puts("HALDE3D: n_level check fail");
        printf("   nurp->num_sample = %d, n_lev expected = %d\n", nurp->num_sample, sweep->n_lev);
        return -508;
    }

    if (have_bins != QPTRUE) {
        g_first_swp_step = nurp->num_swp_steps > 0 ? nurp->swp_data[0] : 0;
        g_second_swp_step = nurp->num_swp_steps > 1 ? nurp->swp_data[1] : 0;
        if (e_bin_edges(dkey, nurp, lineage->vsn, sweep->elo, sweep->ehi, sweep->bin_units, n_lev) != 1) {
            puts("HALDE3D: e_bin_edge fail");
            return -501;
        }
        if (!rpad && (invert_array(sweep->elo, n_lev) != 1 || invert_array(sweep->ehi, n_lev) != 1)) {
            puts("HALDE3D: invert e_bin fail");
            return -501;
        }
        if (check_bins(sweep->elo, sweep->ehi, n_lev) != 1) {
            puts("HALDE3D: check_bins failed");
            return -501;
        }
        copy_lineage(sweep->lineage, lineage);
    }

    std::fill(sweep->psd, sweep->psd + static_cast<std::size_t>(sweep->n_sen) * n_lev, sweep->missing_value);
    if (sweep->pa != nullptr)
        std::fill(sweep->pa, sweep->pa + static_cast<std::size_t>(sweep->n_sen) * n_lev, sweep->missing_value);

    for (int isen = 0; isen < sweep->n_sen; ++isen) {
        const KOMBRA_CHAR fwd = isen == sweep->n_sen - 1 ? 1 : 0;
        status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(isen), fwd, 1);
        if (status < 0) {
            printf("\nError %d from read_drec reading sensor %d\n", status, isen);
            return status;
        }
        /* The last sensor's read moved on: to the end mark, when the file
         * ends with this sweep. */
        *file_ended = fwd && sweep_end_mark(status);
        if (have_bins != QPTRUE) {
            if (spin_pad) {
                sweep->thlo[sweep->n_sen - 1 - isen] = nurp->start_theta;
                sweep->thhi[sweep->n_sen - 1 - isen] = nurp->stop_theta;
            } else if (rpad) {
                sweep->thlo[isen] = nurp->start_theta;
                sweep->thhi[isen] = nurp->stop_theta;
            } else {
                sweep->thlo[isen] = 180.0f - nurp->stop_theta;
                sweep->thhi[isen] = 180.0f - nurp->start_theta;
            }
        }
        if (!nurp->filled_data)
            continue;
        if (nurp->num_sample != n_lev) {
            puts("HALDE3D: n_level check fail");
            printf("   nurp->num_sample = %d, n_lev expected = %d\n", nurp->num_sample, n_lev);
            return -508;
        }
        const KOMBRA_LONG s0 = nurp->num_swp_steps > 0 ? nurp->swp_data[0] : 0;
        const KOMBRA_LONG s1 = nurp->num_swp_steps > 1 ? nurp->swp_data[1] : 0;
        if (s0 != g_first_swp_step || s1 != g_second_swp_step) {
            puts("HALDE3D: fill sweep psd lev check fail");
            return -501;
        }
        if (fill_single_sen_sweep(sweep, isen, dkey, nurp, do_pa) != 1) {
            puts("HALDE3D: fill_single_sweep error");
            return -501;
        }
    }

    NURV_TIME_S begin{}, end{}, sun{};
    set_times_from_nur(&begin, &end, &sun, nurp);
    if (spin_pad) {
        const float tspin = static_cast<float>(nurp->spin_rate) / 1000.0f;
        sweep->suntime = sun;
        sweep->btime = sun;
        sweep->etime = nurv_time_plus_spin(sun, tspin);
    } else {
        sweep->btime = begin;
        sweep->etime = end;
        sweep->suntime = sun;
    }

    /* The azimuth range runs from the first sample's start to the last
     * sample's stop. */
    if (nurp->num_angle > 0 && nurp->start_az != nullptr && nurp->stop_az != nullptr) {
        sweep->phi_lo = mod360(nurp->start_az[0] + 180.0f);
        sweep->phi_hi = mod360(nurp->stop_az[nurp->num_angle - 1] + 180.0f);
    }
    sweep->phi_sc = 0.0f;

    const unsigned units = static_cast<unsigned>(sweep->psd_units);
    if (units >= 3 && units <= 5) {
        append_lineage_mark(sweep->lineage->experiment, "1cnt", 96);
        sweep->psd_units = static_cast<PSD_UNITS_E>(units - 3);
    }
    return 1;
}

void print_nur_data(const nur_data *nurp)
{
    NURV_TIME_S b{}, e{}, s{};
    set_times_from_nur(&b, &e, &s, nurp);
    printf("sensor %d\n", nurp->sensor);
    printf("begin ");
    print_nurv_time(&b);
    printf("\nend   ");
    print_nurv_time(&e);
    printf("\nnum_sample %d num_angle %d cal_len %ld num_swp_steps %d num_pitch %d\n", nurp->num_sample,
           nurp->num_angle, static_cast<long>(nurp->cal_len), nurp->num_swp_steps, nurp->num_pitch);
    printf("sun_sen %ld spin_rate %ld start_theta %g stop_theta %g\n", static_cast<long>(nurp->sun_sen),
           static_cast<long>(nurp->spin_rate), nurp->start_theta, nurp->stop_theta);
    for (int i = 0; i < nurp->num_angle && nurp->start_az && nurp->stop_az; ++i)
        printf("az %d: %g .. %g\n", i, nurp->start_az[i], nurp->stop_az[i]);
    for (int i = 0; i < nurp->num_swp_steps && nurp->swp_data; ++i)
        printf("%ld%s", static_cast<long>(nurp->swp_data[i]), (i % 6 == 5) ? "\n" : " ");
    printf("\n");
    for (long i = 0; i < nurp->cal_len && nurp->cal_data; ++i)
        printf("%ld ", static_cast<long>(nurp->cal_data[i]));
    printf("\n");
    for (int i = 0; i < nurp->num_sample && nurp->sen_data; ++i)
        printf("%12ld%s", static_cast<long>(nurp->sen_data[i]), (i % 8 == 7) ? "\n" : "");
    printf("\n");
    if (nurp->num_pitch == 0 || nurp->pitch_angles == nullptr) {
        puts("No pitch angles returned");
        return;
    }
    for (int i = 0; i < nurp->num_pitch; ++i)
        printf("%g%s", nurp->pitch_angles[i], (i % 10 == 9) ? "\n" : " ");
    printf("\n");
}
