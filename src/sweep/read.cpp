/* Reading the sweeps of a data source over a time range: configuration and
 * catalog, two promotion passes for missing files, the data set opened and
 * positioned, its sweeps counted and then filled one by one across file
 * boundaries. */
#include "Qsweep_spin.h"
#include "sweep_alloc_int.h"
#include "sweep_int.h"

#include "libCfg.h"
#include "libKELD.h"
#include "libPromote.h"
#include "libdbSQL.h"
#include "nurv.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

bool Equals(const char *name, const char *what)
{
    return std::strcmp(name, what) == 0;
}

bool StartsWith(const char *name, const char *prefix)
{
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

long Msec(const NURV_TIME_S &t)
{
    return static_cast<long>(t.sec) * 1000L;
}

bool Later(const NURV_TIME_S &t1, const NURV_TIME_S &t2)
{
    return compare_nurv_time(&t1, &t2) == T1_LATER;
}

/* The reader set up afresh and the data set opened at begin. */
KOMBRA_SHORT OpenReader(const NURV_TIME_S &begin, const NURV_TIME_S &end, KOMBRA_ULONG dkey, KOMBRA_USHORT vsn,
                        nur_data **nurp)
{
    const KOMBRA_SHORT status = create_nur_data_structure(nurp);
    if (status != 1) {
        printf("Error %d in create nur struct for sweep\n", status);
        return status;
    }
    const KOMBRA_SHORT open = init_nur_file(begin, end, dkey, *nurp, vsn);
    if (open != 1)
        puts("Error init_nur_file");
    return open;
}

} // namespace

KOMBRA_SHORT sweep_sensor_count(KOMBRA_ULONG dkey, const NURV_TIME_S &current, const NURV_TIME_S &limit,
                                KOMBRA_SHORT *nsen)
{
    *nsen = -1;
    const int status = ReadKELDChecked(dkey, current.year, current.doy, current.sec, current.nano, limit.year,
                                       limit.doy, limit.sec, limit.nano, nsen, sizeof *nsen, _SEN, 0, 0, -1);
    if (status != 1) {
        printf("Error %d reading the sensor count of the description\n", status);
        return static_cast<KOMBRA_SHORT>(status < 0 ? status : -514);
    }
    return 1;
}

void sweep_promote_passes(const NURV_TIME_S &begin, const NURV_TIME_S &end, std::initializer_list<KOMBRA_ULONG> keys,
                          const char *message, const char *finished)
{
    for (int pass = 0; pass < 2; ++pass) {
        void *handle = pro_InitPromote(begin.year, begin.doy, Msec(begin), end.year, end.doy, Msec(end), 1);
        for (const KOMBRA_ULONG key : keys)
            if (key != 0)
                pro_AddSource(handle, key);
        bool failed = false;
        if (pro_NeedToPromote(handle) == 1) {
            printf(message, pass);
            failed = pro_PromoteAll(handle) != sTrue;
            if (finished != nullptr)
                printf(finished, pass);
        }
        pro_FreePromote(handle);
        /* The promotion has said which file it could not fetch; a second
         * pass would run the same programs on the same servers again. */
        if (failed)
            break;
    }
}

int sweep_field_data_key(const NURV_LINEAGE_S &lineage, KOMBRA_ULONG *pa_dkey)
{
    if (StartsWith(lineage.project, "CLUST"))
        return get_data_key(lineage.project, lineage.mission, "FGM", "VEC", "CFUNIT", pa_dkey);
    if (StartsWith(lineage.project, "DOUBLEST"))
        return get_data_key(lineage.project, lineage.mission, "FGM", "VEC", "DFUNIT", pa_dkey);
    return -1;
}

std::string sweep_field_source_text(const NURV_LINEAGE_S &lineage)
{
    const char *unit = StartsWith(lineage.project, "CLUST")      ? "CFUNIT"
                       : StartsWith(lineage.project, "DOUBLEST") ? "DFUNIT"
                                                                 : nullptr;
    if (unit == nullptr)
        return {};
    return std::string(lineage.project) + " " + lineage.mission + " FGM VEC " + unit;
}

bool sweep_pitch_source_usable(KOMBRA_ULONG dkey, const NURV_LINEAGE_S &lineage, KOMBRA_ULONG *pa_dkey)
{
    KOMBRA_USHORT pa_status = 0;
    const KOMBRA_SHORT result = pitch_angle_source_status(dkey, lineage.exten, lineage.vsn, &pa_status, pa_dkey);
    if (result == 1 && pa_status == 1)
        return true;
    printf("Pitch angle source error: return val = %d; pa_status = %d", result, pa_status);
    puts(" Ignoring pitch angle request");
    return false;
}

KOMBRA_SHORT init_nur_file(NURV_TIME_S begin, NURV_TIME_S end, KOMBRA_ULONG dkey, nur_data *nurp, KOMBRA_USHORT vsn)
{
    const KOMBRA_SHORT open = file_open(dkey, "", vsn, begin.year, begin.doy, begin.sec, begin.nano, end.year,
                                        end.doy, end.sec, end.nano, 0);
    if (open != 1) {
        printf("HALDE: Error opening nurv file: file_open returned %hd\n", open);
        if (open == 1200)
            sweep_say_no_data(dkey, begin, end);
        return -499;
    }
    const KOMBRA_SHORT pos = file_pos(dkey, "", vsn, nurp, begin.year, begin.doy, begin.sec, begin.nano, end.year,
                                      end.doy, end.sec, end.nano);
    if (pos != 1) {
        puts("HALDE: Error positioning nurv file");
        printf("file_pos returned %d\n", pos);
        /* The begin lies after the last record, and no file follows. */
        if (pos == -40 || pos == -41)
            sweep_say_no_data(dkey, begin, end);
        return -499;
    }
    return 1;
}

std::string sweep_time_text(const NURV_TIME_S &t, bool date)
{
    NURV_TIME_S n = t;
    int hour = 0, minute = 0, second = 0, nano = 0;
    to_hms_time(&n, &hour, &minute, &second, &nano);
    char text[64];
    int at = date ? std::snprintf(text, sizeof text, "%04d/%03d ", n.year, n.doy) : 0;
    at += std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), "%02d:%02d:%02d", hour, minute, second);
    if (nano / 1000000 != 0)
        std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), ".%03d", nano / 1000000);
    return text;
}

int sweep_key_catalogued(KOMBRA_ULONG dkey)
{
    std::string name1(DB_PATH_MAX, '\0'), name2(DB_PATH_MAX, '\0');
    const int status = dbNURVGetFile(dkey, 1900, 1, 0, 2100, 366, 86399999, _H_AND_D_, "", name1.data(),
                                     name2.data());
    return status == 1 ? 1 : status == 1200 ? 0 : status;
}

namespace {

/* Set when the reading under way has said why it found no data. */
bool g_reason_said = false;

} // namespace

bool sweep_reading_explained()
{
    return g_reason_said;
}

void sweep_say_no_data(KOMBRA_ULONG dkey, const NURV_TIME_S &begin, const NURV_TIME_S &end)
{
    g_reason_said = true;
    char names[5][DB_VNAME_SIZE + 1] = {};
    std::string source = "this source";
    const bool named = dbKeyToStrings_r(dkey, names[0], names[1], names[2], names[3], names[4]) == 1;
    if (named)
        source = std::string(names[0]) + " " + names[1] + " " + names[2] + " " + names[3] + " " + names[4];
    /* A product the archive holds nothing of for this spacecraft: another
     * time would not help either. */
    if (sweep_key_catalogued(dkey) == 0) {
        printf("No data of %s: the archive holds none of %s for %s at any time, so no other time would help; "
               "choose a source it holds\n",
               source.c_str(), named ? names[4] : "this product", named ? names[1] : "this spacecraft");
        return;
    }
    const bool same_day = begin.year == end.year && begin.doy == end.doy;
    printf("No data of %s from %s to %s: the archive holds none for that time; choose a time it holds\n",
           source.c_str(), sweep_time_text(begin).c_str(), sweep_time_text(end, !same_day).c_str());
}

KOMBRA_SHORT sweep_source_catalogued(const NURV_LINEAGE_S *lineage, T_OR_F_E do_pa)
{
    NURV_LINEAGE_S read{};
    if (sweep_read_lineage(*lineage, do_pa, &read) != 1 || CfgInitMsg() != 1 || dbInitializeMsg() != 1)
        return -501;
    KOMBRA_ULONG dkey = 0;
    const int status =
        get_data_key(read.project, read.mission, read.experiment, read.instrument, read.virtual_inst, &dkey);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    return static_cast<KOMBRA_SHORT>(sweep_key_catalogued(dkey));
}

KOMBRA_SHORT next_nurv_file(KOMBRA_ULONG dkey, NURV_LINEAGE_S lineage, NURV_TIME_S *begin, NURV_TIME_S *end,
                            nur_data *nurp)
{
    if (next_file_start_time(dkey, lineage.exten, lineage.vsn, 0, &begin->year, &begin->doy, &begin->sec,
                             &begin->nano) != 1)
        return -513;
    if (reset_experiment_info(dkey, lineage.exten, lineage.vsn, begin->year, begin->doy, begin->sec, begin->nano,
                              end->year, end->doy, end->sec, end->nano) != 1)
        return -513;
    if (file_pos(dkey, lineage.exten, lineage.vsn, nurp, begin->year, begin->doy, begin->sec, begin->nano,
                 end->year, end->doy, end->sec, end->nano) != 1)
        return -513;
    return 1;
}

int nurv_sweep_counter(KOMBRA_ULONG dkey, NURV_LINEAGE_S *lineage, nur_data *nurp, NURV_TIME_S *begin,
                       NURV_TIME_S *end)
{
    int count = 0;
    NURV_TIME_S current = *begin;
    KOMBRA_SHORT status = 1;
    while (!Later(current, *end) && status == 1) {
        KOMBRA_SHORT nsen = -1;
        if (sweep_sensor_count(dkey, current, *end, &nsen) != 1)
            break;
        const KOMBRA_SHORT last = static_cast<KOMBRA_SHORT>(nsen - 1);
        if (last < 0)
            return -514;
        while (!sweep_end_mark(status) && !Later(current, *end)) {
            status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, last, 1, 1);
            if (status == 1 || sweep_end_mark(status)) {
                ++count;
                NURV_TIME_S rec_end{}, sun{};
                set_times_from_nur(&current, &rec_end, &sun, nurp);
            } else if (status != 2) {
                /* A failing record stays failing, and a read that did not
                 * move on (nothing new yet) would read the same again:
                 * count what came before. */
                printf("nurv_sweep_counter: read_drec returned %d after %d sweeps\n", status, count);
                break;
            }
        }
        if (sweep_end_mark(status))
            status = next_nurv_file(dkey, *lineage, &current, end, nurp);
    }
    if (reset_experiment_info(dkey, lineage->exten, lineage->vsn, begin->year, begin->doy, begin->sec, begin->nano,
                              end->year, end->doy, end->sec, end->nano) != 1)
        return -515;
    if (file_pos(dkey, lineage->exten, lineage->vsn, nurp, begin->year, begin->doy, begin->sec, begin->nano,
                 end->year, end->doy, end->sec, end->nano) != 1)
        return -516;
    return count;
}

int nurv_sweep_nlevels(KOMBRA_ULONG dkey, NURV_LINEAGE_S *lineage, nur_data *nurp, int *nsenp)
{
    int isen = 0;
    while (!nurp->filled_data && isen < *nsenp) {
        const KOMBRA_SHORT status =
            read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(isen), 0, 1);
        if (status < 0) {
            printf("\nError %d from read_drec.\n", status);
            return -501;
        }
        ++isen;
    }
    if (!nurp->filled_data) {
        puts("nurv_sweep_nlevels Failed; all sensors read but no data filled");
        return -517;
    }
    *nsenp = isen - 1;
    return nurp->num_sample;
}

bool sweep_pad_detour(const NURV_LINEAGE_S &asked, T_OR_F_E do_pa)
{
    return Equals(asked.instrument, "PAD") && !Equals(asked.virtual_inst, "CPPADAL") && do_pa != QPTRUE;
}

KOMBRA_SHORT sweep_read_lineage(const NURV_LINEAGE_S &asked, T_OR_F_E do_pa, NURV_LINEAGE_S *read)
{
    copy_lineage(read, &asked);
    if (!sweep_pad_detour(asked, do_pa))
        return 1;
    std::snprintf(read->instrument, sizeof read->instrument, "%s", "SPINPAD");
    if (Equals(asked.virtual_inst, "CPPADL")) {
        std::snprintf(read->virtual_inst, sizeof read->virtual_inst, "%s", "LSPAD");
    } else if (Equals(asked.virtual_inst, "CPPADH")) {
        std::snprintf(read->virtual_inst, sizeof read->virtual_inst, "%s", "HSPAD");
    } else {
        puts("PAD requested, but not CPPADL or CPPADH");
        return -501;
    }
    return 1;
}

KOMBRA_SHORT sweep_data_access_ready()
{
    if (CfgInitMsg() != 1) {
        printf("%s\n", CfgErrorMsg());
        return -501;
    }
    if (dbInitializeMsg() != 1) {
        printf("Cannot open the catalog: %s\n", dbErrorMsg());
        return -501;
    }
    init_nurv();
    return 1;
}

KOMBRA_SHORT sweep_reader_open(NURV_LINEAGE_S *lineage, nur_data **nurp, KOMBRA_ULONG *dkey)
{
    if (sweep_data_access_ready() != 1)
        return -501;
    get_version_number(&lineage->vsn);
    KOMBRA_SHORT status = create_nur_data_structure(nurp);
    if (status != 1) {
        printf("Error %d in create nur struct for sweep\n", status);
        free_experiment_info();
        return status;
    }
    status = static_cast<KOMBRA_SHORT>(get_data_key(lineage->project, lineage->mission, lineage->experiment,
                                                    lineage->instrument, lineage->virtual_inst, dkey));
    if (status != 1) {
        puts("Error getting data key");
        printf("%s\n", sweep_source_fault_text(*lineage).c_str());
        g_reason_said = true;
        free_experiment_info();
    }
    return status;
}

std::string sweep_source_fault_text(const NURV_LINEAGE_S &lineage)
{
    static const char *const kinds[5] = {"project", "mission", "experiment", "instrument", "product"};
    const char *const names[5] = {lineage.project, lineage.mission, lineage.experiment, lineage.instrument,
                                  lineage.virtual_inst};
    const std::string source = std::string(names[0]) + " " + names[1] + " " + names[2] + " " + names[3] + " " +
                               names[4];
    if (Projects == nullptr)
        return "The source " + source + " has no data key; the hierarchy is not loaded";
    /* The first level the hierarchy lacks, and the node above it. */
    int missing = 0;
    StrHier_s *above = nullptr;
    for (; missing < 5; ++missing) {
        StrHier_s *const node = CfgStrHier(missing + 1, names[0], names[1], names[2], names[3], names[4]);
        if (node == nullptr)
            break;
        above = node;
    }
    if (missing == 5)
        return "The catalog has no data key for " + source + ", which the hierarchy holds";

    /* What the user may choose instead: the names below the node above. */
    constexpr int kShown = 12;
    std::string choices;
    int count = 0;
    for (const LinkNode_s *cell = above != nullptr ? above->sublist : Projects; cell != nullptr; cell = cell->next) {
        const auto *child = static_cast<const StrHier_s *>(cell->data);
        if (child == nullptr || child->str == nullptr)
            continue;
        if (count < kShown)
            choices += std::string(count > 0 ? ", " : "") + child->str;
        else if (count == kShown)
            choices += ", ...";
        ++count;
    }
    const std::string kind = kinds[missing];
    std::string text;
    if (missing == 0) {
        text = "The hierarchy has no project " + std::string(names[0]);
    } else {
        text = "The " + std::string(kinds[missing - 1]) + " " + names[missing - 1];
        if (missing > 1) {
            text += " of";
            for (int k = 0; k < missing - 1; ++k)
                text += std::string(" ") + names[k];
        }
        text += " has no " + kind + " " + names[missing];
    }
    /* A product of another instrument of the same experiment: the two
     * names do not belong together. */
    if (missing == 4) {
        std::string owners;
        for (const LinkNode_s *cell = above->parent != nullptr ? above->parent->sublist : nullptr; cell != nullptr;
             cell = cell->next) {
            const auto *instrument = static_cast<const StrHier_s *>(cell->data);
            if (instrument == nullptr || instrument == above || instrument->str == nullptr)
                continue;
            if (FindStr(names[4], instrument->sublist) != nullptr)
                owners += std::string(owners.empty() ? "" : ", ") + instrument->str;
        }
        text += owners.empty() ? " (no instrument of " + std::string(names[2]) + " has it)"
                               : " (it is a product of " + owners + ")";
    }
    if (count == 0)
        return text + "; it holds no " + kind + " to choose";
    const std::string article = kind[0] == 'e' || kind[0] == 'i' ? "an " : "a ";
    return text + "; choose " + article + kind + (missing == 0 ? "" : std::string(" of ") + names[missing - 1]) +
           ": " + choices;
}

KOMBRA_SHORT GetNHaldeSweeps(NURV_LINEAGE_S *lineage, NURV_TIME_S *begin, NURV_TIME_S *end, BIN_UNITS_E bin_units,
                             PSD_UNITS_E psd_units, T_OR_F_E do_pa, int *nswps, HALDE_SWEEP_S ***swpppp)
{
    g_reason_said = false;
    /* Pitch-angle products are read through the spin-resolved data set. */
    if (sweep_pad_detour(*lineage, do_pa)) {
        NURV_LINEAGE_S spin{};
        if (sweep_read_lineage(*lineage, do_pa, &spin) != 1)
            return -501;
        const KOMBRA_SHORT status = GetNHaldeSweeps(&spin, begin, end, bin_units, psd_units, do_pa, nswps, swpppp);
        lineage->vsn = spin.vsn;
        return status;
    }

    nur_data *nurp = nullptr;
    KOMBRA_ULONG dkey = 0;
    KOMBRA_SHORT status = sweep_reader_open(lineage, &nurp, &dkey);
    if (status != 1)
        return status;

    bool pitch = do_pa == QPTRUE;
    KOMBRA_ULONG pa_dkey = 0;
    if (pitch) {
        if (sweep_field_data_key(*lineage, &pa_dkey) != 1) {
            puts("Error getting pa_data key");
            free_experiment_info();
            return -501;
        }
    }

    sweep_promote_passes(*begin, *end, {dkey, pitch ? pa_dkey : 0}, "Trying to promote data: Pass %d\n");

    status = init_nur_file(*begin, *end, dkey, nurp, lineage->vsn);
    if (status != 1) {
        puts("Error init_nur_file");
        free_experiment_info();
        return status;
    }
    if (pitch)
        pitch = sweep_pitch_source_usable(dkey, *lineage, &pa_dkey);

    const int nswp = nurv_sweep_counter(dkey, lineage, nurp, begin, end);

    if (pitch) {
        /* The count moved the reader and its field source: start again. */
        free_experiment_info();
        status = sweep_data_access_ready();
        if (status == 1)
            status = OpenReader(*begin, *end, dkey, lineage->vsn, &nurp);
        if (status != 1) {
            free_experiment_info();
            return status;
        }
        pitch = sweep_pitch_source_usable(dkey, *lineage, &pa_dkey);
    }

    if (nswp < 1) {
        printf("GetNHaldeSweeps nsweeps = %d out of range\n", nswp);
        free_experiment_info();
        return -501;
    }
    HALDE_SWEEP_S **sweeps = sweep_alloc::NewArray<HALDE_SWEEP_S *>(nswp, true);
    if (sweeps == nullptr) {
        printf("GetNHaldeSweeps failed to malloc swppp with %d sweep ptrs\n", nswp);
        free_experiment_info();
        return -501;
    }
    *swpppp = sweeps;

    NURV_TIME_S current = *begin;
    NURV_TIME_S limit = *end;
    int iswp = 0;
    status = 1;
    bool failed = false;
    while (!Later(current, limit) && status == 1 && iswp < nswp && !failed) {
        KOMBRA_SHORT nsen = -1;
        status = sweep_sensor_count(dkey, current, limit, &nsen);
        if (status != 1)
            break;
        while (status != 12 && !Later(current, limit) && iswp < nswp) {
            int nsen_copy = nsen;
            const int nlev = nurv_sweep_nlevels(dkey, lineage, nurp, &nsen_copy);
            if (nlev < 1) {
                printf("GetNHaldeSweeps nlev = %d < 0 error\n", nlev);
                status = -517;
                failed = true;
                break;
            }
            HALDE_SWEEP_S *sweep = new_sweep_record();
            if (sweep == nullptr) {
                puts("GetNHaldeSweeps failed to malloc sweep structure");
                status = -501;
                failed = true;
                break;
            }
            sweeps[iswp] = sweep;
            nullify_sweep_arrays(sweep);
            sweep->n_sen = nsen;
            sweep->bin_units = bin_units;
            sweep->psd_units = psd_units;
            sweep->phi_frame = HALDE_TZERO;
            sweep->missing_value = 0.0f;
            sweep->phi_sc = 0.0f;

            bool file_ended = false;
            status = sweep_fill_telling_end(sweep, lineage, nurp, dkey, QPFALSE, pitch ? QPTRUE : QPFALSE,
                                            &file_ended);
            if (status == -520) {
                free_sweep_arrays(sweep);
                std::free(sweep);
                sweeps[iswp] = nullptr;
                printf("ran of file end; incomplete sweep started at: ");
                print_nurv_time(&current);
                printf("\n");
                status = 12;
            } else if (status != 1) {
                /* The sweep has no times of its own: report the time the
                 * reading had reached and stop. */
                printf("GetNHaldeSweeps: fill_sweep returned %d for the sweep after ", status);
                print_nurv_time(&current);
                printf("\n");
                failed = true;
                break;
            } else {
                current = sweep->btime;
                ++iswp;
                /* The file ended with this sweep: on in the next file. */
                if (file_ended && iswp < nswp && !Later(current, limit))
                    status = 12;
            }
        }
        if (status == 12 && !failed)
            status = next_nurv_file(dkey, *lineage, &current, &limit, nurp);
    }

    if (status == 1 && iswp >= 1 && iswp <= nswp) {
        *nswps = iswp;
        free_experiment_info();
        return 1;
    }
    printf("GetNHaldeSweeps Error after gathering while: ");
    printf(" Returned %d with iswp =%d out of %d expected\n", status, iswp, nswp);
    printf("Current spin start time = ");
    print_nurv_time(&current);
    printf("\n");
    /* The data ended at the end of a file, or there was no file after the
     * last one read: what was read stands. */
    if ((status == 12 || status == -513) && iswp >= 1 && iswp <= nswp) {
        puts("NEXT_FILE_STATUS reached");
        *nswps = iswp;
        free_experiment_info();
        return 12;
    }
    free_n_sweeps(nswp, sweeps);
    std::free(sweeps);
    *swpppp = nullptr;
    free_experiment_info();
    return -500;
}

KOMBRA_SHORT advance_nur_file_spin_start(KOMBRA_ULONG dkey, nur_data *nurp, NURV_LINEAGE_S *lineage,
                                         NURV_TIME_S *begin, NURV_TIME_S *end, KOMBRA_SHORT /*sensor*/)
{
    NURV_TIME_S sun1{}, sun2{};
    set_times_from_nur(begin, end, &sun1, nurp);
    KOMBRA_SHORT nsen = -1;
    if (sweep_sensor_count(dkey, *begin, *end, &nsen) != 1 || nsen < 0)
        return -514;
    int isen = 0;
    KOMBRA_SHORT status = read2filled_sensor(dkey, lineage, nurp, nsen, &isen, QPFALSE);
    if (status != 1)
        return status;
    status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(isen), 0, 1);
    if (sweep_end_mark(status))
        return status;  // the end of the file: the caller moves on to the next
    if (status != 1) {
        printf("1st read_drec sensor %d in advance_nur_file_spin_start failed returning %d\n", isen, status);
        return status;
    }
    set_times_from_nur(begin, end, &sun2, nurp);
    const NURV_TIME_COMPARE order = compare_nurv_time(&sun1, &sun2);
    if (order == T2_LATER)
        return 1;
    if (order == T1_LATER) {
        printf("advance_nur_file_spin_start confused. Nur time on entry = ");
        print_nurv_time(&sun1);
        printf("\nTime after initial read is EARLIER= ");
        print_nurv_time(&sun2);
        printf("\nTrying to advance anyway");
        sun1 = sun2;
    }
    while (compare_nurv_time(&sun1, &sun2) != T2_LATER) {
        status = read2filled_sensor(dkey, lineage, nurp, nsen, &isen, QPFALSE);
        if (status != 1)
            return status;
        status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(isen), 1, 1);
        if (sweep_end_mark(status))
            return status;  // the end of the file: the caller moves on to the next
        if (status != 1) {
            printf("read_drec fwd advance_nur_... failed returning %d\n", status);
            return status;
        }
        status = read2filled_sensor(dkey, lineage, nurp, nsen, &isen, QPFALSE);
        if (status != 1)
            return status;
        status = read_drec(dkey, lineage->exten, lineage->vsn, nurp, static_cast<KOMBRA_SHORT>(isen), 0, 1);
        if (sweep_end_mark(status))
            return status;  // the end of the file: the caller moves on to the next
        if (status != 1) {
            printf("read_drec no fwd advance_nur... failed returning %d\n", status);
            return status;
        }
        set_times_from_nur(begin, end, &sun2, nurp);
    }
    return 1;
}

KOMBRA_SHORT pos_nur_file_spin_start(KOMBRA_ULONG dkey, nur_data *nurp, NURV_LINEAGE_S *lineage, NURV_TIME_S *begin,
                                     NURV_TIME_S *end)
{
    begin->year = nurp->byear;
    begin->doy = nurp->bday;
    msec_nano_to_sec_nano(nurp->sun_sen, 0, &begin->sec, &begin->nano);
    *end = nurv_time_plus_spin(*begin, static_cast<float>(nurp->spin_rate) / 1000.0f);
    KOMBRA_SHORT status = reset_experiment_info(dkey, lineage->exten, lineage->vsn, begin->year, begin->doy,
                                                begin->sec, begin->nano, end->year, end->doy, end->sec, end->nano);
    if (status != 1) {
        printf("pos_nur_file_spin_start reset_exp returned %d\n", status);
        return status;
    }
    status = file_pos(dkey, lineage->exten, lineage->vsn, nurp, begin->year, begin->doy, begin->sec, begin->nano,
                      end->year, end->doy, end->sec, end->nano);
    if (status != 1) {
        printf("pos_nur_file_spin_start file_pos returned %d\n", status);
        return status;
    }
    return 1;
}
