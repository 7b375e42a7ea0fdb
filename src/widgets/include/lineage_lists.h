/* The data-source names both programs offer in their lineage combos:
 * constant lists ended by a null entry.  The missions are SC_NAME(0) to
 * SC_NAME(6) of the sweep model. */
#pragma once

class QComboBox;

extern const char *const project_strs[]; /* 3 names */
extern const char *const exp_strs[];     /* 1 name */
extern const char *const inst_strs[];    /* 12 names */
extern const char *const virins_strs[];  /* 49 names */

namespace widgets {

/* Appends the names of a null-terminated list to the combo. */
void add_items(QComboBox *combo, const char *const *list);
/* Appends the seven mission names. */
void add_mission_items(QComboBox *combo);

} // namespace widgets
