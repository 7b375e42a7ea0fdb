// Sensor combinations and critical actions: the needed sensors grouped by
// the description offsets of their tables (and their critical status), one
// set of conversion tables per group, and the re-reading of a table when a
// new header changes the status byte that selects its offset.
//
// Status bytes, state numbers and offsets come from the description and the
// headers: a status byte beyond the header's modes, or a state beyond the
// critical action's list, selects nothing.
#include "nurv_int.h"

#include "libKELD.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int kNoCriticalTable = 255;

bool HasCriticalActions(const inst_tbl_info &info)
{
    return info.crit_act_sz != 0;
}

bool ModeTable(const inst_tbl_info &info)
{
    return info.tbl_var == 4 || info.tbl_var == 5;
}

int FirstNeeded(const experiment_info &ex)
{
    for (int s = 0; s < ex.num_sensor; ++s)
        if (ex.sensors_needed == nullptr || ex.sensors_needed[s])
            return s;
    return 0;
}

bool Needed(const experiment_info &ex, int s)
{
    return ex.sensors_needed == nullptr || ex.sensors_needed[s] != 0;
}

void FreeCombinations(experiment_info &ex)
{
    if (ex.sen_tbl_ptr != nullptr) {
        for (int c = 0; c < ex.num_combo; ++c) {
            sensor_tables &st = ex.sen_tbl_ptr[c];
            std::free(st.base_tbls);
            std::free(st.base_misc_tbls);
            if (st.act_ptr != nullptr)
                for (int a = 0; a < ex.crit_action; ++a)
                    std::free(st.act_ptr[a].base_action);
            std::free(st.base_crit_action);
        }
    }
    std::free(ex.bmem.base_sen_ptr);
    ex.bmem.base_sen_ptr = nullptr;
    ex.sen_tbl_ptr = nullptr;
    ex.num_combo = 0;
}

}  // namespace

KOMBRA_SHORT ir_get_sensor_tables(std::vector<int8_t> &chk_tbl, std::vector<int8_t> &chk_crit,
                                  std::vector<KOMBRA_LONG> &tbl_ptrs, std::vector<KOMBRA_UCHAR> &crit_stat_ptrs,
                                  int *crit_tbl, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                  KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                                  KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info &ex = *ginfo.expt;
    const ir_range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    const int n = ex.num_sensor;
    *crit_tbl = kNoCriticalTable;
    for (int t = 0; t < ex.num_tbls; ++t) {
        const inst_tbl_info &info = ex.tbl_info_ptr[t];
        if (ModeTable(info))
            continue;
        KOMBRA_LONG *offsets = tbl_ptrs.data() + static_cast<size_t>(t) * n;
        int status = ir_keld_item(r, offsets, sizeof(KOMBRA_LONG) * n, _TBL_OFF, static_cast<KOMBRA_SHORT>(t));
        if (status != 1)
            return ir_keld_rval(status, -78);
        if (HasCriticalActions(info)) {
            KOMBRA_UCHAR *status_bytes = crit_stat_ptrs.data() + static_cast<size_t>(t) * n;
            status = ir_keld_item(r, status_bytes, static_cast<size_t>(n), _CRIT_STATUS, static_cast<KOMBRA_SHORT>(t));
            if (status != 1)
                return ir_keld_rval(status, -78);
            if (*crit_tbl == kNoCriticalTable)
                *crit_tbl = t;
        }
    }

    const int f = FirstNeeded(ex);
    for (int t = 0; t < ex.num_tbls; ++t) {
        const inst_tbl_info &info = ex.tbl_info_ptr[t];
        chk_tbl[t] = 0;
        if (ModeTable(info))
            continue;
        const size_t row = static_cast<size_t>(t) * n;
        bool differ = false, differ_status = false;
        for (int s = f + 1; s < n; ++s) {
            if (!Needed(ex, s))
                continue;
            differ = differ || tbl_ptrs[row + s] != tbl_ptrs[row + f];
            differ_status = differ_status || crit_stat_ptrs[row + s] != crit_stat_ptrs[row + f];
        }
        chk_tbl[t] = differ ? 1 : 0;
        if (chk_crit[t])
            chk_crit[t] = differ_status ? 1 : 0;
    }
    return 1;
}

KOMBRA_SHORT ir_count_combo(const std::vector<int8_t> &chk_tbl, const std::vector<int8_t> &chk_crit,
                            const std::vector<KOMBRA_LONG> &tbl_ptrs, const std::vector<KOMBRA_UCHAR> &crit_stat_ptrs,
                            int crit_tbl)
{
    experiment_info &ex = *ginfo.expt;
    const int n = ex.num_sensor;
    for (int s = 0; s < n; ++s)
        ex.index_sen_tbl[s] = Needed(ex, s) ? 0 : -1;

    if (ex.crit_action >= 2) {
        int count = 0;
        for (int s = 0; s < n; ++s)
            if (Needed(ex, s))
                ex.index_sen_tbl[s] = static_cast<KOMBRA_SHORT>(count++);
        return static_cast<KOMBRA_SHORT>(count);
    }
    bool any_tbl = false, any_crit = false;
    for (int t = 0; t < ex.num_tbls; ++t) {
        any_tbl = any_tbl || chk_tbl[t];
        any_crit = any_crit || chk_crit[t];
    }
    if (!any_tbl && !any_crit)
        return 1;

    std::vector<int> list;
    try {
        for (int s = 0; s < n; ++s)
            if (Needed(ex, s))
                list.push_back(s);
    } catch (const std::bad_alloc &) {
        return NURV_NO_COMBO_LIST;
    }
    if (list.empty())
        return NURV_NO_COMBO_LIST;
    // The key of a sensor: its offsets of the tables that differ, and its
    // status byte of the first critical table when statuses differ.
    auto same = [&](int a, int b) {
        for (int t = 0; t < ex.num_tbls; ++t) {
            const size_t row = static_cast<size_t>(t) * n;
            if (chk_tbl[t] && tbl_ptrs[row + a] != tbl_ptrs[row + b])
                return false;
        }
        if (any_crit && crit_tbl != kNoCriticalTable) {
            const size_t row = static_cast<size_t>(crit_tbl) * n;
            if (crit_stat_ptrs[row + a] != crit_stat_ptrs[row + b])
                return false;
        }
        return true;
    };
    int count = 0;
    while (!list.empty()) {
        const int reference = list.front();
        std::vector<int> kept;
        for (size_t i = 1; i < list.size(); ++i)
            if (!same(list[i], reference))
                kept.push_back(list[i]);
        ++count;
        for (const int s : kept)
            ex.index_sen_tbl[s] = static_cast<KOMBRA_SHORT>(count);
        list.swap(kept);
    }
    return static_cast<KOMBRA_SHORT>(count);
}

KOMBRA_SHORT ir_get_critical_info(KOMBRA_UCHAR cstat, KOMBRA_SHORT combo, KOMBRA_SHORT sensor, KOMBRA_SHORT table,
                                  int act_index, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                  KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                                  KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info &ex = *ginfo.expt;
    const ir_range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    crit_action_info &action = ex.sen_tbl_ptr[combo].act_ptr[act_index];
    KOMBRA_UCHAR status_byte = cstat;
    int status = ir_keld_item(r, &status_byte, sizeof status_byte, _CRIT_STATUS, table, sensor, 1);
    if (status != 1)
        return ir_get_crit_rval(status);
    KOMBRA_SHORT states = 0;
    status = ir_keld_item(r, &states, sizeof states, _STATES, 0, status_byte, 1);
    if (status != 1)
        return ir_get_crit_rval(status);
    std::free(action.base_action);
    action.base_action = nullptr;
    action.crit_action = nullptr;
    action.num_states = 0;
    if (states <= 0)
        return NURV_NO_CRIT_ACTION;
    action.base_action = std::calloc(static_cast<size_t>(states), sizeof(KOMBRA_LONG));
    if (action.base_action == nullptr)
        return NURV_NO_CRIT_ACTION;
    action.crit_action = static_cast<KOMBRA_LONG *>(action.base_action);
    action.num_states = states;

    KOMBRA_LONG offset = 0;
    status = ir_keld_item(r, &offset, sizeof offset, _CRIT_OFF, table, sensor, 1);
    if (status != 1)
        return ir_get_crit_rval(status);
    // The offsets of all states must lie in the table's list of actions.
    const long long size = ex.tbl_info_ptr[table].crit_act_sz;
    if (offset < 0 || states > size || offset > size - states)
        return ir_get_crit_rval(-805);
    status = ir_keld_item(r, action.crit_action, sizeof(KOMBRA_LONG) * static_cast<size_t>(states), _CRIT_ACTION,
                          table, offset, states);
    return status == 1 ? KOMBRA_SHORT{1} : ir_get_crit_rval(status);
}

KOMBRA_SHORT ir_init_sensor_ptr(KOMBRA_SHORT num_combo, const std::vector<KOMBRA_UCHAR> &crit_stat_ptrs,
                                KOMBRA_CHAR first_time, int crit_tbl, const std::vector<int8_t> &chk_crit,
                                KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info &ex = *ginfo.expt;
    const int n = ex.num_sensor;
    for (int c = 0; c < num_combo && c < ex.num_combo; ++c) {
        sensor_tables &st = ex.sen_tbl_ptr[c];
        int representative = -1;
        int8_t widest = 0;
        for (int s = 0; s < n; ++s) {
            if (ex.index_sen_tbl[s] != c)
                continue;
            if (representative < 0)
                representative = s;
            widest = ex.sen_tdw_len[s] > widest ? ex.sen_tdw_len[s] : widest;
        }
        st.max_tdw_len = widest;
        if (representative < 0)
            continue;

        if (ex.crit_action != 0) {
            st.base_crit_action = std::calloc(static_cast<size_t>(ex.crit_action), sizeof(crit_action_info));
            if (st.base_crit_action == nullptr)
                return NURV_NO_CRIT_RECORDS;
            st.act_ptr = static_cast<crit_action_info *>(st.base_crit_action);
            for (int t = 0, a = 0; t < ex.num_tbls && a < ex.crit_action; ++t)
                if (chk_crit[t])
                    st.act_ptr[a++].crit_tbl = static_cast<int8_t>(t);
            if (first_time)
                for (int a = 0; a < ex.crit_action; ++a) {
                    st.act_ptr[a].base_action = nullptr;
                    st.act_ptr[a].crit_action = nullptr;
                    st.act_ptr[a].num_states = 0;
                }
        }
        KOMBRA_SHORT status = ir_get_tbl_info(static_cast<KOMBRA_SHORT>(representative), static_cast<KOMBRA_SHORT>(c),
                                              btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day,
                                              etime_sec, etime_nsec);
        if (status != 1)
            return status;
        for (int a = 0; a < ex.crit_action; ++a) {
            crit_action_info &action = st.act_ptr[a];
            action.crit_offset = -1;
            action.crit_flag = -1;
            if (crit_tbl == kNoCriticalTable) {
                action.crit_status = 255;
                continue;
            }
            action.crit_status = crit_stat_ptrs[static_cast<size_t>(action.crit_tbl) * n + representative];
            if (action.crit_status == 255)
                continue;
            status = ir_get_critical_info(action.crit_status, static_cast<KOMBRA_SHORT>(c),
                                          static_cast<KOMBRA_SHORT>(representative), action.crit_tbl, a, btime_yr,
                                          btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                                          etime_nsec);
            if (status != 1)
                return status;
        }
    }
    return 1;
}

KOMBRA_SHORT ir_sensor_combo(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                             KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                             KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->num_sensor <= 0)
        return NURV_NO_DATA_SET;
    const int n = ex->num_sensor;
    const int t = ex->num_tbls > 0 ? ex->num_tbls : 0;
    // Per table: every sensor's offset and status byte (table t, sensor s
    // at t * n + s), and whether they differ between the needed sensors.
    std::vector<KOMBRA_LONG> tbl_ptrs;
    std::vector<KOMBRA_UCHAR> crit_stat_ptrs;
    std::vector<int8_t> chk_tbl, chk_crit;
    try {
        tbl_ptrs.assign(static_cast<size_t>(n) * t, 0);
        crit_stat_ptrs.assign(static_cast<size_t>(n) * t, 0);
    } catch (const std::bad_alloc &) {
        return NURV_NO_COMBO_SCRATCH;
    }
    try {
        chk_tbl.assign(static_cast<size_t>(t), 1);
        chk_crit.assign(static_cast<size_t>(t), 0);
    } catch (const std::bad_alloc &) {
        return NURV_NO_COMBO_FLAGS;
    }

    // Old combinations go first: their critical records are counted by the
    // old number of critical tables.
    const KOMBRA_CHAR first_time = ex->sen_tbl_ptr == nullptr ? 1 : 0;
    FreeCombinations(*ex);
    ex->crit_action = 0;
    for (int i = 0; i < t; ++i)
        if (HasCriticalActions(ex->tbl_info_ptr[i])) {
            chk_crit[static_cast<size_t>(i)] = 1;
            ++ex->crit_action;
        }
    int crit_tbl = kNoCriticalTable;
    KOMBRA_SHORT status = ir_get_sensor_tables(chk_tbl, chk_crit, tbl_ptrs, crit_stat_ptrs, &crit_tbl, btime_yr,
                                               btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                                               etime_nsec);
    if (status != 1)
        return status;

    std::free(ex->bmem.base_tbl_index);
    ex->bmem.base_tbl_index = std::calloc(static_cast<size_t>(n), sizeof(KOMBRA_SHORT));
    ex->index_sen_tbl = static_cast<KOMBRA_SHORT *>(ex->bmem.base_tbl_index);
    if (ex->index_sen_tbl == nullptr)
        return NURV_NO_COMBO_INDEX;
    const KOMBRA_SHORT count = ir_count_combo(chk_tbl, chk_crit, tbl_ptrs, crit_stat_ptrs, crit_tbl);
    if (count < 0)
        return count;
    if (count == 0)
        return NURV_NO_COMBINATIONS;
    ex->bmem.base_sen_ptr = std::calloc(static_cast<size_t>(count), sizeof(sensor_tables));
    if (ex->bmem.base_sen_ptr == nullptr)
        return NURV_NO_COMBINATIONS;
    ex->sen_tbl_ptr = static_cast<sensor_tables *>(ex->bmem.base_sen_ptr);
    ex->num_combo = count;
    for (int i = 0; i < t; ++i)
        chk_crit[static_cast<size_t>(i)] = HasCriticalActions(ex->tbl_info_ptr[i]) ? 1 : 0;
    return ir_init_sensor_ptr(count, crit_stat_ptrs, first_time, crit_tbl, chk_crit, btime_yr, btime_day, btime_sec,
                              btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec);
}

KOMBRA_SHORT ir_check_critical_status(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                      KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                      KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->crit_action == 0)
        return 1;
    if (ex->sen_tbl_ptr == nullptr || ex->index_sen_tbl == nullptr)
        return 1;  // no combinations built yet: the next build reads the state
    const KOMBRA_CHAR had_located = ginfo.called_locate;
    ginfo.called_locate = 1;
    struct Restore {
        KOMBRA_CHAR had;
        ~Restore() { ginfo.called_locate = had; }
    } restore{had_located};

    const ptr_rec &ptr = *ex->info_ptr;
    const int modes = ptr.I_MODE != nullptr ? *ptr.I_MODE : 0;
    for (int s = 0; s < ex->num_sensor; ++s) {
        const int c = ex->index_sen_tbl[s];
        if (c < 0 || c >= ex->num_combo)
            continue;
        sensor_tables &st = ex->sen_tbl_ptr[c];
        for (int a = 0; a < ex->crit_action && st.act_ptr != nullptr; ++a) {
            crit_action_info &action = st.act_ptr[a];
            if (action.crit_status == 255 || action.crit_status >= modes || action.crit_action == nullptr)
                continue;
            const int v = ptr.MODE_INDEX[action.crit_status];
            if (v == action.crit_flag || v >= action.num_states)
                continue;
            const KOMBRA_LONG offset = action.crit_action[v];
            if (offset == action.crit_offset)
                continue;
            action.crit_offset = offset;
            action.crit_flag = static_cast<KOMBRA_SHORT>(v);

            const int t = action.crit_tbl;
            if (t < 0 || t >= st.num_tbls)
                return NURV_COMBO_TABLE;
            if (st.tbl_fmt[t] < 0)
                continue;
            KOMBRA_FLOAT *start = st.tbls;
            for (int before = 0; before < t; ++before)
                start += st.tbl_size[before];
            const KOMBRA_SHORT status = ir_get_new_tbl(
                static_cast<KOMBRA_SHORT>(s), static_cast<KOMBRA_SHORT>(t), st.tbl_expand[t], st.tbl_fmt[t], start,
                st.tbl_size[t], offset, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                etime_nsec);
            if (status != 1)
                return status;
        }
    }
    return 1;
}
