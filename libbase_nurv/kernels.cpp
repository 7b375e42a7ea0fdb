// Operation kernels of the unit conversion: ten element operations that
// combine a float array with one conversion table applied to an input
// array, five buffer combinations of two float arrays, and thirty built-in
// functions applied to a float array in place.
//
// Every table value read lies inside the table's storage (ir_table_bounds);
// a look-up outside it, or in a sweep-step section that does not exist,
// gives the missing value.  The integer steps (and, or, shifts, modulo) take
// the missing value for arguments without an integer value (missing values,
// infinities, NaN, magnitudes beyond the integer range) and for modulo 0.
#include "nurv_int.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

ir_table_extent ir_table_bounds;

namespace {

constexpr KOMBRA_FLOAT kMissing = IR_MISSING_VALUE;
constexpr double kRound = 0.05;
constexpr double kDegrees = 0.017453292519943;

// Truncation of a double toward zero when the result fits T.
template <typename T>
std::optional<T> Truncated(double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    const double t = std::trunc(x);
    // 2^63 and the 32-bit limits are exact doubles.
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double hi = -lo;  // one past the largest value
    if (t < lo || t >= hi)
        return std::nullopt;
    return static_cast<T>(t);
}

// The table a kernel reads: its own storage and, with sections, their
// count and length.
struct TableView {
    const KOMBRA_FLOAT *tbl;
    const KOMBRA_FLOAT *first;
    const KOMBRA_FLOAT *end;
    long long size;      // values per section (or of the table)
    bool sectioned;
    long long sections;

    bool Holds(const KOMBRA_FLOAT *from, long long count) const
    {
        return tbl != nullptr && count >= 0 && from >= first && from <= end && count <= end - from;
    }
    // The look-up value of index i (section s when sectioned).
    KOMBRA_FLOAT At(long long i, long long s) const
    {
        if (sectioned) {
            if (s < 0 || s >= sections || i < 0 || i >= size)
                return kMissing;
            const KOMBRA_FLOAT *p = tbl + s * size + i;
            return Holds(p, 1) ? *p : kMissing;
        }
        if (i < first - tbl || i >= end - tbl)
            return kMissing;
        return tbl[i];
    }
    // The polynomial of section s at x.
    KOMBRA_FLOAT Poly(KOMBRA_FLOAT x, long long s) const
    {
        const KOMBRA_FLOAT *c = tbl;
        if (sectioned) {
            if (s < 0 || s >= sections)
                return kMissing;
            c = tbl + s * size;
        }
        if (!Holds(c, size))
            return kMissing;
        return ir_poly_expand(x, c, static_cast<KOMBRA_LONG>(size));
    }
};

TableView ViewOf(const KOMBRA_FLOAT *tbl, KOMBRA_LONG tbl_sz, int8_t tbl_type, KOMBRA_SHORT swp_len)
{
    TableView v{tbl, tbl, tbl, tbl_sz > 0 ? tbl_sz : 0, tbl_type != 0, tbl_type != 0 ? (swp_len > 0 ? swp_len : 0) : 1};
    if (tbl == nullptr)
        return v;
    if (ir_table_bounds.first != nullptr) {
        v.first = ir_table_bounds.first;
        v.end = ir_table_bounds.end;
    } else {
        v.end = tbl + v.size * v.sections;
    }
    return v;
}

// The input word of one element as a look-up index: unsigned (type 0) or
// sign-extended (type 1); none for the other types.
std::optional<long long> LookUpIndex(KOMBRA_LONG w, int8_t dtype, int8_t tdw_len)
{
    if (dtype == 0)
        return static_cast<long long>(static_cast<KOMBRA_ULONG>(w));
    if (dtype == 1) {
        const auto v = Truncated<int32_t>(ir_to_sign(w, tdw_len));
        return v ? std::optional<long long>(*v) : std::optional<long long>(-1LL << 40);
    }
    return std::nullopt;
}

// The polynomial argument of an input word.
KOMBRA_FLOAT Argument(KOMBRA_LONG w, int8_t dtype, int8_t fn_of_raw, int8_t tdw_len)
{
    if (!fn_of_raw) {
        KOMBRA_FLOAT f;
        std::memcpy(&f, &w, sizeof f);
        return f;
    }
    switch (dtype) {
    case 0: return static_cast<KOMBRA_FLOAT>(static_cast<KOMBRA_ULONG>(w));
    case 1: return ir_to_sign(w, tdw_len);
    default: return ir_intfp2fp(static_cast<KOMBRA_ULONG>(w), dtype);
    }
}

// The walk shared by the element operations: each input word gives the
// table result of hold_val consecutive target elements (per element when
// the table has sweep-step sections), which combine folds into them.  The
// loop is chosen before the walk: look-ups by index range, constant
// polynomials once, other polynomials per input word.
template <typename Combine>
void Walk(KOMBRA_FLOAT *ret_data, const void *inp_data, KOMBRA_LONG inp_start, const KOMBRA_FLOAT *tbl,
          KOMBRA_LONG tbl_sz, KOMBRA_LONG num_data, int8_t look_up, int8_t dtype, KOMBRA_LONG hold_val,
          int8_t fn_of_raw, int8_t tdw_len, int8_t tbl_type, const KOMBRA_LONG *swp_data, KOMBRA_SHORT swp_len,
          Combine combine)
{
    if (ret_data == nullptr || inp_data == nullptr || num_data <= 0)
        return;
    if (look_up && dtype != 0 && dtype != 1)
        return;  // a look-up needs an integer input
    const TableView view = ViewOf(tbl, tbl_sz, tbl_type, swp_len);
    if (view.sectioned && swp_data == nullptr)
        return;
    const auto *words = static_cast<const unsigned char *>(inp_data) + sizeof(KOMBRA_LONG) * inp_start;
    const long long hold = hold_val > 0 ? hold_val : 1;
    // The input word of step i (the input may be a float array).
    auto word = [words](long long i) {
        KOMBRA_LONG w;
        std::memcpy(&w, words + sizeof w * i, sizeof w);
        return w;
    };
    // Runs of hold elements, each folding the result of its word.
    auto runs = [&](auto result) {
        for (long long k = 0, i = 0; k < num_data; ++i) {
            const long long run = std::min<long long>(hold, num_data - k);
            const KOMBRA_FLOAT r = result(word(i));
            for (long long j = 0; j < run; ++j)
                combine(ret_data[k + j], r);
            k += run;
        }
    };

    if (view.sectioned) {
        for (long long k = 0, i = 0; k < num_data; ++i) {
            const long long run = std::min<long long>(hold, num_data - k);
            const KOMBRA_LONG w = word(i);
            for (long long j = 0; j < run; ++j) {
                const long long s = swp_data[k + j];
                combine(ret_data[k + j], look_up ? view.At(*LookUpIndex(w, dtype, tdw_len), s)
                                                 : view.Poly(Argument(w, dtype, fn_of_raw, tdw_len), s));
            }
            k += run;
        }
        return;
    }
    if (look_up) {
        const long long lo = tbl != nullptr ? view.first - tbl : 0, hi = tbl != nullptr ? view.end - tbl : 0;
        if (dtype == 0)
            runs([&](KOMBRA_LONG w) {
                const long long i = static_cast<KOMBRA_ULONG>(w);
                return i >= lo && i < hi ? tbl[i] : kMissing;
            });
        else
            runs([&](KOMBRA_LONG w) {
                const long long i = *LookUpIndex(w, 1, tdw_len);
                return i >= lo && i < hi ? tbl[i] : kMissing;
            });
        return;
    }
    if (!view.Holds(tbl, view.size) || view.size <= 1) {
        // No usable coefficients, or a constant: one value for every element.
        const KOMBRA_FLOAT r = !view.Holds(tbl, view.size) ? kMissing : view.size == 1 ? tbl[0] : 0.0f;
        runs([r](KOMBRA_LONG) { return r; });
        return;
    }
    runs([&](KOMBRA_LONG w) {
        return ir_poly_expand(Argument(w, dtype, fn_of_raw, tdw_len), tbl, static_cast<KOMBRA_LONG>(view.size));
    });
}

// An integer step on o and r: the missing value when either has no integer
// value.
template <typename T, typename Step>
void IntegerStep(KOMBRA_FLOAT &o, KOMBRA_FLOAT r, Step step)
{
    const auto a = Truncated<T>(static_cast<double>(o) + kRound);
    const auto b = Truncated<T>(static_cast<double>(r) + kRound);
    o = a && b ? step(*a, *b) : kMissing;
}

KOMBRA_FLOAT Guarded(bool ok, double value)
{
    return ok ? ir_round_to_float(value) : kMissing;
}

// int(x) less 2^bits when bit (bits - 1) is set.
KOMBRA_FLOAT SignExtended(KOMBRA_FLOAT x, int bits)
{
    const auto v = Truncated<int32_t>(x);
    if (!v)
        return kMissing;
    const long long n = *v;
    return static_cast<KOMBRA_FLOAT>((n >> (bits - 1)) & 1 ? n - (1LL << bits) : n);
}

}  // namespace

#define IR_ELEMENT_OPERATION(name, body)                                                                       \
    void name(KOMBRA_FLOAT *ret_data, const void *inp_data, KOMBRA_LONG inp_start, const KOMBRA_FLOAT *tbl,  \
              KOMBRA_LONG tbl_sz, KOMBRA_LONG num_data, int8_t look_up, int8_t dtype, KOMBRA_LONG hold_val, \
              int8_t fn_of_raw, int8_t tdw_len, int8_t tbl_type, const KOMBRA_LONG *swp_data,                \
              KOMBRA_SHORT swp_len)                                                                          \
    {                                                                                                        \
        Walk(ret_data, inp_data, inp_start, tbl, tbl_sz, num_data, look_up, dtype, hold_val, fn_of_raw,      \
             tdw_len, tbl_type, swp_data, swp_len, [](KOMBRA_FLOAT &o, KOMBRA_FLOAT r) { body; });           \
    }

IR_ELEMENT_OPERATION(ir_nur_look_up, o = r)
IR_ELEMENT_OPERATION(ir_nur_add, o = o + r)
IR_ELEMENT_OPERATION(ir_nur_subtract, o = o - r)
IR_ELEMENT_OPERATION(ir_nur_multiply, o = o * r)
IR_ELEMENT_OPERATION(ir_nur_divide, o = o / r)
IR_ELEMENT_OPERATION(ir_nur_and,
                     IntegerStep<int32_t>(o, r, [](int32_t a, int32_t b) { return static_cast<KOMBRA_FLOAT>(a & b); }))
IR_ELEMENT_OPERATION(ir_nur_or,
                     IntegerStep<int32_t>(o, r, [](int32_t a, int32_t b) { return static_cast<KOMBRA_FLOAT>(a | b); }))
IR_ELEMENT_OPERATION(ir_nur_shiftr, IntegerStep<int64_t>(o, r, [](int64_t a, int64_t b) {
                         return static_cast<KOMBRA_FLOAT>(static_cast<uint32_t>(a) >> (static_cast<uint32_t>(b) % 32));
                     }))
IR_ELEMENT_OPERATION(ir_nur_shiftl, IntegerStep<int64_t>(o, r, [](int64_t a, int64_t b) {
                         return static_cast<KOMBRA_FLOAT>(
                             static_cast<uint32_t>(static_cast<uint32_t>(a) << (static_cast<uint32_t>(b) % 32)));
                     }))
IR_ELEMENT_OPERATION(ir_nur_mod, IntegerStep<int32_t>(o, r, [](int32_t a, int32_t b) {
                         if (b == 0)
                             return kMissing;
                         return static_cast<KOMBRA_FLOAT>(b == -1 ? 0 : a % b);
                     }))

#undef IR_ELEMENT_OPERATION

#define IR_COMBINATION(name, body)                                                                \
    void name(KOMBRA_FLOAT *ret_data, const KOMBRA_FLOAT *accum_data, KOMBRA_LONG num_data)        \
    {                                                                                             \
        for (KOMBRA_LONG j = 0; j < num_data; ++j) {                                              \
            KOMBRA_FLOAT &o = ret_data[j];                                                        \
            const KOMBRA_FLOAT a = accum_data[j];                                                 \
            body;                                                                                 \
        }                                                                                         \
    }

IR_COMBINATION(ir_combine_add, o = o + a)
IR_COMBINATION(ir_combine_subtract, o = o - a)
IR_COMBINATION(ir_combine_multiply, o = o * a)
IR_COMBINATION(ir_combine_divide, o = o / a)
IR_COMBINATION(ir_combine_power, {
    errno = 0;
    const double p = std::pow(static_cast<double>(o), static_cast<double>(a));
    const bool failed = errno != 0 || (std::isnan(p) && !std::isnan(o) && !std::isnan(a));
    o = failed ? kMissing : static_cast<KOMBRA_FLOAT>(p);
})

#undef IR_COMBINATION

void ir_oper_asgn(void)
{
    NUR_OPER[0] = ir_nur_look_up;
    NUR_OPER[1] = ir_nur_add;
    NUR_OPER[2] = ir_nur_subtract;
    NUR_OPER[3] = ir_nur_multiply;
    NUR_OPER[4] = ir_nur_divide;
    NUR_OPER[5] = ir_nur_and;
    NUR_OPER[6] = ir_nur_or;
    NUR_OPER[7] = ir_nur_shiftr;
    NUR_OPER[8] = ir_nur_shiftl;
    NUR_OPER[9] = ir_nur_mod;
    for (ir_combine_fn &f : COMBINE_OPER)
        f = nullptr;
    COMBINE_OPER[1] = ir_combine_add;
    COMBINE_OPER[2] = ir_combine_subtract;
    COMBINE_OPER[3] = ir_combine_multiply;
    COMBINE_OPER[4] = ir_combine_divide;
    COMBINE_OPER[5] = ir_combine_power;
}

void ir_nur_ex_func(int oper_type, KOMBRA_FLOAT *ret_data, KOMBRA_LONG num_data, const nur_data *nur_data_ptr)
{
    if (oper_type < 1 || oper_type > 30 || ret_data == nullptr)
        return;
    // The accumulation time of the located data set, in seconds.
    KOMBRA_FLOAT accum = 0.0f;
    if ((oper_type == 14 || oper_type == 15) && ginfo.expt != nullptr)
        accum = static_cast<KOMBRA_FLOAT>(ginfo.expt->accum_ms * 0.001 + ginfo.expt->accum_ns * 1e-9);
    // Azimuths of element k; elements past them have none.
    const long long angles = nur_data_ptr != nullptr && nur_data_ptr->start_az != nullptr &&
                                     nur_data_ptr->stop_az != nullptr
                                 ? nur_data_ptr->num_angle
                                 : 0;
    for (KOMBRA_LONG k = 0; k < num_data; ++k) {
        const double x = ret_data[k];
        KOMBRA_FLOAT &out = ret_data[k];
        switch (oper_type) {
        case 1: out = ir_round_to_float(std::exp(x)); break;
        case 2: out = Guarded(x > 0, std::log(x)); break;
        case 3: out = ir_round_to_float(std::pow(10.0, x)); break;
        case 4: out = Guarded(x > 0, std::log10(x)); break;
        case 5: out = ir_round_to_float(std::pow(2.0, x)); break;
        case 6: out = Guarded(x >= 0, std::sqrt(x)); break;
        case 7: out = ir_round_to_float(std::cos(x * kDegrees)); break;
        case 8: out = ir_round_to_float(std::sin(x * kDegrees)); break;
        case 9: out = ir_round_to_float(std::tan(x * kDegrees)); break;
        case 10: out = ir_round_to_float(std::acos(x)); break;
        case 11: out = ir_round_to_float(std::asin(x)); break;
        case 12: out = ir_round_to_float(std::atan(x)); break;
        case 13: out = Guarded(x != 0, 1.0 / x); break;
        case 14: out = out * accum; break;
        case 15: out = out / accum; break;
        case 16: out = -out; break;
        case 17: out = out * out; break;
        case 18:
            if (k < angles) {
                const KOMBRA_FLOAT a = nur_data_ptr->start_az[k], b = nur_data_ptr->stop_az[k];
                KOMBRA_FLOAT centre = (a + b) / 2.0f;
                const KOMBRA_FLOAT half = centre - a;
                if (half > 60.0f || half < -60.0f)
                    centre += 180.0f;
                out -= centre;
                if (out < 0.0f)
                    out += 360.0f;
            } else {
                out = kMissing;
            }
            break;
        case 19: out = std::fabs(out); break;
        case 20:
            if (k < angles) {
                out += nur_data_ptr->start_az[k];
                if (out < 0.0f)
                    out += 360.0f;
                else if (out >= 360.0f)
                    out -= 360.0f;
            } else {
                out = kMissing;
            }
            break;
        case 21: {
            const auto v = Truncated<int32_t>(x);
            out = v ? static_cast<KOMBRA_FLOAT>(*v) : kMissing;
            break;
        }
        case 22: out = SignExtended(out, 8); break;
        case 23: out = SignExtended(out, 16); break;
        case 24: out = SignExtended(out, 12); break;
        case 25: out = SignExtended(out, 24); break;
        case 26: out = std::trunc(out); break;
        case 27: out = out - std::trunc(out); break;
        case 28: out = std::ceil(out); break;
        case 29: out = std::floor(out); break;
        case 30: out = ir_round_to_float(std::erf(x)); break;
        default: break;
        }
    }
}
