// export_bench [SWEEPS]: times the export of a day of one spacecraft's
// gathered sweeps (SWEEPS, default 21600: one per 4 s spin, 12 polar bins
// by 32 levels) as Mirvek exports them: the adapter, then CEF 2 and CDF.
// Prints each step's time and MB/s, the peak memory, and the ratio of the
// CDF write to the baseline of the same run: writing the data set's value
// bytes raw to a file.  Then reads back a CEF 2 file of 14 x SWEEPS records
// whose INT column holds small values, one negative value half way and
// after it values past the signed range (refused), and the same file with
// values within it after the negative one, and prints both times and their
// ratio: reading stays linear in the file's size whatever its values.
// First, before anything else takes memory, reads three CEF 2 files each in
// a child process and prints its time and the child's peak memory: one of
// 5 MB of CRs inside an open quote, one of 2,000,000 lines each with an
// open quote (both scaled by SWEEPS / 21600), and as the baseline one of as
// many lines without a fault: the warnings of a read are capped, and so is
// the memory they take.
// Exit status 1 when a write or read fails.
#include "Qsweep_export.h"
#include "kve_cdf.h"
#include "kve_flat.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long FileBytes(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

SweepPtr MakeSweep(int k)
{
    SweepPtr s(new_sweep_record());
    s->n_sen = 12;
    s->n_lev = 32;
    malloc_sweep_arrays(s.get(), 0);
    to_nurv_time(2004, 344, 0, 0, 0, 0, &s->btime);
    add_secs_to_nurv_time(&s->btime, 4.0f * static_cast<float>(k));
    s->etime = s->btime;
    add_secs_to_nurv_time(&s->etime, 4.0f);
    s->phi_lo = 0;
    s->phi_hi = 360;
    s->phi_sc = 4.5f;
    s->psd_units = PSD_UNITS_DIFF_ENERGY_FLUX;
    for (int j = 0; j < 12; ++j) {
        s->thlo[j] = 15.0f * static_cast<float>(j);
        s->thhi[j] = 15.0f * static_cast<float>(j + 1);
    }
    for (int l = 0; l < 32; ++l) {
        s->elo[l] = 10.0f * static_cast<float>(l + 1);
        s->ehi[l] = 10.0f * static_cast<float>(l + 2);
    }
    for (int i = 0; i < 12 * 32; ++i)
        s->psd[i] = 1.0e5f * static_cast<float>((k * 31 + i * 7) % 1000 + 1) / 7.0f;
    std::memset(s->lineage, 0, sizeof *s->lineage);
    std::strcpy(s->lineage->mission, "CLUSTER-1");
    return s;
}

// Writes every variable's values raw, as the baseline of the CDF write.
double RawWrite(const KvCDFContents *c, const std::string &path, long *bytes)
{
    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    *bytes = 0;
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        long n = c->n_recs;
        for (long d = 0; d < v->num_dims; ++d)
            n *= v->dim_sizes[d];
        const size_t size = static_cast<size_t>(n * CDFsizeof(v->data_type, 1));
        if (::write(fd, v->data, size) != static_cast<ssize_t>(size))
            return -1.0;
        *bytes += static_cast<long>(size);
    }
    ::fsync(fd);
    ::close(fd);
    return Seconds(start);
}

// Writes a CEF 2 file of the folder, of a time and an INT column (1 in the
// first half of the records, then -1, then `other`), and reads it back: the
// read's time, and the records stored (-1 when the read fails).
double ReadIntFile(const std::string &dir, const char *stem, long records, const char *other, long *stored)
{
    *stored = -1;
    FILE *fp = std::fopen((dir + "/" + stem + ".cef").c_str(), "w");
    if (fp == nullptr)
        return 0;
    std::fputs("!@.cef2@bench\nFILE_FORMAT_VERSION = \"CEF-2.0\"\nEND_OF_RECORD_MARKER = \"$\"\n"
               "START_VARIABLE = time\n  VALUE_TYPE = ISO_TIME\nEND_VARIABLE = time\n"
               "START_VARIABLE = n\n  VALUE_TYPE = INT\nEND_VARIABLE = n\nDATA_UNTIL = \"End_of_Data\"\n",
               fp);
    for (long r = 0; r < records; ++r)
        std::fprintf(fp, "2004-12-09T10:%02ld:%02ld.000Z, %s$\n", r / 60 % 60, r % 60,
                     r < records / 2 ? "1" : r == records / 2 ? "-1" : other);
    std::fputs("End_of_Data\n", fp);
    std::fclose(fp);
    KvCDFContents *c = KvMakeCDFContentsObj();
    KvOptions *o = KvMakeOptionsObj();
    c->io_f_path = KvNewStr((dir + "/").c_str());
    c->io_f_name = KvNewStr(stem);
    c->io_f_extn = o->EXTN_CEF;
    std::FILE *saved = stdout, *savedErr = stderr;
    stdout = stderr = o->fp_null;  // the reader's echoes and the alert box's lines
    const auto start = Clock::now();
    const int status = KvGetCSDSgenFlat(c, o);
    const double seconds = Seconds(start);
    stdout = saved;
    stderr = savedErr;
    *stored = status == 0 ? c->n_recs : -1;
    c->io_f_extn = STR_NULL;
    KvFreeCDFContentsObj(c);
    KvFreeOptionsObj(o);
    return seconds;
}

// Writes a CEF 2 file of the folder of ISO times, one a record: `lines`
// records, each ending inside an open quote when `open`, then one record
// whose quote holds `crs` CRs.
void WriteTimesFile(const std::string &dir, const char *stem, long lines, bool open, long crs)
{
    FILE *fp = std::fopen((dir + "/" + stem + ".cef").c_str(), "w");
    if (fp == nullptr)
        return;
    std::fputs("!@.cef2@bench\nFILE_FORMAT_VERSION = \"CEF-2.0\"\nEND_OF_RECORD_MARKER = \"$\"\n"
               "START_VARIABLE = time\n  VALUE_TYPE = ISO_TIME\nEND_VARIABLE = time\nDATA_UNTIL = \"End_of_Data\"\n",
               fp);
    for (long r = 0; r < lines; ++r)
        std::fputs(open ? "2004-12-09T10:00:00.000Z \"$\n" : "2004-12-09T10:00:00.000Z$\n", fp);
    if (crs > 0) {
        std::fputs("2004-12-09T10:00:00.000Z \"", fp);
        for (long k = 0; k < crs; ++k)
            std::fputc('\r', fp);
        std::fputs("$\n", fp);
    }
    std::fputs("End_of_Data\n", fp);
    std::fclose(fp);
}

// Reads a CEF 2 file of the folder in a child process: the time, and the
// child's peak memory in MB; false when the read fails.
bool ReadInChild(const std::string &dir, const char *stem, double *seconds, double *mb)
{
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        KvCDFContents *c = KvMakeCDFContentsObj();
        KvOptions *o = KvMakeOptionsObj();
        c->io_f_path = KvNewStr((dir + "/").c_str());
        c->io_f_name = KvNewStr(stem);
        c->io_f_extn = o->EXTN_CEF;
        stdout = stderr = o->fp_null;  // the reader's echoes and the alert box's lines
        ::_exit(KvGetCSDSgenFlat(c, o) == 0 ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return false;
    *seconds = Seconds(start);
    *mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 21600;
    if (n < 1)
        return 2;
    std::string dir = (std::filesystem::temp_directory_path() / "kve-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr)
        return 2;
    int failed = 0;

    // Warning-heavy reads, before the sweeps take memory.
    const long crs = 5000000L * n / 21600, lines = 2000000L * n / 21600;
    WriteTimesFile(dir, "crs", 0, false, crs);
    WriteTimesFile(dir, "quotes", lines, true, 0);
    WriteTimesFile(dir, "clean", lines, false, 0);
    double crSeconds = 0, crMb = 0, quoteSeconds = 0, quoteMb = 0, cleanSeconds = 0, cleanMb = 0;
    if (!ReadInChild(dir, "crs", &crSeconds, &crMb) || !ReadInChild(dir, "quotes", &quoteSeconds, &quoteMb) ||
        !ReadInChild(dir, "clean", &cleanSeconds, &cleanMb))
        failed = 1;

    std::vector<SweepPtr> sweeps;
    std::vector<HALDE_SWEEP_S *> raw;
    for (int k = 0; k < n; ++k) {
        sweeps.push_back(MakeSweep(k));
        raw.push_back(sweeps.back().get());
    }
    auto make = [&](double *seconds) {
        const auto start = Clock::now();
        KvCDFContents *c = nullptr;
        if (nsweeps2KvCDFContents(raw.data(), n, &c) != 1)
            failed = 1;
        *seconds = Seconds(start);
        c->io_f_path = KvNewStr((dir + "/").c_str());
        c->io_f_name = KvNewStr("day");
        return c;
    };
    auto options = [] {
        KvOptions *o = KvMakeOptionsObj();
        o->attr_delim = o->data_delim = ',';
        o->time_sep_attr = o->time_sep_data = 'T';
        return o;
    };

    double adapter = 0;
    KvCDFContents *c = make(&adapter);
    KvOptions *o = options();
    o->f_type = CAA;
    o->rec_end = '$';
    o->row_end = '\n';
    auto start = Clock::now();
    if (KvWriteCSDSgenFlat(c, o) != 0)
        failed = 1;
    const double cef = Seconds(start);
    const long cefBytes = FileBytes(dir + "/day.cef");
    KvFreeCDFContentsObj(c);
    KvFreeOptionsObj(o);

    c = make(&adapter);
    long rawBytes = 0;
    const double rawSeconds = RawWrite(c, dir + "/day.raw", &rawBytes);
    o = options();
    start = Clock::now();
    if (KvWriteCSDSgenCDF(c, o) != 0)
        failed = 1;
    const double cdf = Seconds(start);
    const long cdfBytes = FileBytes(dir + "/day.cdf");
    KvFreeCDFContentsObj(c);
    KvFreeOptionsObj(o);

    // Reading: values past the signed range after negative ones, and the
    // same file without them.
    const long records = 14L * n;
    long storedBeyond = 0, storedWithin = 0;
    const double beyond = ReadIntFile(dir, "beyond", records, "3000000000", &storedBeyond);
    const double within = ReadIntFile(dir, "within", records, "2000000000", &storedWithin);
    const long fileBytes = FileBytes(dir + "/beyond.cef");
    if (storedBeyond != records / 2 + 1 || storedWithin != records)
        failed = 1;

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double mb = 1024.0 * 1024.0;
    std::printf("export_bench: %d sweeps of 12 x 32 values\n", n);
    std::printf("  adapter     %8.3f s\n", adapter);
    std::printf("  CEF 2 write %8.3f s  %8.1f MB  %8.1f MB/s\n", cef, cefBytes / mb, cefBytes / mb / cef);
    std::printf("  CDF write   %8.3f s  %8.1f MB  %8.1f MB/s\n", cdf, cdfBytes / mb, cdfBytes / mb / cdf);
    std::printf("  raw write   %8.3f s  %8.1f MB  %8.1f MB/s (baseline)\n", rawSeconds, rawBytes / mb,
                rawBytes / mb / rawSeconds);
    std::printf("  CDF / raw   %8.2f\n", cdf / rawSeconds);
    std::printf("  CEF 2 read, %ld records of an INT column (%.1f MB):\n", records, fileBytes / mb);
    std::printf("    values past the signed range after negatives %8.3f s  %8.1f MB/s  (%ld records kept)\n", beyond,
                fileBytes / mb / beyond, storedBeyond);
    std::printf("    values within the signed range (baseline)    %8.3f s  %8.1f MB/s  (%ld records kept)\n", within,
                fileBytes / mb / within, storedWithin);
    std::printf("    past / within %8.2f\n", beyond / within);
    std::printf("  CEF 2 reads of warnings, each in a child process (its time and peak memory):\n");
    std::printf("    %7.1f MB of CRs in an open quote     %8.3f s  %8.1f MB\n", crs / mb, crSeconds, crMb);
    std::printf("    %7ld lines with an open quote        %8.3f s  %8.1f MB\n", lines, quoteSeconds, quoteMb);
    std::printf("    %7ld lines without a fault (baseline) %7.3f s  %8.1f MB\n", lines, cleanSeconds, cleanMb);
    std::printf("    open quotes / baseline: time %5.2f, memory %5.2f\n", quoteSeconds / cleanSeconds,
                quoteMb / cleanMb);
    std::printf("  peak memory %8.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::filesystem::remove_all(dir);
    return failed;
}
