// The configuration reader: lines, tokens, symbols and value conversion.
#include "Pconfig.h"
#include "libant.h"
#include "support.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

using kombra_test::ScopedEnv;
using kombra_test::TempDir;
using kombra_test::WriteFile;

namespace {

// A loaded file that is closed again at the end of the test.
class Loaded {
public:
    Loaded(const TempDir &dir, const std::string &text, int preprocess = 0, const std::string &name = "test.cfg")
    {
        WriteFile(dir.file(name), text);
        testing::internal::CaptureStderr();
        cfg_ = open_config(dir.file(name).c_str(), preprocess);
        err_ = testing::internal::GetCapturedStderr();
    }
    ~Loaded()
    {
        if (cfg_)
            close_config(cfg_);
    }
    config_s *get() const { return cfg_; }
    const std::string &err() const { return err_; }

private:
    config_s *cfg_ = nullptr;
    std::string err_;
};

void FreeList(def_s &e)
{
    auto **list = static_cast<char **>(e.value);
    for (int i = 0; i < e.n_values; ++i)
        std::free(list[i]);
    std::free(list);
}

TEST(ConfigLines, NamesValuesCommentsAndContinuations)
{
    TempDir dir;
    Loaded cfg(dir,
               "# comment\n"
               "   \n"
               "x 12 # trailing comment\n"
               "y a\\\n"
               "b\n"
               "z keep\\# this # not this\n"
               "w   spaced value  \t\n"
               "crlf a\\\r\n"
               "b\r\n"
               "last no-newline");
    ASSERT_NE(nullptr, cfg.get());
    EXPECT_EQ("", cfg.err());
    EXPECT_STREQ("12", get_symbol(cfg.get(), "x"));
    EXPECT_STREQ("ab", get_symbol(cfg.get(), "y"));
    EXPECT_STREQ("keep\\# this", get_symbol(cfg.get(), "z"));
    EXPECT_STREQ("spaced value", get_symbol(cfg.get(), "w"));
    EXPECT_STREQ("ab", get_symbol(cfg.get(), "crlf"));
    EXPECT_STREQ("no-newline", get_symbol(cfg.get(), "last"));
}

TEST(ConfigLines, EscapedHashKeepsTheRestOfTheLine)
{
    TempDir dir;
    Loaded cfg(dir, "x 12 \\# and more\n");
    EXPECT_STREQ("12 \\# and more", get_symbol(cfg.get(), "x"));
}

TEST(ConfigLines, MalformedNameAndMissingValueAreReported)
{
    TempDir dir;
    Loaded cfg(dir, "alone\nalone2 \nok 1\n");
    EXPECT_EQ("open_config.pc_get_tokens: Non-whitespace terminating name field\n"
              "---->alone\n"
              "open_config.pc_get_tokens: No parameter value field found\n"
              "---->alone2 \n",
              cfg.err());
    EXPECT_EQ(nullptr, get_symbol(cfg.get(), "alone"));
    EXPECT_EQ(nullptr, get_symbol(cfg.get(), "alone2"));
    EXPECT_STREQ("1", get_symbol(cfg.get(), "ok"));
}

TEST(ConfigLines, VeryLongLinesAreJoinedWhole)
{
    TempDir dir;
    const std::string value(3000, 'v');
    Loaded cfg(dir, "long " + value + "\nnext 2\n");
    EXPECT_EQ(value, std::string(get_symbol(cfg.get(), "long")));
    EXPECT_STREQ("2", get_symbol(cfg.get(), "next"));
}

TEST(ConfigSymbols, DuplicatesAreHandedOutInFileOrderUntilRefreshed)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 30; ++i)  // more than one bucket's growth step
        text += "n" + std::to_string(i) + " v\n";
    text += "dup first\ndup second\n";
    Loaded cfg(dir, text);
    EXPECT_STREQ("first", get_symbol(cfg.get(), "dup"));
    EXPECT_STREQ("second", get_symbol(cfg.get(), "dup"));
    EXPECT_EQ(nullptr, get_symbol(cfg.get(), "dup"));
    refresh_config(cfg.get());
    EXPECT_STREQ("first", get_symbol(cfg.get(), "dup"));
    EXPECT_STREQ("v", get_symbol(cfg.get(), "n29"));
}

TEST(ConfigInput, MissingFileIsReportedAsFopen)
{
    TempDir dir;
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, open_config(dir.file("absent.cfg").c_str(), 0));
    EXPECT_EQ(0u, testing::internal::GetCapturedStderr().find("open_config.pc_open_input.fopen: "));
}

// A FIFO or device in place of the file is refused without waiting, read
// directly or through the preprocessor.
TEST(ConfigInput, OnlyARegularFileIsRead)
{
    TempDir dir;
    ASSERT_EQ(0, mkfifo(dir.file("fifo.cfg").c_str(), 0600));
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.cfg"));
    for (const char *name : {"fifo.cfg", "zero.cfg"})
        for (const auto &[preprocess, label] : {std::pair{0, "fopen"}, std::pair{1, "popen"}}) {
            testing::internal::CaptureStderr();
            EXPECT_EQ(nullptr, open_config(dir.file(name).c_str(), preprocess));
            EXPECT_EQ(std::string("open_config.pc_open_input.") + label + ": not a regular file\n",
                      testing::internal::GetCapturedStderr());
        }
}

TEST(ConfigInput, ReadsThroughTheSystemPreprocessor)
{
    TempDir dir;
    ScopedEnv pp("PC_PP", "/usr/lib/cpp -P");
    ScopedEnv opts("PC_PPOPTS", std::nullopt);
    Loaded cfg(dir, "#define LEVEL 42\nvalue LEVEL\n", 1, "with blanks 'and quotes'.cfg");
    ASSERT_NE(nullptr, cfg.get()) << cfg.err();
    EXPECT_STREQ("42", get_symbol(cfg.get(), "value"));
}

TEST(ConfigInput, FileNameCannotRunAnotherCommand)
{
    TempDir dir;
    ScopedEnv pp("PC_PP", "/usr/lib/cpp -P");
    // Were the name handed to the shell unquoted, it would create this file
    // in the working folder.
    const std::string marker = "kombra-injected-marker";
    std::filesystem::remove(marker);
    const std::string name = "x'; touch " + marker + "; echo '$(touch " + marker + ").cfg";
    Loaded cfg(dir, "a 1\n", 1, name);
    ASSERT_NE(nullptr, cfg.get()) << cfg.err();
    EXPECT_STREQ("1", get_symbol(cfg.get(), "a"));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(ConfigInput, LeadingDashInANameIsNotAPreprocessorOption)
{
    TempDir dir;
    ScopedEnv pp("PC_PP", "/usr/lib/cpp -P");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    WriteFile("-dash.cfg", "a 1\n");
    testing::internal::CaptureStderr();
    config_s *cfg = open_config("-dash.cfg", 1);
    const std::string err = testing::internal::GetCapturedStderr();
    std::filesystem::current_path(cwd);
    ASSERT_NE(nullptr, cfg) << err;
    EXPECT_STREQ("1", get_symbol(cfg, "a"));
    close_config(cfg);
}

TEST(ConfigInput, FailingPreprocessorIsNotTakenForAnEmptyFile)
{
    TempDir dir;
    ScopedEnv pp("PC_PP", "/usr/lib/cpp -P --no-such-option");
    Loaded cfg(dir, "a 1\n", 1);
    EXPECT_EQ(nullptr, cfg.get());
    EXPECT_NE(std::string::npos, cfg.err().find("open_config.pc_close_input"));
}

// ---- Keyword tables ---------------------------------------------------

class ParseConfig : public ::testing::Test {
protected:
    config_s *Load(const std::string &text)
    {
        loaded_ = std::make_unique<Loaded>(dir_, text);
        return loaded_->get();
    }
    // Runs parse_config and returns its stderr.
    std::string Parse(def_s *table, const char *prefix = nullptr)
    {
        testing::internal::CaptureStderr();
        result_ = parse_config(loaded_->get(), prefix, table);
        return testing::internal::GetCapturedStderr();
    }

    TempDir dir_;
    std::unique_ptr<Loaded> loaded_;
    int result_ = 0;
};

TEST_F(ParseConfig, ScalarsConvertWithBaseDetection)
{
    Load("c1 'x'\nc2 65\ns -300\ni 0x10\no 010\nf 1.5\nd 1e300\n"
         "s7 \"hello world\"\nbuf \"abcdefgh\"\n");
    char c1 = 0, c2 = 0;
    int16_t s = 0;
    int32_t i = 0, o = 0;
    float f = 0;
    double d = 0;
    char buf[5] = {};
    def_s table[] = {{"c1", PC_CHAR, &c1, 2, 0},  {"c2", PC_CHAR, &c2, 1, 0},   {"s", PC_SHORT, &s, 1, 0},
                     {"i", PC_INT, &i, 1, 0},     {"o", PC_INT, &o, 1, 0},      {"f", PC_FLOAT, &f, 1, 0},
                     {"d", PC_DOUBLE, &d, 1, 0},  {"s7", PC_STRING, nullptr, 1, 0},
                     {"buf", PC_STRING_BUF, buf, 1, sizeof buf}, {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ("", Parse(table));
    EXPECT_EQ(0, result_);
    EXPECT_EQ('x', c1);
    EXPECT_EQ('A', c2);
    EXPECT_EQ(-300, s);
    EXPECT_EQ(16, i);
    EXPECT_EQ(8, o);
    EXPECT_FLOAT_EQ(1.5f, f);
    EXPECT_DOUBLE_EQ(1e300, d);
    EXPECT_STREQ("hello world", static_cast<char *>(table[7].value));
    EXPECT_STREQ("abcd", buf);  // cut to the buffer given in n_values
    for (int k = 0; k < 9; ++k)
        EXPECT_LT(table[k].required, 0) << table[k].param;
    EXPECT_EQ(-2, table[0].required);
    std::free(table[7].value);
}

TEST_F(ParseConfig, FilledEntriesAreSkippedOnTheNextCall)
{
    Load("i 1\ni 2\n");
    int32_t i = 0;
    def_s table[] = {{"i", PC_INT, &i, 1, 0}, {nullptr, 0, nullptr, 0, 0}};
    Parse(table);
    EXPECT_EQ(1, i);
    Parse(table);
    EXPECT_EQ(1, i);  // skipped: required is negative now
    table[0].required = 1;
    Parse(table);
    EXPECT_EQ(2, i);
}

struct BadScalar {
    const char *name;
    int type;
    const char *value;
    const char *message;
    bool marked;
};

class BadScalars : public ParseConfig, public ::testing::WithParamInterface<BadScalar> {};

TEST_P(BadScalars, AreReportedAndNotStored)
{
    const BadScalar &c = GetParam();
    Load(std::string("k ") + c.value + "\n");
    union {
        char c;
        int16_t s;
        int32_t i;
        float f;
        double d;
        char buf[16];
    } target{};
    def_s table[] = {{"k", c.type, &target, 1, 0}, {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ(c.message, Parse(table));
    EXPECT_EQ(0, result_);
    EXPECT_EQ(c.marked, table[0].required < 0);
    EXPECT_EQ(0, target.i);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadScalars,
    ::testing::Values(
        BadScalar{"CharNotANumber", PC_CHAR, "abc", "parse_config: Expected a char in\n\tk\n", false},
        BadScalar{"CharTooBig", PC_CHAR, "256", "parse_config: Value out of range for char in\n\tk\n", false},
        BadScalar{"ShortNotANumber", PC_SHORT, "12x", "parse_config: Expected an short for\n\tk -> 12x\n", false},
        BadScalar{"ShortTooBig", PC_SHORT, "-65536", "parse_config: Value out of range for short in\n\tk\n", true},
        BadScalar{"IntNotANumber", PC_INT, "08", "parse_config: Expected an int for\n\tk -> 08\n", false},
        BadScalar{"FloatNotANumber", PC_FLOAT, "one", "parse_config: Expected a float in\n\tk -> one\n", false},
        BadScalar{"FloatTooBig", PC_FLOAT, "3.5e38", "parse_config: Value out of range for float in\n\tk\n", true},
        BadScalar{"FloatTooSmall", PC_FLOAT, "1e-39", "parse_config: Value out of range for float in\n\tk\n", true},
        BadScalar{"DoubleNotANumber", PC_DOUBLE, "x", "parse_config: Expected a double in\n\tk -> x\n", false},
        BadScalar{"StringUnquoted", PC_STRING_BUF, "abc", "parse_config: Expected a string for\n\tk -> abc\n", false},
        BadScalar{"StringUnbalanced", PC_STRING_BUF, "\"abc",
                  "parse_config: Unbalanced quotes for\n\tk -> abc\n", false},
        BadScalar{"UnknownType", 12, "1", "parse_config: Unknown type expected in k\n", false},
        // The most negative 64-bit number has no magnitude of the same type.
        BadScalar{"CharMostNegative", PC_CHAR, "-9223372036854775808",
                  "parse_config: Value out of range for char in\n\tk\n", false},
        BadScalar{"ShortMostNegative", PC_SHORT, "-9223372036854775808",
                  "parse_config: Value out of range for short in\n\tk\n", true}),
    [](const auto &info) { return info.param.name; });

TEST_F(ParseConfig, ConversionReportsNameTheKeywordWithoutThePrefix)
{
    Load("A.i x\nA.l \"a\" b\nA.s 1 -9223372036854775808\n");
    int32_t i = 0;
    int16_t *shorts = nullptr;
    def_s table[] = {{"i", PC_INT, &i, 1, 0},
                     {"l", PC_STRING_LIST, nullptr, 1, 0},
                     {"s", PC_SHORT_ARRAY, &shorts, 1, 0},
                     {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ("parse_config: Expected an int for\n\ti -> x\n"
              "parse_config: Expected a string for\n\tl[1] -> b\n"
              "parse_config: Value(s) out of range for a short:\n\ts[1] -> -9223372036854775808\n",
              Parse(table, "A."));
    ASSERT_EQ(2, table[2].n_values);
    EXPECT_EQ(0, shorts[1]);
    FreeList(table[1]);
    std::free(shorts);
}

TEST_F(ParseConfig, MissingMandatoryKeywordsAreListedOnce)
{
    Load("A.Strings \"x\"\n");
    def_s table[] = {{"Strings", PC_STRING_LIST, nullptr, 2, 0},
                     {"Other", PC_STRING_LIST, nullptr, 2, 0},
                     {"Optional", PC_INT, nullptr, 1, 0},
                     {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ("parse_config: undefined symbol(s)\n\tB.Strings\n\tB.Other\n", Parse(table, "B."));
    EXPECT_EQ(-1, result_);
    // Each call reports its own missing keywords.
    EXPECT_EQ("parse_config: undefined symbol(s)\n\tA.Other\n", Parse(table, "A."));
    EXPECT_EQ(-1, result_);
    ASSERT_EQ(1, table[0].n_values);
    EXPECT_STREQ("x", static_cast<char **>(table[0].value)[0]);
    FreeList(table[0]);
}

TEST_F(ParseConfig, IntegerArrays)
{
    Load("s 1 -2 0x10 70000 5\nbad 1 2 x 4\ni 1 4294967297\n");
    int16_t *shorts = nullptr;
    int32_t *bad = nullptr, *ints = nullptr;
    def_s table[] = {{"s", PC_SHORT_ARRAY, &shorts, 1, 0},
                     {"bad", PC_INT_ARRAY, &bad, 1, 0},
                     {"i", PC_INT_ARRAY, &ints, 1, 0},
                     {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ("parse_config: Value(s) out of range for a short:\n\ts[3] -> 70000\n"
              "parse_config: Expected an int value for\n\tbad[2] -> x\n",
              Parse(table));
    ASSERT_EQ(5, table[0].n_values);
    EXPECT_EQ(1, shorts[0]);
    EXPECT_EQ(-2, shorts[1]);
    EXPECT_EQ(16, shorts[2]);
    EXPECT_EQ(0, shorts[3]);
    EXPECT_EQ(5, shorts[4]);
    ASSERT_EQ(2, table[1].n_values);  // the array ends at the bad piece
    EXPECT_EQ(2, bad[1]);
    ASSERT_EQ(2, table[2].n_values);
    EXPECT_EQ(1, ints[1]);  // 2^32 + 1 keeps its low 32 bits
    std::free(shorts);
    std::free(bad);
    std::free(ints);
}

TEST_F(ParseConfig, RealArraysLeaveOutOfRangeValues)
{
    Load("f 1.5 1e39 2.5 1e-40 3\nd 1 1e-320 2 nope 4\n");
    float *floats = nullptr;
    double *doubles = nullptr;
    def_s table[] = {{"f", PC_FLOAT_ARRAY, &floats, 1, 0},
                     {"d", PC_DOUBLE_ARRAY, &doubles, 1, 0},
                     {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ("parse_config: Value out of range for float in\n\tf\n"
              "parse_config: Value out of range for double in\n\td\n"
              "parse_config: Expected a float value for\n\td[3] -> nope\n",
              Parse(table));
    ASSERT_EQ(3, table[0].n_values);
    EXPECT_FLOAT_EQ(2.5f, floats[1]);
    EXPECT_FLOAT_EQ(3.0f, floats[2]);
    ASSERT_EQ(2, table[1].n_values);
    EXPECT_DOUBLE_EQ(2.0, doubles[1]);
    std::free(floats);
    std::free(doubles);
}

TEST_F(ParseConfig, StringListsDropTheStarAndSkipUnquotedElements)
{
    Load("l \"one\" \"two*\" bare \"three\"\nu \"a\" \"b\n");
    def_s table[] = {{"l", PC_STRING_LIST, nullptr, 1, 0},
                     {"u", PC_STRING_LIST, nullptr, 1, 0},
                     {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ("parse_config: Expected a string for\n\tl[2] -> bare \"three\"\n"
              "parse_config: Unbalanced quotes for\n\tu[1] -> \"b\n",
              Parse(table));
    auto **l = static_cast<char **>(table[0].value);
    ASSERT_EQ(3, table[0].n_values);
    EXPECT_STREQ("one", l[0]);
    EXPECT_STREQ("two", l[1]);
    EXPECT_STREQ("three", l[2]);
    ASSERT_EQ(1, table[1].n_values);
    EXPECT_STREQ("a", static_cast<char **>(table[1].value)[0]);
    FreeList(table[0]);
    FreeList(table[1]);
}

TEST_F(ParseConfig, LongPrefixedKeysAreFound)
{
    const std::string prefix(300, 'p');
    Load(prefix + "k 7\n");
    int32_t v = 0;
    def_s table[] = {{"k", PC_INT, &v, 2, 0}, {nullptr, 0, nullptr, 0, 0}};
    EXPECT_EQ("", Parse(table, prefix.c_str()));
    EXPECT_EQ(7, v);
}

}  // namespace
