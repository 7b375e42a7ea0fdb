// The caller records (nur_data) that the reader hands out: making and
// registering them, and growing their arrays.  Arrays grow with realloc and
// never shrink; a failed growth leaves the old array in place.
#include "nurv_int.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

namespace {

// Grows the block *base to hold count 32-bit values when *size (bytes) is
// smaller.  false when the block cannot grow.
bool grow_longs(void **base, KOMBRA_UINT *size, KOMBRA_LONG count)
{
    if (count <= 0)
        return true;
    const unsigned long long bytes = 4ULL * static_cast<unsigned long long>(count);
    if (bytes <= *size)
        return true;
    if (bytes > UINT32_MAX)
        return false;
    void *grown = std::realloc(*base, bytes);
    if (grown == nullptr)
        return false;
    *base = grown;
    *size = static_cast<KOMBRA_UINT>(bytes);
    return true;
}

}  // namespace

KOMBRA_SHORT create_nur_data_structure(nur_data **nur_data_ptr)
{
    if (nur_data_ptr == nullptr)
        return NURV_NO_RECORD;
    std::vector<nur_data *> &list = ginfo.nur_data_ptr;
    const KOMBRA_LONG count = ginfo.num_nur_data_ptr();
    // The list grows in steps of IR_NUR_DATA_STEP records.
    if (list.size() == list.capacity()) {
        try {
            list.reserve(static_cast<size_t>(count) + IR_NUR_DATA_STEP);
        } catch (const std::exception &) {  // bad_alloc, length_error
            return count == 0 ? NURV_NO_RECORD_LIST : NURV_NO_LIST_GROWTH;
        }
    }
    auto *p = static_cast<nur_data *>(std::calloc(1, sizeof(nur_data)));
    if (p == nullptr)
        return NURV_NO_RECORD;
    list.push_back(p);  // within the reserved capacity: cannot throw
    *nur_data_ptr = p;
    return 1;
}

int valid_nur_data_structure(const nur_data *p)
{
    const auto &list = ginfo.nur_data_ptr;
    return p != nullptr && std::find(list.begin(), list.end(), p) != list.end() ? 1 : 0;
}

int valid_tensor_data_structure(const tensor_data *p)
{
    const auto &list = ginfo.tensor_data_ptr;
    return p != nullptr && std::find(list.begin(), list.end(), p) != list.end() ? 1 : 0;
}

KOMBRA_SHORT ir_alloc_swp_data(KOMBRA_LONG num_ele, nur_data *nur_data_ptr)
{
    if (nur_data_ptr == nullptr)
        return NURV_NO_SWP_MEMORY;
    if (!grow_longs(&nur_data_ptr->base_swp, &nur_data_ptr->swp_size, num_ele))
        return NURV_NO_SWP_MEMORY;
    nur_data_ptr->swp_data = static_cast<KOMBRA_LONG *>(nur_data_ptr->base_swp);
    return 1;
}

KOMBRA_SHORT ir_check_cal_size(nur_data *nur_data_ptr)
{
    const experiment_info *ex = ginfo.expt;
    if (ex == nullptr || nur_data_ptr == nullptr)
        return NURV_NO_CAL_MEMORY;
    KOMBRA_LONG n = 0;
    if (ex->CSET_NUM != nullptr)
        for (int i = 0; i < ex->cal_sets; ++i)
            n += ex->CSET_NUM[i];
    const KOMBRA_UINT before = nur_data_ptr->cal_size;
    if (!grow_longs(&nur_data_ptr->base_cal, &nur_data_ptr->cal_size, n))
        return NURV_NO_CAL_MEMORY;
    nur_data_ptr->cal_data = static_cast<KOMBRA_LONG *>(nur_data_ptr->base_cal);
    if (nur_data_ptr->cal_size != before)
        nur_data_ptr->cal_len = n;
    return 1;
}

KOMBRA_SHORT ir_check_nur_data_memory(KOMBRA_ULONG data_key, const char *exten,
                                      KOMBRA_USHORT vnum, nur_data *nur_data_ptr)
{
    const experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->data_key != data_key || ex->version != vnum) {
        if (ir_locate_ex(data_key, exten, vnum, 0) != 1)
            return NURV_NOT_OPEN;
    }
    const KOMBRA_SHORT rval = ir_seams.check_dependent_on_header(nur_data_ptr);
    if (rval != 1)
        return rval;
    return ir_check_cal_size(nur_data_ptr);
}
