// Fuzz entry point of the reader's record layer: the input's description
// values are set on a data set whose header and data files hold the rest of
// the input (in memory files), and its records are read as the sweep model
// reads them: read_drec of every sensor in turn, moving on after the last,
// which makes each record and the header of each sensor set current, fills
// the caller's record (samples, calibration values, azimuths, step times)
// and advances; after each first sensor every sample and the last value of
// every calibration array of the set are read as well, and every kind of
// value of each sensor found is converted.  Every read must
// stay inside the record and header buffers, which ASan checks.  Built with libFuzzer under
// clang (see CMakeLists.txt here) and replayed over a generated corpus by
// the normal test build.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "nurv_fuzz_input.h"
#include "nurv_int.h"

namespace {

constexpr int kMostAdvances = 64;

// An in-memory file holding bytes, positioned at its start; -1 on failure.
int MemoryFile(const uint8_t *bytes, size_t size)
{
    const int fd = memfd_create("nurv", 0);
    if (fd < 0)
        return -1;
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

template <typename T>
T *Zeroed(size_t count)
{
    return static_cast<T *>(std::calloc(count > 0 ? count : 1, sizeof(T)));
}

// The description values the record layer reads, set as the description
// step sets them.
void Describe(experiment_info &ex, const nurv_fuzz::Layout &l)
{
    ex.max_nss = static_cast<KOMBRA_SHORT>(l.maxNss);
    ex.header_format = 1;
    ex.smp_id = static_cast<int8_t>(l.smpId);
    ex.max_packing = static_cast<KOMBRA_SHORT>(l.maxPacking);
    ex.da_method = static_cast<int8_t>(l.daMethod);
    ex.cal_sets = static_cast<int8_t>(l.cals.size());
    const size_t sets = l.cals.size();
    ex.cal_target = Zeroed<int8_t>(sets);
    ex.cal_wlen = Zeroed<int8_t>(sets);
    ex.cal_scope = Zeroed<int8_t>(sets);
    ex.cal_d_type = Zeroed<int8_t>(sets);
    ex.bmem.base_cal = Zeroed<KOMBRA_SHORT>(2 * sets);
    ex.CAL_USE = static_cast<KOMBRA_SHORT *>(ex.bmem.base_cal);
    ex.CSET_NUM = reinterpret_cast<KOMBRA_USHORT *>(ex.CAL_USE + sets);
    for (size_t i = 0; i < sets; ++i) {
        ex.cal_target[i] = static_cast<int8_t>(l.cals[i].target);
        ex.cal_scope[i] = static_cast<int8_t>(l.cals[i].scope);
        ex.cal_wlen[i] = static_cast<int8_t>(l.bits);
        ex.CAL_USE[i] = static_cast<KOMBRA_SHORT>(l.cals[i].use);
    }
    ex.num_sensor = static_cast<KOMBRA_SHORT>(l.sensors);
    ex.swp_len = static_cast<KOMBRA_SHORT>(l.levels);
    ex.nano_defined = l.nano ? 1 : 0;
    ex.info_ptr->d_size = 16 + 4 * l.maxNss + (l.nano ? 4 : 0) + l.dataBytes;
    ex.bmem.base_data = Zeroed<KOMBRA_CHAR>(static_cast<size_t>(ex.info_ptr->d_size));
    ex.DATA_MEM = static_cast<KOMBRA_CHAR *>(ex.bmem.base_data);
    ir_assign_pointers(0, 1, nullptr);
    ex.sen_mode = static_cast<int8_t>(l.senMode);
    ex.TRC = static_cast<int8_t>(1 - ex.sen_mode / 4);
    ex.TRP = static_cast<int8_t>(1 - (ex.sen_mode % 4) / 2);
    ex.TCP = static_cast<int8_t>(1 - ex.sen_mode % 2);
    const auto n = static_cast<size_t>(l.sensors);
    ex.d_type = Zeroed<int8_t>(n);
    ex.sen_tdw_len = Zeroed<int8_t>(n);
    for (size_t s = 0; s < n; ++s)
        ex.sen_tdw_len[s] = static_cast<int8_t>(l.bits);
    ex.tdw_len = static_cast<int8_t>(l.bits);
    ex.bmem.base_start_spin_off = Zeroed<KOMBRA_LONG>(n);
    ex.start_spin_off = static_cast<KOMBRA_LONG *>(ex.bmem.base_start_spin_off);
    ex.bmem.base_time_off = Zeroed<KOMBRA_LONG>(n);
    ex.time_off = static_cast<KOMBRA_LONG *>(ex.bmem.base_time_off);
    ex.bmem.base_constant = Zeroed<KOMBRA_FLOAT>(4 * n);
    ex.constants = static_cast<KOMBRA_FLOAT *>(ex.bmem.base_constant);
    const size_t steps = static_cast<size_t>(l.smpId == 2 ? l.maxPacking : l.levels);
    auto *times = Zeroed<KOMBRA_LONG>(4 * steps);
    ex.swp_times.base_time = times;
    ex.swp_times.btime_ms = times;
    ex.swp_times.btime_ns = times + steps;
    ex.swp_times.etime_ms = times + 2 * steps;
    ex.swp_times.etime_ns = times + 3 * steps;
    ex.btime_sec = l.realTime ? -1 : 0;
    ex.de_year = 65535;  // the description has no end: no change of description
}

volatile KOMBRA_ULONG g_sink;

// Every sample of the current set and the last value of each calibration
// array, as the value step reads them.
void ReadSet(const experiment_info &ex)
{
    const ptr_rec &p = *ex.info_ptr;
    const long long skip = (ex.accum_ss_sz + 7) / 8;
    const long long count = static_cast<long long>(*p.N_SEN) * *p.hdr_fmt1_ptr->N_SAMPLE;
    for (long long i = 0; i < count; ++i)
        g_sink = g_sink + ir_container_value(p.DATA + skip, static_cast<KOMBRA_ULONG>(i), ex.tdw_len);
    const int w = ir_container_width(ex.tdw_len);
    const struct {
        const KOMBRA_UCHAR *array;
        int bit;
        KOMBRA_LONG count;
    } arrays[] = {{p.ALL_CAL_SWP, p.all_swp_bit, p.num_all_swp_cal},
                  {p.ALL_CAL_SEN, p.all_sen_bit, p.num_all_sen_cal},
                  {p.CAL_SWP_TBL, p.swp_bit, p.num_swp_cal},
                  {p.CAL_SENSOR, p.sen_bit, p.num_sen_cal}};
    for (const auto &a : arrays) {
        if (a.array == nullptr || a.count == 0)
            continue;
        const KOMBRA_ULONG last = static_cast<KOMBRA_ULONG>(a.count - 1);
        if (w < 8)
            g_sink = g_sink + ir_bits_at(a.array + skip, static_cast<KOMBRA_ULONG>(a.bit) + last * w, w);
        else
            g_sink = g_sink + ir_container_value(a.array + skip, last, ex.tdw_len);
    }
}

// Every kind of value of the record just read, raw words equal to 0
// taken as fill.
void ConvertAll(nur_data *record, KOMBRA_SHORT sensor)
{
    static std::vector<KOMBRA_FLOAT> out(65536);
    for (int8_t kind = 1; kind <= 9; ++kind)
        convert_to_units(1, "AB", 0, record, kind == 4 ? 0 : sensor, kind, 0, 0, nullptr, nullptr, out.data(), 1, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < nurv_fuzz::kParams + 2)
        return 0;
    const nurv_fuzz::Layout layout = nurv_fuzz::LayoutOf(data);
    const size_t header_size = (static_cast<size_t>(data[8]) << 8) | data[9];
    const uint8_t *files = data + nurv_fuzz::kParams + 2;
    const size_t files_size = size - nurv_fuzz::kParams - 2;
    if (header_size > files_size)
        return 0;

    init_nurv();
    nur_data *record = nullptr;
    if (ir_locate_ex(1, "AB", 0, 1) == 1 && create_nur_data_structure(&record) == 1) {
        experiment_info &ex = *ginfo.expt;
        Describe(ex, layout);
        ex.fdh = MemoryFile(files, header_size);
        ex.fdd = MemoryFile(files + header_size, files_size - header_size);
        ex.info_ptr->cur_sen_set = 0;
        ex.swp_times.pa_times = 1;  // step times on every read, as for a pitch source taken by time
        const KOMBRA_CHAR full_swp = (data[4] & 0x20) ? 1 : 0;
        if (ex.fdh >= 0 && ex.fdd >= 0 && ir_new_data_record(0) == 1 && ir_new_header_record(0, record) == 1) {
            KOMBRA_SHORT status = 1;
            for (int n = 0; n < kMostAdvances && (status == 1 || status == 2); ++n) {
                for (int s = 0; s < ex.num_sensor && (status == 1 || status == 2); ++s) {
                    const bool last = s == ex.num_sensor - 1;
                    status = read_drec(1, "AB", 0, record, static_cast<KOMBRA_SHORT>(s), last ? 1 : 0, full_swp);
                    if (s == 0 && (status == 1 || status == 2))
                        ReadSet(ex);
                    if (status == 1)
                        ConvertAll(record, static_cast<KOMBRA_SHORT>(s));
                }
            }
        }
    }
    free_experiment_info();
    return 0;
}
