// The CEF 2 metadata check of a data set: which CEF attributes each
// variable has, which variables others refer to (DEPEND_i, LABEL_i,
// REPRESENTATION_i) and whether the references fit, then one remark
// through KvCEFmsg for everything a variable lacks.
#include "kve_flat.h"
#include "kve_int.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Upper(const char *text)
{
    std::string s = text != nullptr ? text : "";
    for (char &ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// The index of an indexed attribute name such as LABEL_3 counted by the
// first step: one digit 1 to 9 after the prefix, nothing after it.
bool OneDigitIndex(const std::string &upper, const char *prefix)
{
    const size_t n = std::strlen(prefix);
    return upper.size() == n + 1 && upper.compare(0, n, prefix) == 0 && upper[n] >= '1' && upper[n] <= '9';
}

void Msg(const char *first, const char *name, const char *third) { KvCEFmsg(0, first, name, third); }

}  // namespace

int KvAttrCmp(const char *name, const char *upper) { return Upper(name) == (upper != nullptr ? upper : "") ? 1 : 0; }

long KvGetVarByName(const KvCDFContents *c, const char *name)
{
    if (c == nullptr || c->vardata == nullptr || name == nullptr)
        return -1;
    for (long i = 0; i < c->n_vars; ++i)
        if (c->vardata[i] != nullptr && c->vardata[i]->name != nullptr && std::strcmp(c->vardata[i]->name, name) == 0)
            return i;
    return -1;
}

int KvLooksLikeVector(const char *name)
{
    for (const char *key : {"xyz", "XYZ", "gse", "GSE", "rlp", "RLP", "rtp", "RTP"})
        if (name != nullptr && std::strstr(name, key) != nullptr)
            return 1;
    return 0;
}

int KvCheckCEFstructure(KvCDFContents *c)
{
    if (c == nullptr || c->vardata == nullptr)
        return 0;
    for (long i = 0; i < c->n_vars; ++i) {
        KvCDFVariable *v = c->vardata[i];
        if (v == nullptr)
            continue;
        for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
            const std::string n = Upper(v->attribute[a].name);
            v->hasUnits |= n == "UNITS";
            v->hasFrame |= n == "FRAME";
            v->hasSI_conversion |= n == "SI_CONVERSION";
            v->hasFieldnam |= n == "FIELDNAM";
            v->hasLablaxis |= n == "LABLAXIS";
            v->hasDepend_0 |= n == "DEPEND_0";
            v->hasDeltaPlus |= n == "DELTA_PLUS";
            v->hasDeltaMinus |= n == "DELTA_MINUS";
            v->hasTensorFrame |= n == "TENSOR_FRAME";
            v->hasTensorRank |= n == "TENSOR_RANK";
            v->numTensorRep_i += OneDigitIndex(n, "REPRESENTATION_") ? 1 : 0;
            v->numDepend_i += OneDigitIndex(n, "DEPEND_") ? 1 : 0;
            v->numLabel_i += OneDigitIndex(n, "LABEL_") ? 1 : 0;
        }
    }
    for (long i = 0; i < c->n_vars; ++i) {
        KvCDFVariable *v = c->vardata[i];
        if (v == nullptr)
            continue;
        for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
            const KvVarAttribute &attr = v->attribute[a];
            if (attr.data_type != CDF_CHAR && attr.data_type != CDF_UCHAR)
                continue;
            if (attr.data == nullptr) {
                std::printf("KVE Warning: attribute %s for variable %s is NULL", attr.name, v->name);
                continue;
            }
            const long w = KvGetVarByName(c, static_cast<const char *>(attr.data));
            if (w < 0)
                continue;
            KvCDFVariable *target = c->vardata[w];
            target->isPtrType = 1;
            const std::string n = Upper(attr.name);
            const char *prefix = nullptr;
            int *flag = nullptr;
            int *err = nullptr;
            if (n.find("DEPEND_0") != std::string::npos) {
            } else if (const size_t at = n.find("LABEL_"); at != std::string::npos) {
                prefix = "LABEL_";
                flag = &target->isLabel_i;
                err = &target->ErrLabel_i;
            } else if (n.find("DEPEND_") != std::string::npos) {
                prefix = "DEPEND_";
                flag = &target->isDepend_i;
                err = &target->ErrDepend_i;
            } else if (n.find("REPRESENTATION_") != std::string::npos) {
                prefix = "REPRESENTATION_";
                flag = &target->isTensorRep_i;
                err = &target->ErrTensorRep_i;
            }
            if (prefix == nullptr)
                continue;
            *flag = 1;
            const long index = std::strtol(n.c_str() + n.find(prefix) + std::strlen(prefix), nullptr, 10);
            // An index outside 1..the referring variable's dimensions cannot fit.
            const bool fits = index >= 1 && index <= v->num_dims && index <= KV_MAX_DIMS && target->num_dims == 1 &&
                              v->dim_sizes[index - 1] == target->dim_sizes[0];
            if (!fits)
                *err = 1;
        }
    }
    return static_cast<int>(c->n_vars);
}

int KvCEFvalidate(KvCDFContents *c)
{
    if (c == nullptr || c->vardata == nullptr)
        return 0;
    const bool hasTime = c->time_var_num != -1;
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        if (v == nullptr)
            continue;
        const char *name = v->name;
        auto basics = [&] {
            if (!v->hasFieldnam)
                Msg("variable ", name, "Requires FIELDNAM attribute");
            if (!v->hasLablaxis)
                Msg("variable ", name, "Requires LABLAXIS attribute");
        };
        if (!v->isPtrType) {
            basics();
            if (i != c->time_var_num) {
                if (!v->hasDepend_0 && hasTime && !v->isDepend_i)
                    Msg("variable ", name, "Requires DEPEND_0 attribute");
                if (!v->hasUnits)
                    Msg("variable ", name, "Requires UNITS attribute");
                if (!v->hasSI_conversion)
                    Msg("variable ", name, "Requires SI_CONVERSION attribute");
                if (KvLooksLikeVector(name)) {
                    if (!v->hasFrame)
                        Msg("If variable ", name, "is a vector or Tensor it requires a FRAME attribute");
                    if (!v->hasTensorFrame)
                        Msg("If variable ", name, "is a vector or Tensor it requires a TENSOR_FRAME attribute");
                    if (v->numTensorRep_i != v->num_dims)
                        Msg("If variable ", name,
                            "is a vector or Tensor it requires a tensor REPRESENTATION_i attribute for each index");
                    if (!v->hasTensorRank)
                        Msg("If variable ", name, "is a vector or Tensor it requires a TENSOR RANK attribute");
                }
            }
            if (v->num_dims > 0 && v->numLabel_i + v->numDepend_i != v->num_dims) {
                Msg("Variable ", name, "needs EITHER DEPEND_i or LABEL_i for every index");
                KvCEFmsg(-1, name, "has", KvFormat("%ld indices\n but", v->num_dims).c_str());
                KvCEFmsg(-1, name, "has only", KvFormat("%d LABEL_i attributes\n and", v->numLabel_i).c_str());
                KvCEFmsg(-1, name, "has only", KvFormat("%d DEPEND_i attributes", v->numDepend_i).c_str());
            }
        }
        if (v->isDepend_i) {
            if (v->rec_vary != 0 && !v->hasDepend_0 && hasTime)
                Msg("variable ", name, "is a record varying DEPEND_i and requires DEPEND_0 attribute");
            if (!v->hasDeltaPlus)
                Msg("Variable ", name, "is a DEPEND_i variable and requires a DELTA_PLUS attribute");
            if (!v->hasDeltaMinus)
                Msg("Variable ", name, "is a DEPEND_i variable and requires a DELTA_MINUS attribute");
            basics();
            if (!v->hasUnits)
                Msg("variable ", name, "Requires UNITS attribute");
            if (!v->hasSI_conversion)
                Msg("variable ", name, "Requires SI_CONVERSION attribute");
        }
        if (v->ErrDepend_i)
            Msg("dimensions of variable ", name,
                "are not consistent with dimension of index i of a variable for which it is DEPEND_i");
        if (v->ErrLabel_i)
            Msg("dimensions of variable ", name,
                "are not consistent with dimension of index i of a variable for which it is LABEL_i");
        if (v->ErrTensorRep_i)
            Msg("dimensions of variable ", name,
                "are not consistent with dimension of index i of a variable for which it is REPRESENTATION_i");
    }
    return static_cast<int>(c->n_vars);
}
