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

/* ---- Reader ---------------------------------------------------------------- */

/* Reads io_f_path + io_f_name + io_f_extn (and its detached header when the
 * options say so) into an empty data set.  Status 0 or a code of KvErrStr;
 * on failure the data set holds what was read, for the caller to free.  One
 * read at a time per process: the line layer is process-wide. */
int KvGetCSDSgenFlat(KvCDFContents *contents, KvOptions *options);

/* Type code of a VALUE_TYPE text (case-sensitive prefixes); *size gets the
 * bytes of one element in memory.  Unknown names are CDF_DOUBLE of 8. */
long KvDataType(const char *text, long *size);
/* The delimiter-separated items of a text (empty items skipped, stops at an
 * item beginning '!', at most 1000); KvParseQuotedEntry keeps delimiters and
 * '!' inside double quotes. */
long KvParseEntry(char delim, const char *text, char ***items);
long KvParseQuotedEntry(char delim, const char *text, char ***items);
void KvFreeItems(char **items, long n);
/* Upper-case copy in a shared buffer that the next call overwrites. */
char *KvToUpper(const char *text);
/* Marks every variable but `name` and the time variable ignored. */
int KvSetVarToGet(KvCDFContents *contents, KvRecord_format *format, const char *name);

/* ---- Free-format times ------------------------------------------------------ */

typedef enum KvSTimeFormat_e : int { NOT_A_TIME = 0, ISO = 1, FREE_TIME_FORMAT = 2 } KvSTimeFormat_e;
typedef enum KvSFTAllRecordsFlag_e : int { No_all_records_time = 0, All_records_time_found = 1 } KvSFTAllRecordsFlag_e;
typedef enum KvSFTdatestrings_e : int { YYYY_FTe = 0, YY_FTe, DOY_FTe, MON_FTe, MO_FTe, DD_FTe } KvSFTdatestrings_e;
typedef enum KvSFTtimestrings_e : int {
    H_FTe = 0, MI_FTe, S_FTe, MC_FTe, d_FTe, h_FTe, m_FTe, s_FTe, c_FTe
} KvSFTtimestrings_e;

/* Where each date and time item sits in a picture (character positions,
 * which are also positions in the time text). */
typedef struct KvSFTParser {
    int32_t n_found_date;
    int32_t found_date[6];
    int32_t date_start_in_FT[6];
    int32_t date_width_in_FT[6];
    int32_t n_found_time;
    int32_t found_time[9];
    int32_t time_start_in_FT[9];
    int32_t time_width_in_FT[9];
} KvFTParser;

typedef struct KvSFTpacket {
    KvSTimeFormat_e timeformat;
    KvSFTAllRecordsFlag_e AllRecordsFlag;
    char AllRecordsFormatString[256];
    char AllRecordsTimeString[256];
    char FreeTimeFormatString[256];
    cdf_epoch epoch;
    KvFTParser ft_parser_s;
    double time2msecs_factors_adjusted[9];
} KvFTpacket;

extern const long kve_days_in_month[2][13];

/* Statuses 0, 159..177 (176: a year of 0 written without a '0'; 177: a
 * two-digit year and no YY_OFFSET). */
int KvFTinit_parsers(KvCDFContents *contents, KvRecord_format *format);
int KvParseFreeTimeFormatString_date(const char *picture, KvFTParser *parser);
int KvParseFreeTimeFormatString_time(const char *picture, KvFTParser *parser);
int KvFTCpyCalcmsecsFactors(const KvFTParser *parser, double *factors);
int KvFTCatTime_All(char *text, const char *append);
int KvFTtoEPOCH(KvFTpacket *packet, const char *text);
int KvFTGetDate(const KvFTParser *parser, const char *text, long *year, long *month, long *day);
int KvFTGetMsecs(const KvFTpacket *packet, const char *text, double *msecs);
int KvYearDoyToDate(long year, long doy, long *month, long *day);
double KvFTComputeEpoch(long year, long month, long day, double msecs);
void make_uppercase(char *text);

/* ---- CEF structure check ------------------------------------------------------ */

/* Both give the number of variables; KvCEFvalidate reports through KvCEFmsg. */
int KvCheckCEFstructure(KvCDFContents *contents);
int KvCEFvalidate(KvCDFContents *contents);
int KvAttrCmp(const char *name, const char *upper);
long KvGetVarByName(const KvCDFContents *contents, const char *name);
int KvLooksLikeVector(const char *name);
