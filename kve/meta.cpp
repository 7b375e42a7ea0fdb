// The exchange data set and options: constructors, deep destructors, the
// string helper and the packing of variables without data.
#include "kve_int.h"

#include <cstdlib>
#include <cstring>

char STR_NULL[1] = {'\0'};

namespace {

template <typename T>
T *Calloc(long n)
{
    return static_cast<T *>(std::calloc(n > 0 ? static_cast<size_t>(n) : 1, sizeof(T)));
}

void FreeName(char *name)
{
    if (name != nullptr && name != STR_NULL)
        std::free(name);
}

void FreeVariable(KvCDFVariable *v)
{
    if (v == nullptr)
        return;
    FreeName(v->name);
    std::free(v->dim_sizes);
    std::free(v->dim_varys);
    std::free(v->data);
    if (v->attribute != nullptr) {
        for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
            FreeName(v->attribute[a].name);
            std::free(v->attribute[a].data);
        }
        std::free(v->attribute);
    }
    std::free(v);
}

}  // namespace

void KvFreeGlobalAttribute(KvGlobalAttribute *g)
{
    if (g == nullptr)
        return;
    FreeName(g->name);
    if (g->entry != nullptr) {
        for (long e = 0; e < g->num_entries; ++e)
            std::free(g->entry[e].data);
        std::free(g->entry);
    }
    std::free(g);
}

KvCDFContents *KvMakeCDFContentsObj()
{
    auto *c = Calloc<KvCDFContents>(1);
    c->time_var_num = -1;
    c->io_f_name = STR_NULL;
    c->io_f_path = STR_NULL;
    c->io_f_extn = STR_NULL;
    return c;
}

KvCDFVariable **KvMakeKvVariablePtrs(long n) { return Calloc<KvCDFVariable *>(n); }

KvGlobalAttribute **KvMakeKvGAttrPtrs(long n) { return Calloc<KvGlobalAttribute *>(n); }

KvCDFVariable *KvMakeKvVariable()
{
    auto *v = Calloc<KvCDFVariable>(1);
    v->novary_opt = WRITE_ONCE;
    v->sizeofentry = 8;
    v->name = STR_NULL;
    v->max_rec_num = -1;
    v->dim_sizes = Calloc<long>(KV_MAX_DIMS);
    v->dim_varys = Calloc<long>(KV_MAX_DIMS);
    v->num_elems = 1;
    v->attribute = KvMakeKvVAttr(KV_VATTR_ASKED);
    return v;
}

KvVarAttribute *KvMakeKvVAttr(long n)
{
    auto *a = Calloc<KvVarAttribute>(n + 11);
    for (long i = 0; i < n + 11; ++i) {
        a[i].name = STR_NULL;
        a[i].num_elems = 1;
    }
    return a;
}

KvGlobalAttribute *KvMakeKvGAttr()
{
    auto *g = Calloc<KvGlobalAttribute>(1);
    g->name = STR_NULL;
    return g;
}

KvGAttrEntry *KvMakeEntries(long n) { return Calloc<KvGAttrEntry>(n); }

KvOptions *KvMakeOptionsObj()
{
    auto *o = Calloc<KvOptions>(1);
    o->header = ATTACHED;
    o->f_type = UNSET;
    o->rec_numbering = NUM_OFF;
    o->priority = REPLACE;
    o->object_type = TS;
    o->attr_delim = ',';
    o->data_delim = ' ';
    o->rec_end = '\n';
    o->row_end = '\t';
    o->type_guess = DELIMITED;
    o->fp_null = std::fopen("/dev/null", "w");
    o->fp_display = o->fp_null;
    o->debug_choice = 'f';
    o->sample_H_interval = -1.0;
    o->start_after = STR_NULL;
    o->time_sep_attr = ' ';
    o->time_sep_data = ' ';
    o->header_path = STR_NULL;
    o->header_name = STR_NULL;
    o->get_only = STR_NULL;
    std::strcpy(o->EXTN_CDF, ".cdf");
    std::strcpy(o->EXTN_QFT, ".qft");
    std::strcpy(o->EXTN_QFD, ".qfd");
    std::strcpy(o->EXTN_QHD, ".qfh");
    std::strcpy(o->EXTN_CEF, ".cef");
    o->data_until = STR_NULL;
    o->Nstart = -1;
    o->Nend = -1;
    return o;
}

KvRecord_format *KvMakeFmtObj()
{
    auto *f = Calloc<KvRecord_format>(1);
    f->title = STR_NULL;
    return f;
}

KvCDFContents *KvFreeCDFContentsObj(KvCDFContents *c)
{
    if (c == nullptr)
        return nullptr;
    FreeName(c->io_f_name);
    FreeName(c->io_f_path);
    if (c->vardata != nullptr) {
        for (long i = 0; i < c->n_vars; ++i)
            FreeVariable(c->vardata[i]);
        std::free(c->vardata);
    }
    if (c->g_attr != nullptr) {
        for (long i = 0; i < c->num_g_attrs; ++i)
            KvFreeGlobalAttribute(c->g_attr[i]);
        std::free(c->g_attr);
    }
    std::free(c);
    return nullptr;
}

KvRecord_format *KvFreeFormatSpace(KvRecord_format *f)
{
    if (f == nullptr)
        return nullptr;
    FreeName(f->title);
    std::free(f->col_start);
    std::free(f->col_width);
    std::free(f->n_items);
    std::free(f->ignore);
    std::free(f->ftpackets);
    std::free(f);
    return nullptr;
}

KvOptions *KvFreeOptionsObj(KvOptions *o)
{
    if (o == nullptr)
        return nullptr;
    if (o->fp_null != nullptr)
        std::fclose(o->fp_null);
    FreeName(o->start_after);
    FreeName(o->header_path);
    FreeName(o->header_name);
    FreeName(o->get_only);
    FreeName(o->data_until);
    std::free(o);
    return nullptr;
}

char *KvNewStr(const char *text)
{
    if (text == nullptr)
        return nullptr;
    char *copy = strdup(text);
    return copy != nullptr ? copy : STR_NULL;
}

int KvVarSafe(const KvCDFContents *c, long index)
{
    return c != nullptr && c->vardata != nullptr && index >= 0 && index < c->n_vars && c->vardata[index] != nullptr &&
                   c->vardata[index]->data != nullptr
               ? 1
               : 0;
}

KvCDFContents *KvMakeSafe(KvCDFContents *c)
{
    if (c == nullptr || c->vardata == nullptr)
        return nullptr;
    long kept = 0;
    long timeVar = -1;
    for (long i = 0; i < c->n_vars; ++i) {
        if (KvVarSafe(c, i)) {
            if (i == c->time_var_num)
                timeVar = kept;
            c->vardata[kept++] = c->vardata[i];
        } else {
            FreeVariable(c->vardata[i]);
        }
    }
    for (long i = kept; i < c->n_vars; ++i)
        c->vardata[i] = nullptr;
    c->n_vars = kept;
    c->time_var_num = timeVar;
    return kept > 0 ? c : nullptr;
}
