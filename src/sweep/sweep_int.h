/* Helpers shared by the sweep readers. */
#pragma once

#include "Velora_pad.h"

#include <initializer_list>
#include <string>

/* btime plus one spin period held in single precision, to the nanosecond,
 * whole days carried into the day of year and the year. */
NURV_TIME_S nurv_time_plus_spin(const NURV_TIME_S &btime, float tspin);

/* Two promotion passes over begin .. end for the non-zero keys: message
 * (with the pass number) is printed before fetching what the catalog lists
 * but the disk lacks, finished (when given) after it.  A pass whose fetch
 * failed ends the passes. */
void sweep_promote_passes(const NURV_TIME_S &begin, const NURV_TIME_S &end, std::initializer_list<KOMBRA_ULONG> keys,
                          const char *message, const char *finished = nullptr);

/* The sensor count of the description of dkey valid at begin .. end into
 * *nsen; 1, or a negative status (with a message) when it cannot be had. */
KOMBRA_SHORT sweep_sensor_count(KOMBRA_ULONG dkey, const NURV_TIME_S &begin, const NURV_TIME_S &end,
                                KOMBRA_SHORT *nsen);

/* The key of the magnetic-field data set that gives a source's pitch
 * angles: "CFUNIT" for Cluster projects, "DFUNIT" for Double Star; 1, or
 * the failing look-up status (-1 for any other project). */
int sweep_field_data_key(const NURV_LINEAGE_S &lineage, KOMBRA_ULONG *pa_dkey);

/* True when the open data set's pitch-angle source is usable; otherwise
 * says that the request is ignored.  *pa_dkey becomes the source's key. */
bool sweep_pitch_source_usable(KOMBRA_ULONG dkey, const NURV_LINEAGE_S &lineage, KOMBRA_ULONG *pa_dkey);

struct nur_data;

/* True when a request for the lineage is read through the spin-resolved
 * data set: a pitch-angle product other than CPPADAL, without pitch angles. */
bool sweep_pad_detour(const NURV_LINEAGE_S &asked, T_OR_F_E do_pa);
/* The lineage actually read for a request into *read: the asked one, or for
 * the detour SPINPAD with LSPAD (CPPADL) or HSPAD (CPPADH).  1, or -501 with
 * a message for any other pitch-angle product. */
KOMBRA_SHORT sweep_read_lineage(const NURV_LINEAGE_S &asked, T_OR_F_E do_pa, NURV_LINEAGE_S *read);
/* The configuration loaded and the catalog opened (both once per process)
 * and the reader initialised.  1, or -501 after one line on stdout naming
 * the file and the problem; a failure is not kept, so the next reading tries
 * again once the file is mended.  Never ends the process. */
KOMBRA_SHORT sweep_data_access_ready();
/* The reader set up for one reading of the lineage: configuration, catalog,
 * reader, a fresh version into lineage->vsn, a record and the data key.  1,
 * or the failing status with its message and the reader freed. */
KOMBRA_SHORT sweep_reader_open(NURV_LINEAGE_S *lineage, nur_data **nurp, KOMBRA_ULONG *dkey);

/* fill_sweep, telling in *file_ended whether the read that moved past the
 * sweep's last sensor met the end of the file: the file ended with this
 * sweep, and the next one is in the file that follows. */
KOMBRA_SHORT sweep_fill_telling_end(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey,
                                    T_OR_F_E have_bins, T_OR_F_E do_pa, bool *file_ended);

/* "yyyy/ddd hh:mm:ss" ("hh:mm:ss" without the date), with ".mmm" when the
 * time has milliseconds. */
std::string sweep_time_text(const NURV_TIME_S &t, bool date = true);
/* The line of a reading that found no data of dkey from begin to end: that
 * the archive holds none at any time when its catalog lists no file of the
 * key, else that it holds none for that time. */
void sweep_say_no_data(KOMBRA_ULONG dkey, const NURV_TIME_S &begin, const NURV_TIME_S &end);
/* 1 when the catalog lists a data file of dkey at any time, 0 when it lists
 * none, else the look-up's failing status. */
int sweep_key_catalogued(KOMBRA_ULONG dkey);
/* Why the hierarchy has no data key for the lineage, as one line (no line
 * end): the first level it lacks, under which names, with the names that
 * level offers; for a product of another instrument, that instrument.  The
 * configuration must be loaded. */
std::string sweep_source_fault_text(const NURV_LINEAGE_S &lineage);

/* True for the reader's end marks of a file, 9 (-1) and 12 (-2): the data go
 * on in the file that follows, if any.  The reader stands on the mark and
 * reports it again at every read until the next file is opened. */
inline bool sweep_end_mark(KOMBRA_SHORT status)
{
    return status == 9 || status == 12;
}
