// Raw word decoding: the words of data records as floats by their data type
// code, sign extension, integer-coded floating-point words, table
// polynomials, powers of ten, and the sample containers of a record.
//
// This file must never be built with fast-math: ir_tento's stepwise float
// rounding and the exact double sums are what stored tables were made with.
#include "nurv_int.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// Markers of integer-coded words whose mantissa and exponent are both 0.
constexpr KOMBRA_ULONG POS_MARKER_BITS = 0x7F7FFFFDu;  // +3.4028231e38
constexpr KOMBRA_ULONG NEG_MARKER_BITS = 0xFF7FFFFDu;  // -3.4028231e38

// Fields of an integer-coded word: value = B^(E - b) * M / N.
struct intfp_fields {
    KOMBRA_ULONG m = 0;       // mantissa magnitude
    bool m_neg = true;        // mantissa sign
    KOMBRA_ULONG e = 0;       // exponent magnitude
    bool e_neg = false;       // exponent sign
    int bias = 0;             // b
    double base = 1.0;        // B
    double divisor = 1.0;     // N
};

intfp_fields split_intfp(KOMBRA_ULONG w, int8_t dtype)
{
    intfp_fields f;
    switch (dtype) {
    case 2:  // decimal float in 32 bits
        f.m_neg = (w >> 31) & 1u;
        f.m = (w >> 7) & 0xFFFFFFu;
        f.e_neg = (w >> 6) & 1u;
        f.e = w & 0x3Fu;
        f.bias = 7;
        f.base = 10.0;
        break;
    case 4:  // decimal float in 16 bits
        f.m_neg = (w >> 15) & 1u;
        f.m = (w >> 7) & 0xFFu;
        f.e_neg = (w >> 6) & 1u;
        f.e = w & 0x3Fu;
        f.bias = 2;
        f.base = 10.0;
        break;
    case 5:  // binary float in 16 bits, hidden leading bit
        f.m_neg = (w >> 15) & 1u;
        f.m = w != 0 ? 128u + ((w >> 8) & 0x7Fu) : 0u;
        f.e_neg = false;
        f.e = w & 0xFFu;
        f.bias = 128;
        f.base = 2.0;
        f.divisor = 256.0;
        break;
    case 6: {  // binary float in 16 bits, or a plain integer below 256
        const bool high = ((w >> 8) & 0xFFu) != 0;
        f.m_neg = (w >> 14) & 1u;
        f.m = (w & 0xFFu) + (high ? 256u : 0u);
        f.e_neg = (w >> 15) & 1u;
        f.e = (w >> 8) & 0x3Fu;
        f.bias = 0;
        f.base = 2.0;
        f.divisor = high ? 512.0 : 1.0;
        break;
    }
    default:  // no such type: the positive marker
        break;
    }
    return f;
}

}  // namespace

KOMBRA_FLOAT ir_round_to_float(double value)
{
    // Halfway between FLT_MAX and the next power of two: from here on
    // round-to-nearest gives infinity.
    static const double overflow = std::ldexp(2.0 - std::ldexp(1.0, -24), 127);
    if (std::isnan(value))
        return static_cast<KOMBRA_FLOAT>(value);
    const double magnitude = std::fabs(value);
    if (magnitude >= overflow)
        return value > 0 ? HUGE_VALF : -HUGE_VALF;
    // Above the largest float but nearer to it than to the next power of
    // two: the largest float, without an out-of-range conversion.
    if (magnitude > FLT_MAX)
        return value > 0 ? FLT_MAX : -FLT_MAX;
    return static_cast<KOMBRA_FLOAT>(value);
}

KOMBRA_FLOAT ir_to_sign(KOMBRA_LONG new_val, int8_t tdw_len)
{
    // Widths outside 1..31 (32 included) leave the value as a signed 32-bit
    // number.  The subtraction is 64-bit, so no value can overflow.
    if (tdw_len < 1 || tdw_len > 31)
        return static_cast<KOMBRA_FLOAT>(new_val);
    const int64_t value = new_val;
    if ((value >> (tdw_len - 1)) & 1)
        return static_cast<KOMBRA_FLOAT>(value - (int64_t{1} << tdw_len));
    return static_cast<KOMBRA_FLOAT>(value);
}

KOMBRA_FLOAT ir_intfp2fp(KOMBRA_ULONG intfp, int8_t dtype)
{
    const intfp_fields f = split_intfp(intfp, dtype);
    if (f.m == 0 && f.e == 0) {
        if (f.m_neg && !f.e_neg)
            return std::bit_cast<KOMBRA_FLOAT>(POS_MARKER_BITS);
        if (f.m_neg && f.e_neg)
            return std::bit_cast<KOMBRA_FLOAT>(NEG_MARKER_BITS);
        return 0.0f;
    }
    const double mantissa = f.m_neg ? -static_cast<double>(f.m) : static_cast<double>(f.m);
    const double exponent = f.e_neg ? -static_cast<double>(f.e) : static_cast<double>(f.e);
    return ir_round_to_float(std::pow(f.base, exponent - f.bias) * mantissa / f.divisor);
}

void ir_transfer_data(KOMBRA_FLOAT *ret_data, const KOMBRA_LONG *inp_data, KOMBRA_LONG num_data,
                      int8_t dtype, int8_t tdw_len, KOMBRA_LONG inp_start)
{
    if (ret_data == nullptr || inp_data == nullptr)
        return;
    const KOMBRA_LONG *in = inp_data + inp_start;
    for (KOMBRA_LONG k = 0; k < num_data; ++k) {
        const auto word = static_cast<KOMBRA_ULONG>(in[k]);
        switch (dtype) {
        case 0: ret_data[k] = static_cast<KOMBRA_FLOAT>(word); break;
        case 1: ret_data[k] = ir_to_sign(in[k], tdw_len); break;
        default: ret_data[k] = ir_intfp2fp(word, dtype); break;
        }
    }
}

KOMBRA_FLOAT ir_poly_expand(KOMBRA_FLOAT inp_data, const KOMBRA_FLOAT *tbl, KOMBRA_LONG tbl_sz)
{
    if (tbl == nullptr || tbl_sz < 1)
        return 0.0f;
    const double x = inp_data;
    double sum = tbl[0];
    double power = 1.0;
    for (KOMBRA_LONG k = 1; k < tbl_sz; ++k) {
        power *= x;
        sum += tbl[k] * power;
    }
    return ir_round_to_float(sum);
}

KOMBRA_FLOAT ir_tento(int8_t cvar)
{
    KOMBRA_FLOAT value = 1.0f;
    if (cvar > 0)
        for (int i = 0; i < cvar; ++i)
            value *= 10.0f;
    else
        for (int i = 0; i < -cvar; ++i)
            value /= 10.0f;
    return value;
}

int ir_container_width(int8_t tdw_len)
{
    if (tdw_len < 1)
        return 0;
    if (tdw_len <= 2)
        return tdw_len;
    if (tdw_len <= 4)
        return 4;
    if (tdw_len <= 8)
        return 8;
    if (tdw_len <= 16)
        return 16;
    return 32;
}

KOMBRA_ULONG ir_bits_at(const KOMBRA_UCHAR *area, KOMBRA_ULONG bitpos, int width)
{
    if (area == nullptr || width < 1 || width > 8)
        return 0;
    const KOMBRA_UCHAR *byte = area + bitpos / 8;
    const unsigned offset = bitpos % 8;
    const unsigned mask = (1u << width) - 1u;
    if (offset + width <= 8)
        return (byte[0] >> (8 - offset - width)) & mask;
    // A field that runs into the next byte.
    const unsigned pair = (static_cast<unsigned>(byte[0]) << 8) | byte[1];
    return (pair >> (16 - offset - width)) & mask;
}

KOMBRA_ULONG ir_container_value(const KOMBRA_UCHAR *area, KOMBRA_ULONG index, int8_t tdw_len)
{
    if (area == nullptr)
        return 0;
    switch (ir_container_width(tdw_len)) {
    case 1: return ir_bits_at(area, index, 1);
    case 2: return ir_bits_at(area, 2 * index, 2);
    case 4: return ir_bits_at(area, 4 * index, 4) & (tdw_len == 3 ? 7u : 15u);
    case 8: return area[index];
    case 16: {
        KOMBRA_USHORT unit;
        std::memcpy(&unit, area + 2 * static_cast<size_t>(index), sizeof unit);
        return unit;
    }
    case 32: {
        KOMBRA_ULONG unit;
        std::memcpy(&unit, area + 4 * static_cast<size_t>(index), sizeof unit);
        return unit;
    }
    default: return 0;
    }
}
