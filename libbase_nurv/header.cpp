// Header and data records: reading the next data record and the header
// record each sensor set points at, converting them from network order in
// place, aiming the typed pointers of ptr_rec into the two buffers, and
// re-sizing the caller's record when the header changes.
//
// Both files are untrusted.  A header record is read whole into a scratch
// buffer and checked before it replaces the one in memory: its size must
// hold its fixed part and every count it declares, and its sample count
// must not exceed the description's sweep length (the packing limit for
// one-step headers).  A data record must not name more sensor sets than
// the description allows, and each set's samples and calibration values
// must lie inside the record.  A record that fails is refused with its
// status; the buffers keep what they held.
#include "nurv_int.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <tuple>
#include <vector>

namespace {

constexpr KOMBRA_LONG kMsPerDay = 86400000;
constexpr size_t kFormat1Fixed = 28;  // through N_SAMPLE
constexpr size_t kFormat2Fixed = 32;  // through TENSOR_SETS

// Big-endian fields of a raw buffer.
uint16_t Be16(const unsigned char *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t Be32(const unsigned char *p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Converts count 16- or 32-bit fields at p from network order in place.
void Swap16(unsigned char *p, size_t count)
{
    for (size_t i = 0; i < count; ++i, p += 2) {
        const uint16_t v = Be16(p);
        std::memcpy(p, &v, 2);
    }
}

void Swap32(unsigned char *p, size_t count)
{
    for (size_t i = 0; i < count; ++i, p += 4) {
        const uint32_t v = Be32(p);
        std::memcpy(p, &v, 4);
    }
}

bool RealTime(const experiment_info &ex)
{
    return ex.btime_sec < 0;
}

// read() of up to n bytes, going on after interruptions; -1 on error.
ssize_t ReadFully(int fd, void *buffer, size_t n)
{
    size_t got = 0;
    auto *at = static_cast<unsigned char *>(buffer);
    while (got < n) {
        const ssize_t r = ::read(fd, at + got, n - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

// Steps of the header of format 1: one SAMP_INDEX entry when smp_id is 2.
long long SampleEntries(const experiment_info &ex, long long n_sample)
{
    return ex.smp_id == 2 ? 1 : n_sample;
}

// Checks a raw header record (network order) against its own size and the
// description's limits, its sensor numbers included.  1, -465 or -466.
int CheckHeader(const experiment_info &ex, const unsigned char *raw, size_t size)
{
    if (size < (ex.header_format == 2 ? kFormat2Fixed : kFormat1Fixed))
        return NURV_HDR_CORRUPT;
    const long long n_sen = static_cast<int16_t>(Be16(raw + 24));
    if (n_sen < 0)
        return NURV_HDR_CORRUPT;
    const long long i_mode = raw[7];
    long long counted = 0;
    if (ex.header_format == 2) {
        const long long rank = static_cast<int16_t>(Be16(raw + 26));
        const long long sets = Be32(raw + 28);
        if (rank < 0)
            return NURV_HDR_CORRUPT;
        counted = static_cast<long long>(kFormat2Fixed) + 4 * rank * sets;
    } else {
        const long long n_sample = Be16(raw + 26);
        const long long limit = ex.smp_id == 2 ? ex.max_packing : ex.swp_len;
        if (n_sample > limit)
            return NURV_HDR_TOO_MANY_SAMPLES;
        counted = static_cast<long long>(kFormat1Fixed) + 2 * SampleEntries(ex, n_sample);
    }
    const long long index_at = counted;
    counted += 3 * n_sen + i_mode;
    if (counted > static_cast<long long>(size))
        return NURV_HDR_CORRUPT;
    // Sensor numbers index the description's per-sensor tables.
    for (long long i = 0; i < n_sen; ++i) {
        const long long sensor = static_cast<int16_t>(Be16(raw + index_at + 2 * i));
        if (sensor < 0 || sensor >= ex.num_sensor)
            return NURV_HDR_CORRUPT;
    }
    return 1;
}

// Bytes of one sensor set of the current header: its samples, then its
// calibration values from the next whole byte.
long long SetBytes(const experiment_info &ex)
{
    const ptr_rec &ptr = *ex.info_ptr;
    if (ex.header_format != 1 || ptr.hdr_fmt1_ptr == nullptr || ptr.N_SEN == nullptr)
        return 0;
    const long long w = ir_container_width(ex.tdw_len);
    const long long samples = static_cast<long long>(*ptr.hdr_fmt1_ptr->N_SAMPLE) * *ptr.N_SEN;
    const long long cal = static_cast<long long>(ptr.num_all_swp_cal) + ptr.num_all_sen_cal + ptr.num_swp_cal +
                          ptr.num_sen_cal;
    return (w * samples + 7) / 8 + (w * cal + 7) / 8;
}

// Bytes of DATA in a record.
long long DataBytes(const experiment_info &ex)
{
    const ptr_rec &ptr = *ex.info_ptr;
    if (ptr.DATA == nullptr || ex.DATA_MEM == nullptr)
        return 0;
    return ptr.d_size - (reinterpret_cast<KOMBRA_CHAR *>(ptr.DATA) - ex.DATA_MEM);
}

// Grows the block *base to bytes when *size is smaller.
bool Grow(void *&base, KOMBRA_UINT &size, long long bytes)
{
    if (bytes <= static_cast<long long>(size))
        return true;
    if (bytes > UINT32_MAX)
        return false;
    void *grown = std::realloc(base, static_cast<size_t>(bytes));
    if (grown == nullptr)
        return false;
    base = grown;
    size = static_cast<KOMBRA_UINT>(bytes);
    return true;
}

}  // namespace

KOMBRA_SHORT ir_number_of_cal_elements(KOMBRA_LONG *num_all_swp_cal, KOMBRA_LONG *num_all_sen_cal,
                                       KOMBRA_LONG *num_swp_cal, KOMBRA_LONG *num_sen_cal, KOMBRA_LONG n_sample,
                                       KOMBRA_LONG n_sen, nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    long long all_swp = 0, all_sen = 0, swp = 0, sen = 0;
    for (int i = 0; i < ex->cal_sets && ex->CAL_USE != nullptr; ++i) {
        const long long use = ex->CAL_USE[i];
        const long long per_sensor = use > 0 ? (n_sample + use - 1) / use : 1;
        ex->CSET_NUM[i] = static_cast<KOMBRA_USHORT>(per_sensor);
        const bool sweep_target = ex->cal_target != nullptr && ex->cal_target[i] == 1;
        if (ex->cal_scope != nullptr && ex->cal_scope[i] == 1)
            (sweep_target ? all_swp : all_sen) += per_sensor;
        else
            (sweep_target ? swp : sen) += n_sen * per_sensor;
    }
    if (all_swp + all_sen + swp + sen > INT32_MAX)
        return NURV_REC_CORRUPT;
    *num_all_swp_cal = static_cast<KOMBRA_LONG>(all_swp);
    *num_all_sen_cal = static_cast<KOMBRA_LONG>(all_sen);
    *num_swp_cal = static_cast<KOMBRA_LONG>(swp);
    *num_sen_cal = static_cast<KOMBRA_LONG>(sen);
    return nur_data_ptr != nullptr ? ir_check_cal_size(nur_data_ptr) : KOMBRA_SHORT{1};
}

KOMBRA_SHORT ir_fix_pointers(nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    auto *hdr = reinterpret_cast<unsigned char *>(ex->HEADER_MEM);
    const long long n_sen = *ptr.N_SEN;
    long long at = 0;
    if (ex->header_format == 2)
        at = static_cast<long long>(kFormat2Fixed) + 4LL * *ptr.hdr_fmt2_ptr->TENSOR_RANK *
                                                         static_cast<long long>(*ptr.hdr_fmt2_ptr->TENSOR_SETS);
    else
        at = static_cast<long long>(kFormat1Fixed) + 2 * SampleEntries(*ex, *ptr.hdr_fmt1_ptr->N_SAMPLE);
    ptr.SENSOR_INDEX = reinterpret_cast<KOMBRA_SHORT *>(hdr + at);
    ptr.DQUAL = hdr + at + 2 * n_sen;
    ptr.MODE_INDEX = hdr + at + 3 * n_sen;

    ptr.num_all_swp_cal = ptr.num_all_sen_cal = ptr.num_swp_cal = ptr.num_sen_cal = 0;
    ptr.CAL_SWP_TBL = ptr.CAL_SENSOR = ptr.ALL_CAL_SWP = ptr.ALL_CAL_SEN = nullptr;
    ptr.swp_bit = ptr.sen_bit = ptr.all_swp_bit = ptr.all_sen_bit = 0;
    if (ex->header_format != 1)
        return 1;
    const KOMBRA_SHORT status =
        ir_number_of_cal_elements(&ptr.num_all_swp_cal, &ptr.num_all_sen_cal, &ptr.num_swp_cal, &ptr.num_sen_cal,
                                  *ptr.hdr_fmt1_ptr->N_SAMPLE, static_cast<KOMBRA_LONG>(n_sen), nur_data_ptr);
    if (status != 1)
        return status;
    if (SetBytes(*ex) > DataBytes(*ex))
        return NURV_REC_CORRUPT;
    if (ptr.DATA == nullptr)
        return 1;

    // The calibration arrays run on as one bit stream from the first whole
    // byte after the samples.
    const long long w = ir_container_width(ex->tdw_len);
    KOMBRA_UCHAR *base = ptr.DATA + (w * *ptr.hdr_fmt1_ptr->N_SAMPLE * n_sen + 7) / 8;
    long long bit = 0;
    const struct {
        KOMBRA_UCHAR **array;
        int8_t *bit_offset;
        KOMBRA_LONG count;
    } arrays[] = {
        {&ptr.ALL_CAL_SWP, &ptr.all_swp_bit, ptr.num_all_swp_cal},
        {&ptr.ALL_CAL_SEN, &ptr.all_sen_bit, ptr.num_all_sen_cal},
        {&ptr.CAL_SWP_TBL, &ptr.swp_bit, ptr.num_swp_cal},
        {&ptr.CAL_SENSOR, &ptr.sen_bit, ptr.num_sen_cal},
    };
    for (const auto &a : arrays) {
        if (a.count == 0)
            continue;
        *a.array = base + bit / 8;
        *a.bit_offset = static_cast<int8_t>(bit % 8);
        bit += w * a.count;
    }
    return 1;
}

KOMBRA_SHORT ir_assign_pointers(KOMBRA_CHAR header, KOMBRA_CHAR data, nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    if (header && ex->HEADER_MEM != nullptr) {
        auto *hdr = reinterpret_cast<unsigned char *>(ex->HEADER_MEM);
        ptr.YEAR = reinterpret_cast<KOMBRA_SHORT *>(hdr + 2);
        ptr.DAYOFYEAR = reinterpret_cast<KOMBRA_SHORT *>(hdr + 4);
        ptr.TIME_UNITS = reinterpret_cast<int8_t *>(hdr + 6);
        ptr.I_MODE = hdr + 7;
        ptr.DATA_ACCUM = reinterpret_cast<KOMBRA_LONG *>(hdr + 8);
        ptr.DATA_LAT = reinterpret_cast<KOMBRA_LONG *>(hdr + 12);
        ptr.SWP_RESET = reinterpret_cast<KOMBRA_LONG *>(hdr + 16);
        ptr.SEN_RESET = reinterpret_cast<KOMBRA_LONG *>(hdr + 20);
        ptr.N_SEN = reinterpret_cast<KOMBRA_SHORT *>(hdr + 24);
        if (ptr.hdr_fmt1_ptr != nullptr) {
            ptr.hdr_fmt1_ptr->N_SAMPLE = reinterpret_cast<KOMBRA_USHORT *>(hdr + 26);
            ptr.hdr_fmt1_ptr->SAMP_INDEX = reinterpret_cast<KOMBRA_SHORT *>(hdr + 28);
        }
        if (ptr.hdr_fmt2_ptr != nullptr) {
            ptr.hdr_fmt2_ptr->TENSOR_RANK = reinterpret_cast<KOMBRA_SHORT *>(hdr + 26);
            ptr.hdr_fmt2_ptr->TENSOR_SETS = reinterpret_cast<KOMBRA_ULONG *>(hdr + 28);
            ptr.hdr_fmt2_ptr->TENSOR_INDEX = reinterpret_cast<KOMBRA_LONG *>(hdr + 32);
        }
    }
    if (data && ex->DATA_MEM != nullptr) {
        auto *rec = reinterpret_cast<unsigned char *>(ex->DATA_MEM);
        const long long nss_at = 12 + 4LL * ex->max_nss;
        ptr.TIME = reinterpret_cast<KOMBRA_LONG *>(rec);
        ptr.SPIN = reinterpret_cast<KOMBRA_LONG *>(rec + 4);
        ptr.SUN_SEN = reinterpret_cast<KOMBRA_LONG *>(rec + 8);
        ptr.HDR_OFF = reinterpret_cast<KOMBRA_LONG *>(rec + 12);
        ptr.NSS = reinterpret_cast<KOMBRA_LONG *>(rec + nss_at);
        ptr.NANO_RES = ex->nano_defined ? reinterpret_cast<KOMBRA_LONG *>(rec + nss_at + 4) : nullptr;
        ptr.DATA = rec + nss_at + (ex->nano_defined ? 8 : 4);
    }
    if (header && ex->HEADER_MEM != nullptr && ptr.h_size < 65535)
        return ir_fix_pointers(nur_data_ptr);
    return 1;
}

void ir_network_order(KOMBRA_CHAR header, KOMBRA_CHAR data)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    if (header && ex->HEADER_MEM != nullptr) {
        auto *hdr = reinterpret_cast<unsigned char *>(ex->HEADER_MEM);
        const size_t n_sen = static_cast<int16_t>(Be16(hdr + 24)) > 0 ? static_cast<int16_t>(Be16(hdr + 24)) : 0;
        Swap16(hdr + 2, 2);
        Swap32(hdr + 8, 4);
        Swap16(hdr + 24, 1);
        size_t at = 0;
        if (ex->header_format == 2) {
            const size_t rank = static_cast<int16_t>(Be16(hdr + 26)) > 0 ? static_cast<int16_t>(Be16(hdr + 26)) : 0;
            const size_t sets = Be32(hdr + 28);
            Swap16(hdr + 26, 1);
            Swap32(hdr + 28, 1 + rank * sets);
            at = kFormat2Fixed + 4 * rank * sets;
        } else {
            const size_t entries = static_cast<size_t>(SampleEntries(*ex, Be16(hdr + 26)));
            Swap16(hdr + 26, 1 + entries);
            at = kFormat1Fixed + 2 * entries;
        }
        Swap16(hdr + at, n_sen);
    }
    if (data && ex->DATA_MEM != nullptr) {
        auto *rec = reinterpret_cast<unsigned char *>(ex->DATA_MEM);
        Swap32(rec, 3 + static_cast<size_t>(ex->max_nss) + 1 + (ex->nano_defined ? 1 : 0));
        const KOMBRA_LONG spin = *ptr.SPIN;
        ptr.deg_per_msec = 360.0f / static_cast<KOMBRA_FLOAT>(spin);
        ptr.increasing_angles = spin > 0 ? 1 : 0;
    }
}

void ir_swap_data_array(void)
{
    if (!ir_swap_data)
        return;
    ir_swap_data = 0;
    experiment_info *ex = ginfo.expt;
    const long long bytes = DataBytes(*ex);
    if (bytes <= 0)
        return;
    if (ex->tdw_len >= 9 && ex->tdw_len <= 16)
        Swap16(ex->info_ptr->DATA, static_cast<size_t>(bytes / 2));
    else if (ex->tdw_len >= 17)
        Swap32(ex->info_ptr->DATA, static_cast<size_t>(bytes / 4));
}

KOMBRA_SHORT ir_read_header(nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    const bool real_time = RealTime(*ex);
    unsigned char size_bytes[2];
    const ssize_t got = ReadFully(ex->fdh, size_bytes, 2);
    if (got < 0)
        return NURV_HDR_READ;
    if (got == 0) {
        ex->hrec_eof = 1;
        return real_time ? 0 : NURV_HDR_READ;
    }
    if (got == 1) {
        ex->hrec_eof = 1;
        lseek(ex->fdh, -1, SEEK_CUR);
        return real_time ? 0 : NURV_SHORT_RECORD;
    }
    const uint16_t size = Be16(size_bytes);
    if (size == 0 || size == 65535 || size == 65534) {
        ex->hrec_eof = 1;
        lseek(ex->fdh, -2, SEEK_CUR);
        if (size == 65535)
            return 9;
        if (size == 65534)
            return 12;
        return real_time ? 0 : NURV_HDR_ZERO_SIZE;
    }

    if (size < (ex->header_format == 2 ? kFormat2Fixed : kFormat1Fixed))
        return NURV_HDR_CORRUPT;

    // The whole record first, so that a short or faulty one leaves the
    // header in memory as it was.
    std::vector<unsigned char> raw;
    try {
        raw.assign(size, 0);
    } catch (const std::bad_alloc &) {
        return ex->HEADER_MEM == nullptr ? NURV_HDR_MEMORY : NURV_HDR_GROWTH;
    }
    std::memcpy(raw.data(), size_bytes, 2);
    const ssize_t rest = size > 2 ? ReadFully(ex->fdh, raw.data() + 2, size - 2u) : 0;
    if (rest < 0)
        return NURV_HDR_READ;
    if (rest == 0 && size > 2) {
        ex->hrec_eof = 1;
        lseek(ex->fdh, -2, SEEK_CUR);
        return real_time ? 0 : NURV_HDR_READ;
    }
    if (rest < static_cast<ssize_t>(size) - 2) {
        ex->hrec_eof = 1;
        lseek(ex->fdh, -(rest + 2), SEEK_CUR);
        return real_time ? 0 : NURV_SHORT_RECORD;
    }
    const int checked = CheckHeader(*ex, raw.data(), size);
    if (checked != 1)
        return static_cast<KOMBRA_SHORT>(checked);

    // The buffer: kept when the header in memory was at least as long.
    bool new_mem = false;
    if (ex->HEADER_MEM == nullptr || ptr.h_size == 65535 || ptr.h_size < size) {
        void *grown = std::realloc(ex->bmem.base_hdr, size);
        if (grown == nullptr)
            return ex->HEADER_MEM == nullptr ? NURV_HDR_MEMORY : NURV_HDR_GROWTH;
        new_mem = ex->HEADER_MEM == nullptr || grown != ex->bmem.base_hdr;
        ex->bmem.base_hdr = grown;
        ex->HEADER_MEM = static_cast<KOMBRA_CHAR *>(grown);
    }
    std::memcpy(ex->HEADER_MEM, raw.data(), size);
    ptr.h_size = size;
    return ex->header_format == 2 ? ir_read_header_format_two(new_mem, nur_data_ptr)
                                  : ir_read_header_format_one(new_mem, nur_data_ptr);
}

KOMBRA_SHORT ir_read_header_format_one(KOMBRA_CHAR new_mem, nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    if (ptr.hdr_fmt1_ptr == nullptr) {
        ptr.base_fmt1 = std::calloc(1, sizeof(nurv_info));
        if (ptr.base_fmt1 == nullptr)
            return NURV_NO_FMT1_INFO;
        ptr.hdr_fmt1_ptr = static_cast<nurv_info *>(ptr.base_fmt1);
        new_mem = 1;
    }
    ir_network_order(1, 0);
    return new_mem ? ir_assign_pointers(1, 0, nur_data_ptr) : ir_fix_pointers(nur_data_ptr);
}

KOMBRA_SHORT ir_read_header_format_two(KOMBRA_CHAR new_mem, nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    if (ptr.hdr_fmt2_ptr == nullptr) {
        ptr.base_fmt2 = std::calloc(1, sizeof(tensor_info));
        if (ptr.base_fmt2 == nullptr)
            return NURV_NO_FMT2_INFO;
        ptr.hdr_fmt2_ptr = static_cast<tensor_info *>(ptr.base_fmt2);
        new_mem = 1;
    }
    ir_network_order(1, 0);
    const KOMBRA_SHORT status = new_mem ? ir_assign_pointers(1, 0, nur_data_ptr) : ir_fix_pointers(nur_data_ptr);
    if (status != 1)
        return status;

    const tensor_info &t = *ptr.hdr_fmt2_ptr;
    long long product = 1;
    for (int j = 0; j < ex->tensor_rank && j < 10; ++j) {
        product *= ex->tensor_sizes[j];
        if (product > UINT32_MAX)
            break;
    }
    if (static_cast<long long>(*t.TENSOR_SETS) > product)
        return NURV_TENSOR_SETS;
    if (*t.TENSOR_RANK != ex->tensor_rank)
        return NURV_TENSOR_RANK;
    const long long rank = *t.TENSOR_RANK;
    for (long long e = 0; e < static_cast<long long>(*t.TENSOR_SETS); ++e)
        for (long long j = 0; j < rank; ++j)
            if (t.TENSOR_INDEX[e * rank + j] >= ex->tensor_sizes[j])
                return NURV_TENSOR_INDEX;
    return 1;
}

KOMBRA_SHORT ir_new_data_record(KOMBRA_CHAR found_sensor)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    const bool real_time = RealTime(*ex);
    const KOMBRA_SHORT failed = ex->header_format == 2 ? NURV_TENSOR_DATA_READ : NURV_DATA_READ;
    if (ex->DATA_MEM == nullptr || ptr.d_size <= 0)
        return failed;

    // From the first record that does not read in order on, the file ends:
    // the record in memory becomes the end mark of a file (-2), as one read
    // there would be.
    if (!real_time && ex->disorder_at >= 0) {
        const off_t at = lseek(ex->fdd, 0, SEEK_CUR);
        if (at >= 0 && at / ptr.d_size >= ex->disorder_at) {
            if (!ex->told_disorder) {
                ex->told_disorder = 1;
                std::printf("The file %s: its records cannot be read in order from record %lld of %lld on; its "
                            "reading stops there\n",
                            ex->data_name.c_str(), ex->disorder_at + 1, ex->records_whole);
                std::fflush(stdout);
            }
            if (ptr.HDR_OFF == nullptr)
                return failed;
            for (long long set = 0; set < ex->max_nss; ++set)
                ptr.HDR_OFF[set] = -2;
            ex->drec_eof = 0;
            return 1;
        }
    }
    // Read aside first: a short record leaves the record in memory intact.
    std::vector<unsigned char> raw;
    try {
        raw.assign(static_cast<size_t>(ptr.d_size), 0);
    } catch (const std::bad_alloc &) {
        return failed;
    }
    const ssize_t got = ReadFully(ex->fdd, raw.data(), raw.size());
    if (got < 0)
        return failed;
    if (got < static_cast<ssize_t>(raw.size())) {
        ex->drec_eof = found_sensor ? 2 : 1;
        if (got == 0)
            return real_time ? (found_sensor ? 6 : 3) : failed;
        lseek(ex->fdd, -got, SEEK_CUR);
        if (got >= 16) {
            const auto first = static_cast<int32_t>(Be32(raw.data() + 12));
            if (first == -1)
                return 9;
            if (first == -2)
                return 12;
        }
        return real_time ? (found_sensor ? 6 : 3) : NURV_SHORT_RECORD;
    }

    std::memcpy(ex->DATA_MEM, raw.data(), raw.size());
    ir_swap_data = 1;
    ir_network_order(0, 1);
    ex->drec_eof = 0;
    const long long nss = *ptr.NSS;
    if (nss > ex->max_nss || nss < -static_cast<long long>(ex->max_nss))
        return NURV_REC_CORRUPT;
    return 1;
}

KOMBRA_SHORT ir_new_header_record(KOMBRA_CHAR found_sensor, nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    const long long set = *ptr.NSS >= 1 ? ptr.cur_sen_set : 0;
    if (set < 0 || set >= ex->max_nss)
        return NURV_REC_CORRUPT;
    const KOMBRA_LONG offset = ptr.HDR_OFF[set];
    if (offset == -1 || offset == -2) {
        // The record in memory is an end mark: every read until the data
        // set is positioned again meets the same mark, never the end of the
        // data file behind it.
        ptr.reset_hdr = 1;
        return offset == -1 ? 9 : 12;
    }
    if (offset < 0)
        return NURV_REC_CORRUPT;

    if (offset != ptr.prev_hd || ptr.h_size == 65535) {
        const KOMBRA_SHORT old_day = ptr.h_size < 65535 && ptr.DAYOFYEAR != nullptr ? *ptr.DAYOFYEAR : 0;
        ptr.reset_hdr = 1;
        ex->hrec_eof = 0;
        const bool tensor = ex->header_format == 2;
        if (lseek(ex->fdh, offset, SEEK_SET) < 0)
            return tensor ? NURV_NEW_TENSOR_HDR_READ : NURV_NEW_HDR_READ;
        const KOMBRA_SHORT status = ir_seams.read_header(nur_data_ptr);
        switch (status) {
        case 1: break;
        case NURV_HDR_READ: return tensor ? NURV_NEW_TENSOR_HDR_READ : NURV_NEW_HDR_READ;
        case NURV_HDR_MEMORY: return tensor ? NURV_NEW_TENSOR_HDR_MEMORY : NURV_NEW_HDR_MEMORY;
        case NURV_HDR_GROWTH: return tensor ? NURV_NEW_TENSOR_HDR_GROWTH : NURV_NEW_HDR_GROWTH;
        case 0:
            ex->hrec_eof = found_sensor ? 2 : 1;
            return found_sensor ? 6 : 3;
        default: return status;
        }
        // A header of another day moves the running time of the record's
        // completed sets; a smaller day number is the next year's start.
        const KOMBRA_SHORT new_day = *ptr.DAYOFYEAR;
        long long days = static_cast<long long>(new_day) - old_day;
        if (days < 0)
            days = new_day;
        if (days != 0 && old_day != 0 && ptr.cur_sen_set != 0)
            ex->accum_ss_ms = static_cast<KOMBRA_LONG>(ex->accum_ss_ms - days * kMsPerDay);
    }

    // The current set must lie inside the record.
    if ((ex->accum_ss_sz + 7LL) / 8 + SetBytes(*ex) > DataBytes(*ex))
        return NURV_REC_CORRUPT;
    if (ptr.cur_sen_set == 0)
        ir_swap_data_array();
    ex->hrec_eof = 0;
    return 1;
}

KOMBRA_SHORT ir_check_dependent_on_header(nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    nur_data &d = *nur_data_ptr;
    if (ex->header_format == 2)
        return NURV_TENSOR_HEADER;
    if (ptr.hdr_fmt1_ptr == nullptr || *ptr.hdr_fmt1_ptr->N_SAMPLE == 0)
        return NURV_NO_SAMPLES;
    const long long n = *ptr.hdr_fmt1_ptr->N_SAMPLE;

    if (d.data_size < 4 * n) {
        if (!Grow(d.base_data, d.data_size, 4 * n))
            return NURV_NO_DATA_MEMORY;
        d.sen_data = static_cast<KOMBRA_LONG *>(d.base_data);
        if (!Grow(d.base_angle, d.angle_size, 8 * n))
            return NURV_NO_ANGLE_MEMORY;
        d.start_az = static_cast<KOMBRA_FLOAT *>(d.base_angle);
        d.stop_az = d.start_az + n;

        if (ex->pa_def && ex->return_pitch_angles == sTrue) {
            const bool had = d.base_pitch != nullptr;
            if (!Grow(d.base_pitch, d.pitch_size, 4 * n))
                return had ? NURV_NO_PITCH_GROWTH : NURV_NO_PITCH_MEMORY;
            d.pitch_angles = static_cast<KOMBRA_FLOAT *>(d.base_pitch);

            // Five arrays of three floats per step in one block.
            if (d.base_dir_cosines == nullptr) {
                d.base_dir_cosines = std::calloc(1, sizeof(direction_cos));
                if (d.base_dir_cosines == nullptr)
                    return NURV_NO_DIR_COS;
                d.dir_cosines = static_cast<direction_cos *>(d.base_dir_cosines);
            }
            direction_cos &dc = *d.dir_cosines;
            const bool had_block = dc.base_block != nullptr;
            void *block = std::realloc(dc.base_block, static_cast<size_t>(60 * n));
            if (block == nullptr)
                return had_block ? NURV_NO_DIR_COS_GROWTH : NURV_NO_DIR_COS_BLOCK;
            dc.base_block = block;
            auto *values = static_cast<KOMBRA_FLOAT *>(block);
            dc.dir_cos123 = values;
            dc.start_az123 = values + 3 * n;
            dc.stop_az123 = values + 6 * n;
            dc.start_theta123 = values + 9 * n;
            dc.stop_theta123 = values + 12 * n;
        }
        if (ex->potential_def) {
            if (!Grow(d.base_potential, d.potential_size, 4 * n))
                return NURV_NO_POTENTIAL_MEMORY;
            d.potential = static_cast<KOMBRA_FLOAT *>(d.base_potential);
        }
        if (ex->euler_def) {
            const long long angles = ir_seams.num_attitude_angles(ex);
            if (angles > 0) {
                if (!Grow(d.base_euler, d.euler_size, 4 * angles * n + 2 * angles))
                    return NURV_NO_EULER_MEMORY;
                d.euler_angles = static_cast<KOMBRA_FLOAT *>(d.base_euler);
                d.euler_rot_axis = reinterpret_cast<KOMBRA_SHORT *>(d.euler_angles + angles * n);
            }
        }
    }

    const long long i_mode = *ptr.I_MODE;
    if (i_mode != 0 && d.mode_size < 4 * i_mode) {
        if (!Grow(d.base_mode, d.mode_size, 4 * i_mode))
            return NURV_NO_MODE_MEMORY;
        d.mode = static_cast<KOMBRA_LONG *>(d.base_mode);
        d.mode_len = static_cast<KOMBRA_UCHAR>(i_mode);
    }
    const KOMBRA_SHORT status = ir_alloc_swp_data(ex->smp_id == 2 ? 1 : static_cast<KOMBRA_LONG>(n), nur_data_ptr);
    if (status != 1)
        return status;
    if (ex->cal_sets > 0 && d.base_cset == nullptr) {
        d.base_cset = std::calloc(static_cast<size_t>(ex->cal_sets), sizeof(KOMBRA_USHORT));
        if (d.base_cset == nullptr)
            return NURV_NO_CSET_MEMORY;
        d.cset_num = static_cast<KOMBRA_USHORT *>(d.base_cset);
    }
    return 1;
}

KOMBRA_SHORT ir_reset_header(nur_data *nur_data_ptr, KOMBRA_SHORT sensor, KOMBRA_CHAR full_swp)
{
    experiment_info *ex = ginfo.expt;
    ptr_rec &ptr = *ex->info_ptr;
    KOMBRA_SHORT status = ir_seams.check_dependent_on_header(nur_data_ptr);
    if (status != 1)
        return status;
    nur_data &d = *nur_data_ptr;
    d.hdr_change = 1;
    d.byear = d.eyear = d.mode_byear = d.mode_eyear = *ptr.YEAR;
    d.bday = d.eday = d.mode_bday = d.mode_eday = *ptr.DAYOFYEAR;
    ir_get_time_components();
    ir_read_drec_times(nur_data_ptr, sensor, full_swp);
    const long long set = *ptr.NSS >= 1 ? ptr.cur_sen_set : 0;
    ptr.prev_hd = set >= 0 && set < ex->max_nss ? ptr.HDR_OFF[set] : -1;
    ptr.reset_hdr = 0;
    status = ir_seams.check_critical_status(d.byear, d.bday, d.bsec, d.bnsec, d.eyear, d.eday, d.esec, d.ensec);
    return status;
}

KOMBRA_SHORT ir_walk_records(const experiment_info &ex, ir_record_walk &walk)
{
    walk = {};
    struct stat data {}, header {};
    const long long d_size = ex.info_ptr != nullptr ? ex.info_ptr->d_size : 0;
    const long long nss_at = 12 + 4LL * ex.max_nss;
    const long long fixed = nss_at + (ex.nano_defined ? 8 : 4);
    if (fstat(ex.fdd, &data) != 0 || fstat(ex.fdh, &header) != 0 || d_size < fixed || ex.max_nss <= 0)
        return NURV_POS_READ;
    walk.records = static_cast<long long>(data.st_size) / d_size;
    walk.partial = data.st_size % d_size != 0;

    // The year and day of the header at each offset met, or none where it
    // does not read.
    struct Day {
        long long year, day;
    };
    std::map<long long, std::optional<Day>> headers;
    const auto headerAt = [&](long long offset) -> std::optional<Day> {
        if (const auto seen = headers.find(offset); seen != headers.end())
            return seen->second;
        std::optional<Day> found;
        unsigned char size_bytes[2];
        if (offset >= 0 && pread(ex.fdh, size_bytes, 2, static_cast<off_t>(offset)) == 2) {
            const uint16_t size = Be16(size_bytes);
            std::vector<unsigned char> raw(size);
            if (size >= 6 && size < 65534 && offset + size <= header.st_size &&
                pread(ex.fdh, raw.data(), size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size) &&
                CheckHeader(ex, raw.data(), size) == 1)
                found = Day{static_cast<int16_t>(Be16(raw.data() + 2)), static_cast<int16_t>(Be16(raw.data() + 4))};
        }
        headers.emplace(offset, found);
        return found;
    };
    // A header of size 65535 or 65534 is the end mark of the file, as the
    // HDR_OFF values -1 and -2 are.
    const auto headerMarkAt = [&](long long offset) {
        unsigned char size_bytes[2];
        return offset >= 0 && pread(ex.fdh, size_bytes, 2, static_cast<off_t>(offset)) == 2 &&
               Be16(size_bytes) >= 65534;
    };

    using Time = std::tuple<long long, long long, long long, long long>;
    Time previous{std::numeric_limits<long long>::min(), 0, 0, 0};
    bool marked = false;
    // Read a few hundred records at a time.
    const long long batch = std::max(1LL, 65536 / d_size);
    std::vector<unsigned char> bytes(static_cast<size_t>(batch * d_size));
    for (long long first = 0; first < walk.records; first += batch) {
        const long long count = std::min(batch, walk.records - first);
        const size_t want = static_cast<size_t>(count * d_size);
        size_t got = 0;
        while (got < want) {
            const ssize_t n = pread(ex.fdd, bytes.data() + got, want - got, static_cast<off_t>(first * d_size) +
                                                                                static_cast<off_t>(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return NURV_POS_READ;
            got += static_cast<size_t>(n);
        }
        for (long long k = 0; k < count; ++k, ++walk.in_order) {
            const unsigned char *rec = bytes.data() + k * d_size;
            const long long offset = static_cast<int32_t>(Be32(rec + 12));
            if (offset == -1 || offset == -2) {
                marked = true;
                continue;
            }
            const long long nss = static_cast<int32_t>(Be32(rec + nss_at));
            const std::optional<Day> day = marked || offset < 0 || nss > ex.max_nss || nss < -ex.max_nss
                                               ? std::nullopt
                                               : headerAt(offset);
            if (!day && headerMarkAt(offset)) {
                marked = true;
                continue;
            }
            if (!day)
                return 1;
            const long long time = static_cast<int32_t>(Be32(rec));
            long long nsec = (time % 1000) * 1000000;
            if (ex.nano_defined)
                nsec += static_cast<int32_t>(Be32(rec + nss_at + 4));
            const Time now{day->year, day->day, time / 1000, nsec};
            if (now < previous)
                return 1;
            previous = now;
            walk.last_data = walk.in_order;
        }
    }
    walk.end_mark = marked;
    return 1;
}
