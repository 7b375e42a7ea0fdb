// Lexical form of the text description format: numbers, strings, keywords,
// comments, and the line and token that a syntax error names.
#include "keld_test_util.h"

#include <bit>
#include <cstdint>
#include <vector>

using kombra_test::TempDir;
using keld_test::ParseText;
using keld_test::Report;

namespace {

struct ValueCase {
    const char *name;
    const char *decl;        // one declaration of the key "a"
    keld_value_type type;
    uint32_t bits;           // the stored 32 bits (numbers)
    const char *text;        // the stored string (strings)
};

void PrintTo(const ValueCase &c, std::ostream *os) { *os << c.name; }

class ScannedValues : public testing::TestWithParam<ValueCase> {};

TEST_P(ScannedValues, StoredAsWritten)
{
    const ValueCase &c = GetParam();
    TempDir dir;
    const auto parsed = ParseText(dir, std::string("KELD x {\n ") + c.decl + "\n}\n");
    EXPECT_EQ("", parsed.out);
    const auto values = KELDFind(parsed.map.get(), "KELD.a");
    ASSERT_EQ(1u, values.size());
    EXPECT_EQ(c.type, values[0].type);
    if (c.type == STRING)
        EXPECT_STREQ(c.text, values[0].val.sval);
    else if (c.type == CHAR)
        EXPECT_EQ(c.bits, static_cast<unsigned char>(values[0].val.cval));
    else
        EXPECT_EQ(c.bits, std::bit_cast<uint32_t>(values[0].val.ival));
}

INSTANTIATE_TEST_SUITE_P(
    Keld, ScannedValues,
    testing::Values(
        ValueCase{"LeadingZeroIsDecimal", "int a = 010;", INT, 10, nullptr},
        ValueCase{"Hex", "int a = 0x1F;", INT, 31, nullptr},
        ValueCase{"HexMixedCaseDigits", "int a = 0xfF;", INT, 255, nullptr},
        ValueCase{"Negative", "int a = -42;", INT, static_cast<uint32_t>(-42), nullptr},
        ValueCase{"WideDecimalWraps", "int a = 4294967297;", INT, 1, nullptr},
        ValueCase{"WideNegativeWraps", "int a = -2147483649;", INT, 2147483647, nullptr},
        ValueCase{"WideHexWraps", "int a = 0x1FFFFFFFF;", INT, 0xFFFFFFFFu, nullptr},
        ValueCase{"PointFive", "float a = .5;", FLOAT, std::bit_cast<uint32_t>(0.5f), nullptr},
        ValueCase{"Exponent", "float a = -2.5E-1;", FLOAT, std::bit_cast<uint32_t>(-0.25f), nullptr},
        ValueCase{"ExponentWithoutPoint", "float a = 3e+2;", FLOAT, std::bit_cast<uint32_t>(300.0f), nullptr},
        ValueCase{"IntKeepsFloatBits", "int a = 1.5;", INT, std::bit_cast<uint32_t>(1.5f), nullptr},
        ValueCase{"FloatKeepsIntBits", "float a = 7;", FLOAT, 7, nullptr},
        ValueCase{"CharKeepsLowByte", "char a = 321;", CHAR, 65, nullptr},
        ValueCase{"CharOfStringIsFirstByte", "char a = 'BC';", CHAR, 'B', nullptr},
        ValueCase{"UpperCaseKeyword", "STRING a = \"x y\";", STRING, 0, "x y"},
        ValueCase{"SingleQuotesHoldDoubleQuote", "string a = 'say \"hi\"';", STRING, 0, "say \"hi\""},
        ValueCase{"NoEscapes", "string a = \"a\\tb\";", STRING, 0, "a\\tb"},
        ValueCase{"UnterminatedEndsAtLineEnd", "string a = \"open end\n;", STRING, 0, "open end"},
        ValueCase{"CommentBeforeValue", "int a = /* one */ 5;", INT, 5, nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(KeldScanner, OneLineCommentRunsToItsLastClosingMark)
{
    TempDir dir;
    const auto parsed = ParseText(dir, "KELD x {\n int a = 1; /* c */ int b = 2; /* d */ int c = 3;\n}\n");
    EXPECT_EQ("", parsed.out);
    EXPECT_EQ(1u, KELDFind(parsed.map.get(), "KELD.a").size());
    EXPECT_TRUE(KELDFind(parsed.map.get(), "KELD.b").empty());
    EXPECT_EQ(3, keld_test::IntAt(parsed.map.get(), "KELD.c"));
}

TEST(KeldScanner, TokensFromAString)
{
    v_lex_destroy();
    yy_buffer_state *buffer = v_scan_string("INT 0x10 {; 2.5e1\r");
    std::vector<int> tokens;
    for (int token = v_lex(); token != 0; token = v_lex())
        tokens.push_back(token);
    EXPECT_EQ((std::vector<int>{Y_INT, Y_INT_NUM, '{', ';', Y_FLOAT_NUM, '\r'}), tokens);
    EXPECT_STREQ("", v_get_text());
    v_delete_buffer(buffer);
    v_lex_destroy();
}

struct ErrorCase {
    const char *name;
    std::string text;
    int line;
    const char *token;
};

void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }

class SyntaxErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(SyntaxErrors, ReportLineAndToken)
{
    const ErrorCase &c = GetParam();
    TempDir dir;
    const auto parsed = ParseText(dir, c.text, "bad.V.v3");
    EXPECT_EQ(1, parsed.status);
    EXPECT_EQ(Report(dir.file("bad.V.v3"), c.line, "syntax error", c.token), parsed.out);
}

INSTANTIATE_TEST_SUITE_P(
    Keld, SyntaxErrors,
    testing::Values(
        ErrorCase{"MixedCaseKeywordIsAName", "KELD x {\n Int a = 1;\n}\n", 2, "Int"},
        ErrorCase{"PointWithoutDigits", "KELD x {\n float a = 1.;\n}\n", 2, "."},
        ErrorCase{"NumberThenLetters", "KELD x {\n int a = 5x;\n}\n", 2, "x"},
        ErrorCase{"CarriageReturn", "KELD x {\r\n int a = 1;\r\n}\r\n", 1, "\r"},
        ErrorCase{"EmptyStruct", "KELD x {\n struct S { };\n}\n", 2, "}"},
        ErrorCase{"UnterminatedStringLineNotCounted", "KELD x {\n string s = \"abc\n int b = 2;\n}\n", 2, "int"},
        ErrorCase{"CommentLinesCounted", "KELD x {\n/* a\n b */\n int a = 1 1;\n}\n", 4, "1"},
        ErrorCase{"CutOff", "KELD x {\n int a = 1;\n int b", 3, ""},
        ErrorCase{"AbandonedInsideAnArray", "KELD x {\n struct S { string s[3] = {\"a\", \"b\" \"c\"}; };\n}\n", 2,
                  "\"c\""},
        ErrorCase{"UnknownCharacter", "#include\n", 1, "#"},
        ErrorCase{"EmptyFile", "", 1, ""},
        ErrorCase{"NulByte", std::string("KELD x {\n\0 }", 12), 2, ""}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
