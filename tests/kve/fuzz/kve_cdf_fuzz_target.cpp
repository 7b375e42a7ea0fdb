// Fuzz entry point of the CDF reader: the input is written as a CDF file
// into a scratch folder and read whole into a data set through our CDF
// module, whose limits of one variable and one file are lowered; every read
// byte of the data set is walked within the sizes it gives.  Built with libFuzzer under clang (see
// CMakeLists.txt here) and replayed over a generated corpus by the normal
// test build.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_scratch.h"
#include "kcdf.h"
#include "kve_cdf.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

long ElementBytes(long type)
{
    switch (type) {
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: case CDF_CHAR: case CDF_UCHAR: return 1;
    case CDF_INT2: case CDF_UINT2: return 2;
    case CDF_INT4: case CDF_UINT4: case CDF_REAL4: case CDF_FLOAT: return 4;
    default: return 8;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    kcdf::max_value_bytes = size_t{1} << 22;
    kcdf::max_file_bytes = size_t{1} << 24;
    const std::string path = fuzz_scratch::Path("in.cdf");
    if (!fuzz_scratch::Write(path, data, size))
        return 0;
    KvCDFContents *c = KvMakeCDFContentsObj();
    std::FILE *saved = stderr;
    std::FILE *sink = std::fopen("/dev/null", "w");
    if (sink != nullptr)
        stderr = sink;
    const int status = KvGetCSDSgenCDF(path.c_str(), c);
    stderr = saved;
    if (sink != nullptr)
        std::fclose(sink);
    volatile unsigned sum = 0;
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        Check(v != nullptr || status != 0);
        if (v == nullptr || v->data == nullptr)
            continue;
        long values = 1;
        for (long d = 0; d < v->num_dims; ++d)
            values *= v->dim_sizes[d];
        const long bytes = values * (v->max_rec_num + 1) * v->num_elems * ElementBytes(v->data_type);
        for (long b = 0; b < bytes; ++b)
            sum = sum + static_cast<const unsigned char *>(v->data)[b];
        for (long a = 0; a < v->num_v_attrs; ++a) {
            const KvVarAttribute &attr = v->attribute[a];
            Check(attr.data != nullptr);
            const long n = attr.data_type == CDF_CHAR || attr.data_type == CDF_UCHAR
                               ? 1
                               : attr.num_elems * ElementBytes(attr.data_type);
            for (long b = 0; b < n; ++b)
                sum = sum + static_cast<const unsigned char *>(attr.data)[b];
        }
    }
    for (long g = 0; g < c->num_g_attrs; ++g)
        for (long e = 0; e < c->g_attr[g]->num_entries; ++e)
            Check(c->g_attr[g]->entry[e].exists == 0 || c->g_attr[g]->entry[e].data != nullptr);
    (void)sum;
    KvFreeCDFContentsObj(c);
    return 0;
}
