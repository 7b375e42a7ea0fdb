// Small data sets for the writer tests, built through the library's own
// constructors.
#pragma once

#include "kve_meta.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace kve_test {

// A variable of records x values-per-record values (copied), varying by
// record, EVERY_RECORD, with the given dimensions.
template <typename T>
KvCDFVariable *Var(const char *name, long type, std::initializer_list<long> dims, const std::vector<T> &values,
                   long records)
{
    KvCDFVariable *v = KvMakeKvVariable();
    v->name = KvNewStr(name);
    v->data_type = type;
    v->sizeofentry = static_cast<long>(sizeof(T));
    v->rec_vary = -1;
    v->novary_opt = EVERY_RECORD;
    v->max_rec_num = records - 1;
    v->num_dims = static_cast<long>(dims.size());
    long d = 0;
    for (long size : dims) {
        v->dim_sizes[d] = size;
        v->dim_varys[d++] = -1;
    }
    v->data = std::malloc(values.size() * sizeof(T) + 1);
    if (!values.empty())
        std::memcpy(v->data, values.data(), values.size() * sizeof(T));
    return v;
}

inline void TextAttr(KvCDFVariable *v, const char *name, const char *text)
{
    KvVarAttribute &a = v->attribute[v->num_v_attrs];
    a.number = v->num_v_attrs++;
    a.name = KvNewStr(name);
    a.data_type = CDF_CHAR;
    a.num_elems = 1;
    a.data = KvNewStr(text);
}

inline void FloatAttr(KvCDFVariable *v, const char *name, float value)
{
    KvVarAttribute &a = v->attribute[v->num_v_attrs];
    a.number = v->num_v_attrs++;
    a.name = KvNewStr(name);
    a.data_type = CDF_FLOAT;
    a.num_elems = 1;
    a.data = std::malloc(sizeof value);
    std::memcpy(a.data, &value, sizeof value);
}

// A data set of the given variables (the first is the time variable when
// it is an EPOCH), records, stem and folder.
inline KvCDFContents *DataSet(std::initializer_list<KvCDFVariable *> vars, long records, const std::string &dir,
                              const char *stem)
{
    KvCDFContents *c = KvMakeCDFContentsObj();
    c->n_vars = static_cast<long>(vars.size());
    c->n_recs = records;
    c->vardata = KvMakeKvVariablePtrs(c->n_vars);
    long i = 0;
    for (KvCDFVariable *v : vars) {
        v->number = i;
        c->vardata[i++] = v;
    }
    if (c->vardata[0]->data_type == CDF_EPOCH)
        c->time_var_num = 0;
    c->io_f_path = KvNewStr((dir + "/").c_str());
    c->io_f_name = KvNewStr(stem);
    return c;
}

}  // namespace kve_test
