/* The data-source names of the lineage combos. */
#include "lineage_lists.h"

#include "Qnurv_utils.h"

#include <QComboBox>

const char *const project_strs[] = {"CLUSTERII", "DOUBLESTAR", "UNKNOWN", nullptr};

const char *const exp_strs[] = {"HALDE", nullptr};

const char *const inst_strs[] = {"PAD", "SPINPAD", "3DR", "3DF",  "LER",  "CORE",
                                 "NOI", "MODE",    "3DX1", "3DX2", "HSKP", "RPAD", nullptr};

const char *const virins_strs[] = {
    "CPPADH",  "CPPADHF", "CPPADL",  "CPPADLF", "CPPADAL", "LSPAD",   "HSPAD",   "LSPADNR", "HSPADNR", "CP3DRH",
    "CP3DRHF", "CP3DRL",  "CP3DRLF", "CP3DFH",  "CP3DFHF", "CP3DFL",  "CP3DFLF", "CPLERH",  "CPLERHF", "CPLERL",
    "CPLERLF", "CPX1L",   "CPX1H",   "CPXP1L",  "CPXP1H",  "CPXE1L",  "CPXE1H",  "CPX1LF",  "CPX1HF",  "CPXP1LF",
    "CPXP1HF", "CPXE1LF", "CPXE1HF", "CPX2L",   "CPX2H",   "CPXP2L",  "CPXP2H",  "CPXE2L",  "CPXE2H",  "CPX2LF",
    "CPX2HF",  "CPXP2LF", "CPXP2HF", "CPXE2LF", "CPXE2HF", "DP3DF",   "DP3DR",   "DPRPADL", "DPRPADH", nullptr};

namespace widgets {

void add_items(QComboBox *combo, const char *const *list)
{
    for (; *list != nullptr; ++list)
        combo->addItem(QString::fromLatin1(*list));
}

void add_mission_items(QComboBox *combo)
{
    for (int sc = CLUSTER1; sc <= TC2; ++sc)
        combo->addItem(QString::fromLatin1(SC_NAME(sc)));
}

} // namespace widgets
