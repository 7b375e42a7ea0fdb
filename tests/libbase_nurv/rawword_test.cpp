// Raw word decoding, compared bit for bit with the floats each word must give.
#include <gtest/gtest.h>

#include "nurv_int.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kPosMarker = std::bit_cast<float>(0x7F7FFFFDu);
const float kNegMarker = std::bit_cast<float>(0xFF7FFFFDu);

// Same float, bit for bit (so -0 and the markers are told apart).
#define EXPECT_FLOAT_BITS(expected, actual) \
    EXPECT_EQ(std::bit_cast<uint32_t>(static_cast<float>(expected)), std::bit_cast<uint32_t>(actual)) \
        << (expected) << " vs " << (actual)

struct WordCase {
    const char *name;
    friend void PrintTo(const WordCase &c, std::ostream *os) { *os << c.name; }
    int8_t dtype;
    uint32_t word;
    float expected;
};

class IntFpTest : public ::testing::TestWithParam<WordCase> {};

TEST_P(IntFpTest, DecodesTheWord)
{
    const WordCase &c = GetParam();
    EXPECT_FLOAT_BITS(c.expected, ir_intfp2fp(c.word, c.dtype));
}

INSTANTIATE_TEST_SUITE_P(
    Words, IntFpTest,
    ::testing::Values(
        WordCase{"Dec16Plain", 4, 0x0280, 0.05f},
        WordCase{"Dec16PositiveExponent", 4, 0x0285, 5000.0f},
        WordCase{"Dec16NegativeExponent", 4, 0x02C1, 0.005f},
        WordCase{"Dec16PositiveMarker", 4, 0x8000, kPosMarker},
        WordCase{"Dec16NegativeMarker", 4, 0x8040, kNegMarker},
        WordCase{"Dec16ExponentSignOnly", 4, 0x0040, 0.0f},
        WordCase{"Dec16BeyondFloatRange", 4, 0x7FBF, kInf},
        WordCase{"Dec32One", 2, 0x87, 1.0f},
        WordCase{"Dec32Negative", 2, 0x80000107, -2.0f},
        WordCase{"Dec32WideMantissa", 2, 0x7FFFFF87, 16777215.0f},
        WordCase{"Dec32NegativeExponent", 2, 0x184, 0.003f},
        WordCase{"Dec32BeyondFloatRange", 2, 0xFFFFFFBF, -kInf},
        WordCase{"Dec32NearLargest", 2, 0x19F623A7, 3.402823e38f},
        WordCase{"Bin16One", 5, 0x0081, 1.0f},
        WordCase{"Bin16Zero", 5, 0x0000, 0.0f},
        WordCase{"Bin16Mantissa", 5, 0x4082, 3.0f},
        WordCase{"Bin16Negative", 5, 0x8081, -1.0f},
        WordCase{"Bin16Largest", 5, 0x7FFF, 0x1.FEp126f},
        WordCase{"SmallInteger", 6, 0x002A, 42.0f},
        WordCase{"SignBitLeavesIntegerForm", 6, 0x402A, -298.0f / 512.0f},
        WordCase{"Bin16OneAt256", 6, 0x0100, 1.0f},
        WordCase{"Bin16NegativeExponent", 6, 0x8180, 0.375f},
        WordCase{"NoSuchType3", 3, 0x12345678, kPosMarker},
        WordCase{"NoSuchTypeNegative", -1, 0x1, kPosMarker}),
    [](const auto &info) { return std::string(info.param.name); });

struct SignCase {
    const char *name;
    friend void PrintTo(const SignCase &c, std::ostream *os) { *os << c.name; }
    int32_t value;
    int8_t width;
    float expected;
};

class ToSignTest : public ::testing::TestWithParam<SignCase> {};

TEST_P(ToSignTest, ExtendsTheSign)
{
    const SignCase &c = GetParam();
    EXPECT_FLOAT_BITS(c.expected, ir_to_sign(c.value, c.width));
    const KOMBRA_LONG word = c.value;
    float out = 0;
    ir_transfer_data(&out, &word, 1, 1, c.width, 0);
    EXPECT_FLOAT_BITS(c.expected, out);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ToSignTest,
    ::testing::Values(SignCase{"Byte", 0xFF, 8, -1.0f},
                      SignCase{"BytePositive", 0x7F, 8, 127.0f},
                      SignCase{"OneBitSet", 1, 1, -1.0f},
                      SignCase{"TwelveBits", 0x800, 12, -2048.0f},
                      SignCase{"HighBitsNotMasked", 0x1FF, 8, 255.0f},
                      SignCase{"NegativeInputNotMasked", -1, 8, -257.0f},
                      SignCase{"ThirtyOneBits", 0x7FFFFFFF, 31, -1.0f},
                      SignCase{"ThirtyTwoBits", -1, 32, -1.0f},
                      SignCase{"NoOverflowBelowMinimum", INT32_MIN | 0x80, 8, -2147483648.0f},
                      SignCase{"ZeroWidthIsPlain", -5, 0, -5.0f},
                      SignCase{"WideIsPlain", INT32_MIN, 64, -2147483648.0f}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TransferTest, UnsignedWordsFromTheStartIndex)
{
    const KOMBRA_LONG words[4] = {9, 3, -1, 0x10};
    float out[3] = {};
    ir_transfer_data(out, words, 3, 0, 32, 1);
    EXPECT_FLOAT_BITS(3.0f, out[0]);
    EXPECT_FLOAT_BITS(4294967296.0f, out[1]);
    EXPECT_FLOAT_BITS(16.0f, out[2]);
}

TEST(TenToTest, StepwiseFloatArithmetic)
{
    EXPECT_FLOAT_BITS(1.0f, ir_tento(0));
    volatile float tenth = 1.0f / 10.0f;
    EXPECT_FLOAT_BITS(tenth / 10.0f, ir_tento(-2));
    // Sixteen rounded divisions land two units below the float nearest 1e-16.
    EXPECT_FLOAT_BITS(0x1.cd2b26p-54f, ir_tento(-16));
    EXPECT_FLOAT_BITS(0x1.cd2b2ap-54f, static_cast<float>(1e-16));
    EXPECT_TRUE(std::isfinite(ir_tento(38)));
    EXPECT_FLOAT_BITS(kInf, ir_tento(39));
    EXPECT_FLOAT_BITS(0.0f, ir_tento(-128));
}

TEST(PolyTest, SumsTheCoefficients)
{
    const float coeff[3] = {1.0f, 3.0f, 0.5f};
    EXPECT_FLOAT_BITS(9.0f, ir_poly_expand(2.0f, coeff, 3));
    EXPECT_FLOAT_BITS(1.0f, ir_poly_expand(2.0f, coeff, 1));
    EXPECT_FLOAT_BITS(0.0f, ir_poly_expand(2.0f, coeff, 0));
    EXPECT_FLOAT_BITS(0.0f, ir_poly_expand(2.0f, coeff, -4));
    // Just above the largest float rounds down to it; far above is infinite.
    const float nearly[2] = {std::numeric_limits<float>::max(), 1.0f};
    EXPECT_FLOAT_BITS(std::numeric_limits<float>::max(), ir_poly_expand(1e31f, nearly, 2));
    const float square[3] = {0.0f, 0.0f, 1.0f};
    EXPECT_FLOAT_BITS(kInf, ir_poly_expand(1e30f, square, 3));
    EXPECT_FLOAT_BITS(-kInf, ir_poly_expand(1e30f, std::array<float, 3>{0.0f, 0.0f, -1.0f}.data(), 3));
}

struct ContainerCase {
    const char *name;
    friend void PrintTo(const ContainerCase &c, std::ostream *os) { *os << c.name; }
    int8_t tdw_len;
    std::vector<uint32_t> expected;  // containers 0, 1, 2 ...
};

class ContainerTest : public ::testing::TestWithParam<ContainerCase> {};

TEST_P(ContainerTest, ReadsEveryContainer)
{
    // Bytes B2 5A 0F F1, then host-order units for the wide containers.
    const ContainerCase &c = GetParam();
    std::array<KOMBRA_UCHAR, 8> area{0xB2, 0x5A, 0x0F, 0xF1, 0, 0, 0, 0};
    if (c.tdw_len > 8) {
        const uint16_t units[2] = {0xBEEF, 0x0102};
        const uint32_t word = 0xDEADBEEF;
        if (c.tdw_len <= 16)
            std::memcpy(area.data(), units, sizeof units);
        else
            std::memcpy(area.data(), &word, sizeof word);
    }
    for (size_t i = 0; i < c.expected.size(); ++i)
        EXPECT_EQ(c.expected[i], ir_container_value(area.data(), static_cast<KOMBRA_ULONG>(i), c.tdw_len))
            << "container " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ContainerTest,
    ::testing::Values(ContainerCase{"OneBit", 1, {1, 0, 1, 1, 0, 0, 1, 0, 0, 1}},
                      ContainerCase{"TwoBits", 2, {2, 3, 0, 2, 1, 1, 2, 2}},
                      ContainerCase{"ThreeBitsMaskedWithSeven", 3, {3, 2, 5, 2, 0, 7}},
                      ContainerCase{"FourBits", 4, {0xB, 0x2, 0x5, 0xA, 0x0, 0xF}},
                      ContainerCase{"FiveBitsInBytes", 5, {0xB2, 0x5A, 0x0F, 0xF1}},
                      ContainerCase{"EightBits", 8, {0xB2, 0x5A}},
                      ContainerCase{"TwelveBitsInUnits", 12, {0xBEEF, 0x0102}},
                      ContainerCase{"SixteenBits", 16, {0xBEEF, 0x0102}},
                      ContainerCase{"ThirtyTwoBits", 32, {0xDEADBEEF}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ContainerFieldTest, FieldsAtAnyBitPosition)
{
    const KOMBRA_UCHAR area[2] = {0xB2, 0x5A};  // 1011 0010 0101 1010
    EXPECT_EQ(0x1u, ir_bits_at(area, 0, 1));
    EXPECT_EQ(0x2u, ir_bits_at(area, 6, 2));
    EXPECT_EQ(0x9u, ir_bits_at(area, 6, 4));    // 10|01 across the byte boundary
    EXPECT_EQ(0x25u, ir_bits_at(area, 4, 8));
    EXPECT_EQ(0x0u, ir_bits_at(area, 15, 1));
    EXPECT_EQ(0u, ir_bits_at(nullptr, 0, 1));
    EXPECT_EQ(0u, ir_bits_at(area, 0, 9));
}

}  // namespace
