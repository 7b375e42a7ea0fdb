/* CDF files of the exchange library: the writer of a data set as a CDF
 * (one zVariable per variable, global and variable attributes, the software
 * version entry), the conversions between the library's ISO_TIME type and
 * CDF_EPOCH that every writer applies, and the reader of a whole CDF back
 * into a data set.  Both work through the library's own CDF module
 * (kve/cdf, header kcdf.h); one CDF is open at a time. */
#pragma once

#include "kve_meta.h"

/* ---- Writer ----------------------------------------------------------------- */

/* Writes io_f_path + io_f_name + ".cdf".  Statuses: 0, 101, 102, 130, or the
 * status of KvWriteContents (the half-written file is then deleted). */
int KvWriteCSDSgenCDF(KvCDFContents *contents, KvOptions *options);
/* Creates the empty CDF name + ".cdf": 0, 102 or 130 (exists and WARN). */
int KvCreateCDF(const char *name, KvOptions *options);
/* 103 when a record-varying variable's max_rec_num is not n_recs - 1. */
int KvTestStructure(const KvCDFContents *contents);
int KvWriteContents(KvCDFContents *contents, KvOptions *options);
int KvWriteGlobals(KvCDFContents *contents);
int KvWriteVariable(KvCDFContents *contents, long index);
int KvWriteVarAttrs(KvCDFContents *contents, long index);
/* 0 for success or a remark, -1 for a warning, 1 for an error; reports the
 * status on standard error. */
int KvStatusHandler(long status, const char *context);
/* ISO_TIME to CDF_EPOCH (CDF and the ASCII layouts but CEF 2), and back
 * (CEF 2); both return 0. */
int KvRemoveISO_TIME(KvCDFContents *contents);
int KvRemoveEpoch(KvCDFContents *contents);

/* ---- Reader ----------------------------------------------------------------- */

/* Reads a whole CDF into an empty data set: 0, -1 when closing fails, else a
 * status (102, 104, 105, 107..117, 134, 135, 137). */
int KvGetCSDSgenCDF(const char *name, KvCDFContents *contents);
int KvGetCDFVar(KvCDFVariable *var, long number, int *epoch_flag);
int KvGetVariableAttr(long number, KvCDFVariable *var);
int KvGetCDFmetadata(KvCDFContents *contents);
int KvGetGlobalAttr(long number, KvGlobalAttribute *attr);
void *KvAttrEntryMalloc(long n, long data_type);
