/* The ASCII layouts of the exchange library: the fixed-width table (.qft),
 * the delimited table (.qfd), CEF 1 and CEF 2 (.cef), with the header at the
 * top of the data file, in a detached .qfh file or nowhere; the writer and
 * (see below) the reader. */
#pragma once

#include "kve_meta.h"

#include <cstdio>

/* ---- Writer ---------------------------------------------------------------- */

/* Writes the data set in the layout of options->f_type.  Statuses: 0, 101,
 * 115, 130, 131, 153, 154; a failure removes the data file.  Changes the
 * options (f_type, time separators, row_end, header names) and the data set
 * (io_f_name when unset, io_f_extn, variables without data dropped, time
 * types converted). */
int KvWriteCSDSgenFlat(KvCDFContents *contents, KvOptions *options);
int WriteHeaderFlat(KvCDFContents *contents, FILE *header, KvOptions *options);
int KvWriteVarObjects(KvCDFContents *contents, long index, KvOptions *options, KvRecord_format *format, FILE *fp);
int KvAttrs_to_Text(KvCDFContents *contents, long index, FILE *fp, KvOptions *options);
int KvWriteRecsTabular(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, FILE *fp);
int KvWriteRecsParsed(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, FILE *fp);
int KvWriteRecsExchange(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, FILE *fp);
int KvWriteRecsCAA(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, FILE *fp);
int KvWriteGlobalFlat(KvCDFContents *contents, KvOptions *options, long index, FILE *fp);
int KvWriteEntry(KvGAttrEntry *entry, KvOptions *options, FILE *fp);
int KvWriteVarData(FILE *fp, KvCDFVariable **vars, long index, long n_items, long record, int first,
                   KvOptions *options, char delim);
int KvWriteVarDataNRV(FILE *fp, KvCDFVariable **vars, long index, long n_items, long record, int first,
                      KvOptions *options, char delim);
int KvWriteVarBlocked(FILE *fp, KvCDFVariable **vars, long index, long k, long n_items, long record,
                      KvOptions *options, char delim);
int KvWriteDataValue(FILE *fp, KvCDFVariable **vars, long index, long position, long n_items, long record,
                     KvOptions *options);
int KvPutDelim(FILE *fp, char delim);
char KvGetDelim(const char *text);
