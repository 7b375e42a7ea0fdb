// Seed inputs of the exchange library's fuzz targets: see kve_corpus.h.
// The files of our writers are written into a scratch folder and read
// back; nothing binary is kept in the source tree.
#include "kve_corpus.h"

#include "cdf_forms.h"
#include "kve_cdf.h"
#include "kve_flat.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

KvCDFVariable *Variable(const char *name, long type, long size, long dim, const void *values, long records)
{
    KvCDFVariable *v = KvMakeKvVariable();
    v->name = KvNewStr(name);
    v->data_type = type;
    v->sizeofentry = size;
    v->rec_vary = -1;
    v->novary_opt = EVERY_RECORD;
    v->max_rec_num = records - 1;
    v->num_dims = dim > 1 ? 1 : 0;
    v->dim_sizes[0] = dim;
    v->dim_varys[0] = -1;
    const size_t bytes = static_cast<size_t>(size * dim * records);
    v->data = std::malloc(bytes);
    std::memcpy(v->data, values, bytes);
    KvVarAttribute &a = v->attribute[v->num_v_attrs];
    a.number = v->num_v_attrs++;
    a.name = KvNewStr("UNITS");
    a.data_type = CDF_CHAR;
    a.data = KvNewStr("nT");
    return v;
}

// A small data set of times, a 3-vector, a short and a text (a line end,
// quotes, a mark that skips lines: written quoted and escaped) in a folder.
KvCDFContents *Sample(const std::string &dir)
{
    const double t[] = {63269805600000.0, 63269805604000.0};
    const float b[] = {1.5f, -2.0f, 3.25f, 4, 5, 6};
    const int16_t n[] = {-7, 300};
    const char notes[] = "a\nb \"q\"\\\0\0&co = 1 \0\0";  // two texts of 10 characters
    KvCDFContents *c = KvMakeCDFContentsObj();
    c->n_vars = 4;
    c->n_recs = 2;
    c->vardata = KvMakeKvVariablePtrs(4);
    c->vardata[0] = Variable("time", CDF_EPOCH, 8, 1, t, 2);
    c->vardata[1] = Variable("B_xyz", CDF_FLOAT, 4, 3, b, 2);
    c->vardata[2] = Variable("count", CDF_INT2, 2, 1, n, 2);
    c->vardata[3] = Variable("note", CDF_CHAR, 1, 1, notes, 2 * 10);
    c->vardata[3]->num_elems = 10;
    c->vardata[3]->max_rec_num = 1;
    for (long i = 0; i < 4; ++i)
        c->vardata[i]->number = i;
    c->time_var_num = 0;
    c->io_f_path = KvNewStr((dir + "/").c_str());
    c->io_f_name = KvNewStr("seed");
    KvCreateGlobalTxtAttr(c, "TITLE", "seed");
    return c;
}

std::string Scratch()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kve-corpus-XXXXXX";
    return ::mkdtemp(dir.data()) != nullptr ? dir : std::string();
}

const char *const kCeh =
    "START_VARIABLE = time_tags\n  VALUE_TYPE = ISO_TIME\n  UNITS = \"s\"\nEND_VARIABLE = time_tags\n"
    "START_VARIABLE = B\n  SIZES = 3\n  VALUE_TYPE = FLOAT\n  FILLVAL = -1.0E31\n"
    "  LABLAXIS = \"B, total!\", \\\n    \"second\"\n  DEPEND_0 = time_tags\n  LABEL_1 = B\nEND_VARIABLE = B\n"
    "START_VARIABLE = note\n  VALUE_TYPE = CHAR\nEND_VARIABLE = note\n";

const char *const kCef =
    "!@.cef2@seed\nFILE_FORMAT_VERSION = \"CEF-2.0\"\nEND_OF_RECORD_MARKER = \"$\"\ninclude = \"inc.ceh\"\n"
    "START_META = LOGICAL_FILE_ID\n   ENTRY = \"CLUSTER-1_HALDE_TEST\"\nEND_META = LOGICAL_FILE_ID\n"
    "DATA_UNTIL = EOF\n"
    "2004-12-09T10:00:00.000Z, 1.5, -2, 3.5 , \"a, b! c\"$\n! comment\n"
    "2004-12-09T10:00:04.000Z,\n   4, 5, 6, \"two\"$\n"
    "2004-12-09T10:00:08.000Z, 7, 8, 9, \"last\"$";

}  // namespace

std::vector<std::string> KveFlatSeedCorpus()
{
    std::vector<std::string> seeds;
    const std::string dir = Scratch();
    if (!dir.empty()) {
        for (const KvSOptions_f_type type : {TABULAR, DELIMITED, EXCHANGE, CAA}) {
            for (const KvSOptions_rec_num numbering : {NUM_OFF, NUM_ON}) {
                KvCDFContents *c = Sample(dir);
                KvOptions *o = KvMakeOptionsObj();
                o->f_type = type;
                o->rec_numbering = numbering;
                if (type == CAA)
                    o->data_delim = ',';
                if (KvWriteCSDSgenFlat(c, o) == 0)
                    seeds.push_back(Slurp(dir + "/seed" + c->io_f_extn));
                KvFreeCDFContentsObj(c);
                KvFreeOptionsObj(o);
            }
        }
        std::filesystem::remove_all(dir);
    }
    seeds.push_back(std::string(kCef) + "--INCLUDE--" + kCeh);
    seeds.push_back("!@.cef2@x\nINCLUDE = inc.ceh\nINCLUDE = inc.ceh\n--INCLUDE--INCLUDE = inc.ceh\n"
                    "START_VARIABLE = x\nEND_VARIABLE = x\n");
    seeds.push_back("File_type = t\nRecord_numbering = on\nSTART_VARIABLE = t\nVALUE_TYPE = EPOCH\nCOLUMN_START = 11\n"
                    "COLUMN_WIDTH = 30\nEND_VARIABLE = t\nSTART_VARIABLE = c\nVALUE_TYPE = CHAR\nSIZES = 2\n"
                    "COLUMN_START = 41\nCOLUMN_WIDTH = 4\nEND_VARIABLE = c\nStart_data = 2\n"
                    "0          2004-12-09 10:00:00.000       abc def \n1          x\n");
    seeds.push_back("File_type = d\nData_delimiter = ,\nYY_OFFSET = 1900\nYEAR_INCREASING = yes\n"
                    "START_VARIABLE = t\nVALUE_TYPE = EPOCH\nTIME_FORMAT = FREE_TIME_FORMAT\n"
                    "TIME_FORMAT_STRING = YY Doy HH:MI:SS.sss\nEND_VARIABLE = t\nSTART_VARIABLE = v\nSIZES = 2,2\n"
                    "VALUE_TYPE = SHORT\nDATA = 1,2,3,4\nEND_VARIABLE = v\nStart_data = 3\n"
                    "99 365 23:59:59.999\n00 001 00:00:00.000\n& = 1\n01 366 00:00:00.000\n");
    seeds.push_back("START_META = M\nG_ATTR_DATA_TYPE = INT\nENTRY = 1,2,3\nVALUE_TYPE = EPOCH\n"
                    "ENTRY = 2004-12-09T00:00:00Z\nEND_META = N\nCOMMENT_MARKER = #\n# x\nSTART_AFTER = here\n"
                    "START_VARIABLE = a\nMAXSTRLEN = 3\nVALUE_TYPE = CHAR\nIGNORE_ON_READ = y\nEND_VARIABLE = a\n"
                    "START_VARIABLE = b\nEND_VARIABLE = b\nStart_data = 2\nhere\nabcdef 1\nx 2\n");
    return seeds;
}

std::vector<std::string> KveTimeSeedCorpus()
{
    return {"\1YYYY Doy HH:MI:SS.sss\n2004 344 10:11:12.250",
            "\0HH:MI:SS YYYY-MO-DD\n10:11:12 2004-12-09",
            std::string("\0DD-MON-YYYY\n04-Jly-1999", 24),
            "\3YY-MO-DD hh.hhh\n99-02-29 12.500",
            "\1YY Doy ddd mmm ccc\n04 366 999 123 456",
            "\0YYYY-MO-DD MCC\n2004-04-31 999",
            "\2YYYY Doy DD\n0000 000 00"};
}

std::vector<std::string> KveCdfSeedCorpus()
{
    std::vector<std::string> seeds;
    const std::string dir = Scratch();
    if (dir.empty())
        return seeds;
    KvCDFContents *c = Sample(dir);
    KvOptions *o = KvMakeOptionsObj();
    if (KvWriteCSDSgenCDF(c, o) == 0) {
        const std::string cdf = Slurp(dir + "/seed.cdf");
        seeds.push_back(cdf);
        // Cut copies, and copies with one header word turned to 0xFF.
        for (size_t cut : {size_t{8}, size_t{320}, cdf.size() / 2, cdf.size() - 1})
            seeds.push_back(cdf.substr(0, std::min(cut, cdf.size())));
        for (size_t at = 8; at + 4 <= cdf.size() && at < 1200; at += 44) {
            std::string spoiled = cdf;
            spoiled.replace(at, 4, "\xff\xff\xff\xff");
            seeds.push_back(spoiled);
        }
        // Counts far beyond the file: a global entry numbered 2^26 (a fuzzing
        // find that made the reader take 2 GB) and near 2^31, a variable of
        // about 2^31 virtual records.
        for (const uint32_t number : {0x04000000u, 0x7FFFFFFEu}) {
            std::string far = cdf;
            cdf_forms::Put(far, cdf_forms::Entries(far, cdf_forms::Adrs(far).at(0)).at(0) + 28, 4, number);
            seeds.push_back(far);
        }
        std::string virtualRecords = cdf;
        cdf_forms::Put(virtualRecords, cdf_forms::Vdrs(cdf).at(1) + 24, 4, 0x7FFFFFF0);
        seeds.push_back(virtualRecords);
        // Its variables, and the whole file, compressed as the CDF library
        // compresses them.
        for (const int32_t method : {cdf_forms::kGzip, cdf_forms::kRle, cdf_forms::kHuff}) {
            seeds.push_back(cdf_forms::CompressVariables(cdf, method));
            seeds.push_back(cdf_forms::CompressFile(cdf, method));
        }
    }
    KvFreeCDFContentsObj(c);
    KvFreeOptionsObj(o);
    std::filesystem::remove_all(dir);
    return seeds;
}
