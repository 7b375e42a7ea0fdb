// Internals of promotion shared by its sources.
#pragma once

// The columns of a catalog entries table (v_entries, hd_entries), in order.
inline constexpr const char *kEntryColumns[] = {"data_key", "b_yr",   "b_day", "b_msec",        "e_yr",
                                                "e_day",    "e_msec", "size",  "archive_label", "archive_date"};
