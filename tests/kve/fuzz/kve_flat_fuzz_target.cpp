// Fuzz entry point of the flat and CEF reader.  The input is a file,
// optionally followed by the marker "--INCLUDE--" and a second file that
// the first may include as "inc.ceh"; both go into a scratch folder and
// are read with the header attached (falling back to a detached header
// when that fails), then the data set is checked against the CEF rules
// and its variables' data are walked within the sizes the data set gives.
// Built with libFuzzer under clang (see CMakeLists.txt here) and replayed
// over a generated corpus by the normal test build.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_scratch.h"
#include "kve_flat.h"
#include "kve_read_int.h"

namespace {

constexpr std::string_view kMarker = "--INCLUDE--";

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// Every byte of every variable's data within what its sizes promise.
void Walk(const KvCDFContents *c)
{
    Check(c->n_vars >= 0 && c->n_vars <= 100 && c->n_recs >= 0);
    volatile unsigned sum = 0;
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        Check(v != nullptr && v->num_v_attrs >= 0 && v->num_v_attrs <= KV_VATTR_SLOTS);
        Check(v->num_dims >= 0 && v->num_dims <= KV_MAX_DIMS);
        if (v->data == nullptr)
            continue;
        long values = 1;
        for (long d = 0; d < v->num_dims; ++d)
            values *= v->dim_sizes[d];
        const long records = v->rec_vary != 0 ? c->n_recs : 1;
        const long width = v->data_type == CDF_CHAR || v->data_type == CDF_UCHAR || v->data_type == ISO_TIME
                               ? v->num_elems
                               : v->sizeofentry;
        const auto *p = static_cast<const unsigned char *>(v->data);
        for (long b = 0; b < values * records * width; ++b)
            sum = sum + p[b];
        for (long a = 0; a < v->num_v_attrs; ++a)
            Check(v->attribute[a].data != nullptr && v->attribute[a].name != nullptr);
    }
    (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    kv_max_read_bytes = size_t{1} << 22;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find(kMarker);
    const std::string_view main = input.substr(0, split);
    const std::string dir = fuzz_scratch::Dir() + "/";
    if (!fuzz_scratch::Write(dir + "in.cef", main.data(), main.size()))
        return 0;
    const std::string_view inc = split == std::string_view::npos ? "" : input.substr(split + kMarker.size());
    if (!fuzz_scratch::Write(dir + "inc.ceh", inc.data(), inc.size()))
        return 0;

    KvCDFContents *c = KvMakeCDFContentsObj();
    KvOptions *o = KvMakeOptionsObj();
    c->io_f_path = KvNewStr(dir.c_str());
    c->io_f_name = KvNewStr("in");
    c->io_f_extn = o->EXTN_CEF;
    std::FILE *saved = stdout;
    stdout = o->fp_null;  // the reader's echoes
    KvGetCSDSgenFlat(c, o);
    KvCheckCEFstructure(c);
    KvCEFvalidate(c);
    stdout = saved;
    Walk(c);
    KvFreeCDFContentsObj(c);
    KvFreeOptionsObj(o);
    return 0;
}
