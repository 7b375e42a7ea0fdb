/* The pitch-angle product reader.  A "PAD" product's sensors hold
 * pitch-angle bins gathered over two half spins; the IEL data set gives the
 * field azimuth and polar bin of each spin, from which the half spin that
 * sees the field-parallel direction follows.  The bins of both halves are
 * laid on one circle of clock positions and read off from the field's
 * direction round to its opposite, giving rows of pitch angle 0..180.
 * Also the older one-spin slice entry point. */
#include "Qsweep_spin.h"
#include "sweep_alloc_int.h"
#include "sweep_int.h"

#include "libCfg.h"
#include "libKELD.h"
#include "libdbSQL.h"
#include "nurv.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr KOMBRA_SHORT kPadFailed = -500;
constexpr int kMaxPadSensors = 12;

bool Equals(const char *name, const char *what)
{
    return std::strcmp(name, what) == 0;
}

/* A conversion buffer that holds every value the reader writes for the
 * record (one per sample or pitch angle). */
std::vector<float> RecordBuffer(const nur_data *nurp)
{
    return std::vector<float>(std::max<std::size_t>({nurp->num_sample, nurp->num_pitch, 1}), 0.0f);
}

/* Reads one IEL sensor (moving on when fwd) and converts its first value. */
KOMBRA_SHORT IelValue(KOMBRA_ULONG dkey, nur_data *nurp, const NURV_LINEAGE_S *lineage, KOMBRA_SHORT sensor,
                      KOMBRA_CHAR fwd, const char *what, float *value)
{
    nurp->filled_data = 0;
    const KOMBRA_SHORT status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, sensor, fwd, 0);
    if (status < 0) {
        printf("\nError %d from read_drec. iel sens %d\n", status, sensor);
        return kPadFailed;
    }
    if (status != 1 && !nurp->filled_data) {
        printf("PAD_ERROR: Problem with result from read_drec iel sens %d\n", sensor);
        return kPadFailed;
    }
    std::vector<float> out = RecordBuffer(nurp);
    if (convert_to_units(dkey, lineage->exten, lineage->vsn, nurp, sensor, 1, 0, 0, nullptr, nullptr, out.data(), 0,
                         0) != 1) {
        printf("PAD_ERROR: failed to convert_to_units %s\n", what);
        return kPadFailed;
    }
    *value = out[0];
    return 1;
}

/* The two data sets of a pitch-angle product reading, from set-up to the
 * aligned first spin. */
struct PadReading {
    NURV_LINEAGE_S *pad_lineage = nullptr;
    NURV_LINEAGE_S iel{};
    nur_data *pad = nullptr;
    nur_data *ielrec = nullptr;
    KOMBRA_ULONG pad_key = 0;
    KOMBRA_ULONG iel_key = 0;
    bool do_pa = false;

    KOMBRA_SHORT Open(NURV_LINEAGE_S *lineage, const NURV_TIME_S &begin, const NURV_TIME_S &end, bool pitch,
                      const char *promote_message);
    KOMBRA_SHORT Advance(bool pad_set)
    {
        NURV_TIME_S b{}, e{};
        return pad_set ? advance_nur_file_spin_start(pad_key, pad, pad_lineage, &b, &e, 0)
                       : advance_nur_file_spin_start(iel_key, ielrec, &iel, &b, &e, 0);
    }
    /* Both sets at the same sun time; with verbose, the times are told. */
    KOMBRA_SHORT Align(bool verbose);
    /* One distribution of the spin the reader stands at into the nullified
     * sweep (the IEL set already at its field values). */
    KOMBRA_SHORT ReadSpin(HALDE_SWEEP_S *sweep, BIN_UNITS_E bin_units, PSD_UNITS_E psd_units);
};

KOMBRA_SHORT PadReading::Open(NURV_LINEAGE_S *lineage, const NURV_TIME_S &begin, const NURV_TIME_S &end, bool pitch,
                              const char *promote_message)
{
    pad_lineage = lineage;
    copy_lineage(&iel, lineage);
    std::snprintf(iel.instrument, sizeof iel.instrument, "%s", "CORE");
    std::snprintf(iel.virtual_inst, sizeof iel.virtual_inst, "%s", "CPCIEL");
    if (sweep_data_access_ready() != 1)
        return -501;
    get_version_number(&lineage->vsn);
    get_version_number(&iel.vsn);

    KOMBRA_SHORT status = create_nur_data_structure(&pad);
    if (status != 1) {
        printf("Error %d in create nur struct for PAD\n", status);
        return status;
    }
    status = static_cast<KOMBRA_SHORT>(get_data_key(lineage->project, lineage->mission, lineage->experiment,
                                                    lineage->instrument, lineage->virtual_inst, &pad_key));
    if (status != 1) {
        puts("Error getting data key for PAD");
        return status;
    }
    status = create_nur_data_structure(&ielrec);
    if (status != 1) {
        printf("Error %d in create nur struct for IEL\n", status);
        return status;
    }
    status = static_cast<KOMBRA_SHORT>(
        get_data_key(iel.project, iel.mission, iel.experiment, iel.instrument, iel.virtual_inst, &iel_key));
    if (status != 1) {
        puts("Error getting data key for CPCIEL");
        return status;
    }
    KOMBRA_ULONG pa_key = 0;
    if (pitch && get_data_key(lineage->project, lineage->mission, "FGM", "VEC", "CFUNIT", &pa_key) != 1) {
        puts("Error getting pa_data key");
        return kPadFailed;
    }
    sweep_promote_passes(begin, end, {pad_key, iel_key, pitch ? pa_key : 0}, promote_message);

    status = init_nur_file(begin, end, pad_key, pad, lineage->vsn);
    if (status != 1) {
        puts("Error init_nur_file for PAD");
        return status;
    }
    do_pa = pitch && sweep_pitch_source_usable(pad_key, *lineage, &pa_key);
    KOMBRA_SHORT nsen = 0;
    const KOMBRA_LONG got = read_nur(pad_key, lineage->exten, lineage->vsn, &nsen, _SEN, 0, 0, 1);
    if (got != 1) {
        printf("\n Error %ld from read_nur routine.\n", static_cast<long>(got));
        return kPadFailed;
    }
    status = read_drec(pad_key, lineage->exten, lineage->vsn, pad, 0, 0, 1);
    if (status != 1) {
        printf("1st pad read_drec failed with %d\n", status);
        return status;
    }
    status = init_nur_file(begin, end, iel_key, ielrec, iel.vsn);
    if (status != 1) {
        puts("Error init_nur_file for CPCIEL");
        return status;
    }
    status = read_drec(iel_key, iel.exten, iel.vsn, ielrec, 0, 0, 1);
    if (status != 1) {
        printf("1st pad read_drec failed with %d\n", status);
        return status;
    }
    return 1;
}

KOMBRA_SHORT PadReading::Align(bool verbose)
{
    KOMBRA_SHORT status = Advance(true);
    if (status != 1) {
        puts("Failed to advance pad to a spin start");
        return status;
    }
    status = Advance(false);
    if (status != 1) {
        puts("Failed to advance iel to a spin start");
        return status;
    }
    if (verbose)
        printf("Initial try match PAD Sun sensor = %ld; IEL Sun sensor = %ld\n", static_cast<long>(pad->sun_sen),
               static_cast<long>(ielrec->sun_sen));
    while (pad->sun_sen != ielrec->sun_sen && status == 1) {
        const bool pad_behind = pad->sun_sen < ielrec->sun_sen;
        status = Advance(pad_behind);
        if (status != 1)
            printf(pad_behind ? "Advance pad failed returning %d\n" : "Advance iel failed returning %d\n", status);
    }
    if (status != 1)
        return status;
    if (pad->sun_sen != ielrec->sun_sen) {
        puts("PAD and IEL Sun Sensor Times not same");
        printf("PAD: %ld   IEL %ld\n", static_cast<long>(pad->sun_sen), static_cast<long>(ielrec->sun_sen));
        return kPadFailed;
    }
    if (verbose)
        puts("PAD and IEL Sun Sensor are now");
    return 1;
}

KOMBRA_SHORT PadReading::ReadSpin(HALDE_SWEEP_S *sweep, BIN_UNITS_E bin_units, PSD_UNITS_E psd_units)
{
    float b_az = 0.0f;
    int b_pol = 0;
    if (get_b_az(iel_key, ielrec, &iel, &b_az, &b_pol) != 1) {
        puts("Error get_b_az from iel");
        return kPadFailed;
    }
    PARALLEL_FIELD_HALF_SPIN_E half = PARALLEL_FIRST_HALF;
    int isen = 0;
    KOMBRA_SHORT status = init_pad(sweep, pad_lineage, pad, pad_key, b_az, &half, &isen);
    if (status != 1) {
        puts("Error init_pad");
        return status;
    }
    const int expected = expected_first_polbin(b_pol, pad_lineage, sweep);
    if (expected != isen) {
        printf("isen_expected = %d differs from empirical one", expected);
        printf(" %d. Using empirical\n", isen);
    }
    if (malloc_sweep_arrays(sweep, do_pa) != 1) {
        puts("malloc_sweep_arrays failed");
        return kPadFailed;
    }
    const auto fail = [sweep](KOMBRA_SHORT code) {
        free_sweep_arrays(sweep);
        return code;
    };
    sweep->bin_units = bin_units;
    status = e_bin_edges(pad_key, pad, pad_lineage->vsn, sweep->elo, sweep->ehi, bin_units, sweep->n_lev);
    if (status != 1) {
        printf("Error getting E bin edges returned %d\n", status);
        return fail(status);
    }
    if (invert_array(sweep->elo, sweep->n_lev) != 1 || invert_array(sweep->ehi, sweep->n_lev) != 1 ||
        check_bins(sweep->elo, sweep->ehi, sweep->n_lev) != 1) {
        puts("Error inverting or checking e bins");
        return fail(kPadFailed);
    }
    if (set_equal_bins_half_ends(sweep->thlo, sweep->thhi, sweep->n_sen, 0.0f, 180.0f) != 1) {
        puts("Error setting polar bins");
        return fail(kPadFailed);
    }
    copy_lineage(sweep->lineage, pad_lineage);
    status = fill_pad(sweep, pad_lineage, pad, pad_key, bin_units, psd_units, do_pa ? QPTRUE : QPFALSE, half, isen);
    if (status != 1) {
        printf("Error fill_pad returned %d \n", status);
        free_sweep_arrays(sweep);
        puts("fill_pad returning");
        return status;
    }
    return 1;
}

} // namespace

int compute_clockbin(int sensor, int num_sensors, int swp_half, int n_pa)
{
    if (swp_half == PARALLEL_FIRST_HALF)
        return sensor;
    if (swp_half != PARALLEL_SECOND_HALF) {
        printf("Invalid swp_half = %d in compute_clockbin\n", swp_half);
        return -1;
    }
    const int c = 2 * num_sensors - sensor - 1;
    if (c < 0 || c > 2 * n_pa - 1) {
        printf("PAD ERROR: Clock pos = %d not >0 or < %d\n", c, 2 * n_pa - 1);
        return -1;
    }
    return c;
}

int exchange_b_tip_tail(int *bpol, PARALLEL_FIELD_HALF_SPIN_E *half, int n_sensors)
{
    *half = *half == PARALLEL_FIRST_HALF ? PARALLEL_SECOND_HALF : PARALLEL_FIRST_HALF;
    *bpol = n_sensors - *bpol - 1;
    return (*bpol < 0 || *bpol > n_sensors - 1) ? kPadFailed : 0;
}

CLOCK_DIRECTION_E clockstep(const int clockbins[], int *startbin, int nbins, int tries_to_go)
{
    for (; tries_to_go > 0 && nbins > 0; --tries_to_go) {
        /* Every index is taken round the circle, so that no start, however
         * far out, reads outside it. */
        const auto wrap = [nbins](int i) { return ((i % nbins) + nbins) % nbins; };
        *startbin = wrap(*startbin);
        if (clockbins[*startbin] >= 0) {
            if (clockbins[wrap(*startbin + 1)] < 0)
                return COUNTERCLOCKWISE;
            if (clockbins[wrap(*startbin - 1)] < 0)
                return CLOCKWISE;
        }
        *startbin += 1;
    }
    puts("clockstep ran out of tries");
    return CLOCKSTEPERROR;
}

KOMBRA_SHORT sort_pa_bins(const int inbins[], int outbins[], int pa_dim, PARALLEL_FIELD_HALF_SPIN_E half,
                          int b_polbin)
{
    const int n = 2 * pa_dim - 2;
    if (n < 1)
        return kPadFailed;
    std::vector<int> clockbin(static_cast<std::size_t>(n), -1);
    for (int i = 0; i < pa_dim; ++i) {
        if (inbins[i] < 0 || inbins[i] >= n) {
            printf("sort_pa_bins inbin[%d] = %d out of range for %d clockbins\n", i, inbins[i], n);
            return kPadFailed;
        }
        clockbin[static_cast<std::size_t>(inbins[i])] = i;
    }
    int bpol = b_polbin;
    PARALLEL_FIELD_HALF_SPIN_E h = half;
    if (exchange_b_tip_tail(&bpol, &h, pa_dim - 1) != 0) {
        puts("exchange_b_tip_tail returned error");
        return kPadFailed;
    }
    int start = compute_clockbin(bpol, pa_dim - 1, h, pa_dim);
    if (start < 0) {
        puts("compute_clockbin returned error for b_aligned_clockbin");
        return kPadFailed;
    }
    const CLOCK_DIRECTION_E direction = clockstep(clockbin.data(), &start, n, n / 2 + 1);
    if (direction == CLOCKSTEPERROR) {
        puts("Clockstep returned 0 to sort_pa_bins");
        return kPadFailed;
    }
    for (int i = 0; i < pa_dim; ++i) {
        const int at = ((start + n + i * direction) % n + n) % n;
        if (clockbin[static_cast<std::size_t>(at)] < 0) {
            printf("sort_pa_bins tried to put empty clockbin[%d] into outbin[%d]\n", at, i);
            return kPadFailed;
        }
        outbins[i] = clockbin[static_cast<std::size_t>(at)];
    }
    return 1;
}

int expected_first_polbin(int b_polbin_iel, const NURV_LINEAGE_S *lineage, const HALDE_SWEEP_S *sweep)
{
    if (Equals(lineage->virtual_inst, "CPPADL"))
        return b_polbin_iel;
    if (Equals(lineage->virtual_inst, "CPPADH"))
        return sweep->n_sen - b_polbin_iel - 2;
    printf("expected_first_polbin Virt Inst = %s, not CPPADL or CPPADH\n", lineage->virtual_inst);
    return b_polbin_iel;
}

KOMBRA_SHORT set_b_para_half_spin(float b_az, const NURV_LINEAGE_S *lineage, PARALLEL_FIELD_HALF_SPIN_E *half)
{
    if (!(b_az >= 0.0f && b_az <= 360.0f)) {
        printf("b_az = %g out of range in set_b_para_half_spin\n", b_az);
        return kPadFailed;
    }
    if (Equals(lineage->virtual_inst, "CPPADL")) {
        *half = b_az <= 180.0f ? PARALLEL_FIRST_HALF : PARALLEL_SECOND_HALF;
        return 1;
    }
    if (Equals(lineage->virtual_inst, "CPPADH")) {
        *half = b_az <= 180.0f ? PARALLEL_SECOND_HALF : PARALLEL_FIRST_HALF;
        return 1;
    }
    printf("set_b_para_spin_half Virt Inst = %s, not CPPADL or CPPADH\n", lineage->virtual_inst);
    return kPadFailed;
}

KOMBRA_SHORT get_b_az(KOMBRA_ULONG dkey, nur_data *nurp, NURV_LINEAGE_S *lineage, float *b_az, int *b_pol_iel)
{
    if (IelValue(dkey, nurp, lineage, 14, 0, "b_az", b_az) != 1)
        return kPadFailed;
    float pol = 0.0f;
    if (IelValue(dkey, nurp, lineage, 15, 1, "b_pol", &pol) != 1)
        return kPadFailed;
    *b_pol_iel = static_cast<int>(pol);
    return 1;
}

KOMBRA_SHORT init_pad(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey, float b_az,
                      PARALLEL_FIELD_HALF_SPIN_E *half, int *isen_init)
{
    KOMBRA_SHORT num_sensor = 0;
    const KOMBRA_LONG got = read_nur(dkey, lineage->exten, lineage->vsn, &num_sensor, _SEN, 0, 0, 1);
    if (got != 1) {
        printf("\n Error %ld from read_nur routine.\n", static_cast<long>(got));
        return kPadFailed;
    }
    if (num_sensor > kMaxPadSensors) {
        printf("Pad has too many %d sensors! Oops.\n", num_sensor);
        return kPadFailed;
    }
    sweep->n_sen = num_sensor + 1;
    nurp->filled_data = 0;
    int isen = 0;
    for (; isen < num_sensor; ++isen) {
        const KOMBRA_SHORT status =
            read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(isen), 0, 1);
        if (status < 0) {
            printf("\nError %d from pad read_drec.\n", status);
            return kPadFailed;
        }
        if (nurp->filled_data)
            break;
    }
    if (!nurp->filled_data) {
        puts("Failed to initialise; all sensors read but no data filled");
        return kPadFailed;
    }
    sweep->n_lev = nurp->num_sample;
    *isen_init = isen;
    const KOMBRA_SHORT status = set_b_para_half_spin(b_az, lineage, half);
    if (status != 1) {
        printf("ERROR:set_b_para_half_spin returned %d\n", status);
        return status;
    }
    sweep->phi_frame = HALDE_TZERO;
    if (nurp->num_angle > 0 && nurp->start_az != nullptr && nurp->stop_az != nullptr) {
        sweep->phi_lo = mod360(nurp->start_az[0] + 180.0f);
        sweep->phi_hi = mod360(nurp->stop_az[nurp->num_angle - 1] + 180.0f);
    }
    /* The product covers the spin that begins at the record's sun pulse;
     * every later step orders and labels sweeps by these times. */
    NURV_TIME_S begin{}, end{};
    set_times_from_nur(&begin, &end, &sweep->suntime, nurp);
    sweep->btime = sweep->suntime;
    sweep->etime = nurv_time_plus_spin(sweep->btime, static_cast<float>(nurp->spin_rate) / 1000.0f);
    return 1;
}

KOMBRA_SHORT fill_pad(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey,
                      BIN_UNITS_E bin_units, PSD_UNITS_E psd_units, T_OR_F_E do_pa,
                      PARALLEL_FIELD_HALF_SPIN_E b_half, int isen)
{
    sweep->bin_units = bin_units;
    sweep->psd_units = psd_units;
    KOMBRA_SHORT nsensors = 0;
    const KOMBRA_LONG got = read_nur(dkey, lineage->exten, lineage->vsn, &nsensors, _SEN, 0, 0, 1);
    if (got != 1) {
        printf("\n Error %ld from read_nur routine in fill_single_pad.\n", static_cast<long>(got));
        return kPadFailed;
    }
    const int n_pa = sweep->n_sen;
    const int n_lev = sweep->n_lev;
    if (n_pa - 1 != nsensors || n_lev < 1) {
        printf("Pad has %d sensors; expected:(n_pitch_angles - 1)= %d! Oops.\n", nsensors, n_pa - 1);
        return kPadFailed;
    }
    KOMBRA_CHAR num_tbls = 0;
    KOMBRA_CHAR tbls[kMaxPsdTables];
    KOMBRA_LONG opers[kMaxPsdTables];
    if (set_psd_tables(lineage, psd_units, &num_tbls, tbls, opers) != 1) {
        puts("Set_psd_tables failed");
        return kPadFailed;
    }
    /* Bins in the order they are read, levels as the reader gives them. */
    const auto cells = static_cast<std::size_t>(n_pa) * static_cast<std::size_t>(n_lev);
    std::vector<float> values(cells, -1.0f), pitch(cells, -1.0f);
    std::vector<int> clock(static_cast<std::size_t>(n_pa), -1), order(static_cast<std::size_t>(n_pa), -1);
    const auto last = static_cast<KOMBRA_SHORT>(nsensors - 1);

    KOMBRA_SHORT status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, last, 0, 1);
    if (status < 0) {
        printf("\nError %d from pad read_drec. to set harskip\n", status);
        return kPadFailed;
    }
    std::vector<float> mode(std::max<std::size_t>({nurp->num_sample, nurp->mode_len, 16}), 0.0f);
    const bool harskip = convert_to_units(dkey, lineage->exten, lineage->vsn, nurp, 0, 4, 0, 0, nullptr, nullptr,
                                          mode.data(), 0, 0) == 1 &&
                         mode[0] == 2.0f;
    const KOMBRA_LONG first_milli = nurp->bmilli;

    int ibin = 0;
    for (int half = 0; half < 2; ++half) {
        for (int s = 0; s < nsensors; ++s) {
            status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(s),
                               s == nsensors - 1 ? 1 : 0, 1);
            if (status < 0) {
                printf("\nError %d from pad read_drec.\n", status);
                return kPadFailed;
            }
            if (!nurp->filled_data)
                continue;
            if (ibin >= n_pa) {
                puts("PAD ERROR: More pa bins got than n_pa expected");
                return kPadFailed;
            }
            if (nurp->num_sample != n_lev) {
                printf("PAD record has %d levels; expected %d\n", nurp->num_sample, n_lev);
                return kPadFailed;
            }
            std::vector<float> out = RecordBuffer(nurp);
            if (convert_to_units(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(s), 1, 0,
                                 num_tbls, tbls, opers, out.data(), 1, 0) != 1) {
                puts("Error converting to units in fill_single_pad");
                return kPadFailed;
            }
            std::copy_n(out.begin(), n_lev, values.begin() + static_cast<std::ptrdiff_t>(ibin) * n_lev);
            if (do_pa == QPTRUE) {
                if (convert_to_units(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(s), 6, 0, 0,
                                     nullptr, nullptr, out.data(), 0, 0) != 1) {
                    puts("Error converting to units for pa fill_single_pad");
                    return kPadFailed;
                }
                std::copy_n(out.begin(), n_lev, pitch.begin() + static_cast<std::ptrdiff_t>(ibin) * n_lev);
            }
            clock[static_cast<std::size_t>(ibin)] = compute_clockbin(s, nsensors, half, n_pa);
            if (clock[static_cast<std::size_t>(ibin)] < 0) {
                puts("Error from compute_clockbin");
                return kPadFailed;
            }
            ++ibin;
        }
        if (harskip) {
            /* The second half of this product starts 1.5 s after the first. */
            for (;;) {
                status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, last, 0, 1);
                if (status >= 0 && (status != 1 || nurp->bmilli >= first_milli + 1500))
                    break;
                if (status >= 0)
                    status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, last, 1, 1);
                if (status < 0) {
                    printf("\nError %d from pad read_drec. in post-harskip\n", status);
                    return kPadFailed;
                }
                if (status != 1)
                    break;
            }
        }
    }
    if (ibin != n_pa) {
        printf("Got/filled %d pitch angle bins;  expected %d\n", ibin, n_pa);
        return kPadFailed;
    }

    int b_polbin = isen;
    switch (b_half) {
    case PARALLEL_FIRST_HALF:
        break;
    case PARALLEL_SECOND_HALF:
        if (exchange_b_tip_tail(&b_polbin, &b_half, n_pa - 1) != 0) {
            puts("Error from exchange_b_tip_tail in fill_pad switch");
            return kPadFailed;
        }
        break;
    default:
        puts("b_half_spin invalid in fill_pad switch");
        return kPadFailed;
    }
    if (sort_pa_bins(clock.data(), order.data(), n_pa, b_half, b_polbin) != 1) {
        puts("PAD ERROR: sort_pa_bins returned error");
        return kPadFailed;
    }
    for (int j = 0; j < n_pa; ++j) {
        const std::size_t from = static_cast<std::size_t>(order[static_cast<std::size_t>(j)]) * n_lev;
        for (int k = 0; k < n_lev; ++k) {
            const float v = values[from + static_cast<std::size_t>(n_lev - 1 - k)];
            sweep->psd[k + n_lev * j] = v < -3.23e38f ? sweep->missing_value : v;
            if (do_pa == QPTRUE && sweep->pa != nullptr)
                sweep->pa[k + n_lev * j] = pitch[from + static_cast<std::size_t>(n_lev - 1 - k)];
        }
    }
    return 1;
}

KOMBRA_SHORT GetHaldePAD(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, BIN_UNITS_E bin_units, PSD_UNITS_E psd_units,
                         T_OR_F_E do_pa, HALDE_SWEEP_S *sweep)
{
    if (!Equals(lineage->instrument, "PAD")) {
        puts("PAD expected, but Instr string not PAD");
        return kPadFailed;
    }
    NURV_TIME_S end = *btime;
    add_secs_to_nurv_time(&end, 1.0f);
    PadReading reading;
    KOMBRA_SHORT status = reading.Open(lineage, *btime, end, do_pa == QPTRUE, "Trying to promote data: Pass %d\n");
    if (status == 1)
        status = reading.Align(false);
    if (status == 1) {
        reading.Advance(false);
        status = reading.ReadSpin(sweep, bin_units, psd_units);
    }
    free_experiment_info();
    return status;
}

KOMBRA_SHORT GetNHaldePADs(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, NURV_TIME_S *etime, BIN_UNITS_E bin_units,
                           PSD_UNITS_E psd_units, T_OR_F_E do_pa, int *npads, HALDE_SWEEP_S ***swpppp)
{
    if (!Equals(lineage->instrument, "PAD")) {
        puts("PAD expected, but Instr string not PAD");
        return kPadFailed;
    }
    PadReading reading;
    KOMBRA_SHORT status = reading.Open(lineage, *btime, *etime, do_pa == QPTRUE, "Trying to promote data; pass %d\n");
    if (status == 1)
        status = reading.Align(true);
    if (status != 1) {
        free_experiment_info();
        return status;
    }
    /* A spin period of 0 cannot count spins. */
    if (reading.pad->spin_rate <= 0) {
        printf("GetNHaldePADs spin period = %ld ms; cannot count spins\n", static_cast<long>(reading.pad->spin_rate));
        free_experiment_info();
        return kPadFailed;
    }
    const double span = nurv_time_to_epoch_secs(etime) - nurv_time_to_epoch_secs(btime);
    const int count = static_cast<int>(span / (reading.pad->spin_rate / 1000.0)) + 1;
    if (count < 1) {
        printf("GetNHaldePADs npads = %d out of range\n", count);
        free_experiment_info();
        return kPadFailed;
    }
    auto **sweeps = sweep_alloc::NewArray<HALDE_SWEEP_S *>(count, true);
    if (sweeps == nullptr) {
        printf("GetNHaldePADs failed to malloc swppp with %d sweep ptrs\n", count);
        free_experiment_info();
        return kPadFailed;
    }
    /* The field values of a spin are read one spin on in the IEL set. */
    reading.Advance(false);
    int ipad = 0;
    NURV_TIME_S spin_start{}, rec_begin{}, rec_end{};
    set_times_from_nur(&rec_begin, &rec_end, &spin_start, reading.pad);
    while (compare_nurv_time(&spin_start, etime) != T1_LATER && ipad < count && status == 1) {
        HALDE_SWEEP_S *sweep = new_sweep_record();
        if (sweep == nullptr) {
            puts("GetNPads failed to malloc sweep structure");
            status = kPadFailed;
            break;
        }
        sweeps[ipad] = sweep;
        nullify_sweep_arrays(sweep);
        sweep->missing_value = 0.0f;
        status = reading.ReadSpin(sweep, bin_units, psd_units);
        if (status != 1)
            break;
        ++ipad;
        status = reading.Advance(true);
        if (status == 1)
            status = reading.Advance(false);
        if (status == -520 || sweep_end_mark(status))
            status = 12; /* the data ended with the file */
        set_times_from_nur(&rec_begin, &rec_end, &spin_start, reading.pad);
    }
    free_experiment_info();
    if (status == 1 && ipad >= 1 && ipad <= count) {
        *npads = ipad;
        *swpppp = sweeps;
        return 1;
    }
    printf("GetNPads Error after gathering while: Returned %d with ipad =%d", status, ipad);
    printf(" out of %d expected\n", count);
    printf("Current spin start time = ");
    print_nurv_time(&spin_start);
    printf("\n");
    if (status == 12 && ipad >= 1) {
        puts("NEXT_FILE_STATUS reached");
        free_n_sweeps(count - ipad, sweeps + ipad);
        std::fill(sweeps + ipad, sweeps + count, nullptr);
        *npads = ipad;
        *swpppp = sweeps;
        return 12;
    }
    free_sweep_set(count, sweeps);
    return -500;
}

HALDE_SWEEP_S *HaldeGetAzSlice(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, float az, BIN_UNITS_E bin_units,
                               PSD_UNITS_E psd_units, HALDE_PITCH_ANGLE_OPTS_S *paopts)
{
    const T_OR_F_E do_pa = paopts->do_pa;
    if (Equals(lineage->instrument, "PAD") && !Equals(lineage->virtual_inst, "CPPADAL")) {
        SweepPtr sweep(new_sweep_record());
        if (!sweep) {
            puts("Failed to malloc sweep structure");
            return nullptr;
        }
        nullify_sweep_arrays(sweep.get());
        const KOMBRA_SHORT status = GetHaldePAD(lineage, btime, bin_units, psd_units, do_pa, sweep.get());
        if (status != 1) {
            printf("GetHaldePAD returned error %d\n", status);
            return nullptr;
        }
        if (do_pa != QPTRUE)
            return sweep.release();
        HALDE_SWEEP_S *one[1] = {sweep.get()};
        HALDE_SWEEP_S *rebinned = nullptr;
        if (rebin_sweep_to_pa(one, 1, paopts, &rebinned) == 1 && rebinned != nullptr)
            return rebinned;
        puts("Rebinning PAD to pa failed; returning orig. PAD");
        SweepPtr discard(rebinned);
        return sweep.release();
    }

    HALDE_SPIN3D_S spin{};
    if (GetHaldeSpin(lineage, btime, bin_units, psd_units, do_pa, &spin) != 1) {
        puts("Failed to get 1st spin");
        return nullptr;
    }
    HALDE_SWEEP_S *result = nullptr;
    if (do_pa != QPTRUE) {
        const int iaz = find_az_sweep(&spin, az);
        if (iaz < 0)
            printf("requested az %g not found in spin\n", az);
        else
            result = create_sweep_full_copy(spin.sweeppp[iaz]);
    } else {
        HALDE_SPIN3D_S *spins[1] = {&spin};
        HALDE_SWEEP_S **rebinned = nullptr;
        if (Rebin_n_spins_to_pa(spins, 1, paopts, &rebinned) == 1 && rebinned != nullptr && rebinned[0] != nullptr) {
            result = rebinned[0];
            std::free(rebinned);
        } else {
            printf("Rebinning spin sweeps to pa failed\n!");
            free_sweep_set(rebinned != nullptr ? 1 : 0, rebinned);
        }
    }
    free_spin_data(&spin);
    return result;
}
