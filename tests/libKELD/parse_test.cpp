// Parsing: the tree, arrays and their warnings, values of the wrong type, the
// once-per-file reporter, and what a file leaves when parsing stops early.
#include "keld_test_util.h"

#include <cstdio>
#include <vector>

using kombra_test::TempDir;
using keld_test::IntAt;
using keld_test::ParseText;
using keld_test::Report;

namespace {

std::vector<int> Ints(const keld_map *map, const char *key)
{
    std::vector<int> out;
    for (const auto &entry : KELDFind(map, key))
        out.push_back(entry.val.ival);
    return out;
}

std::vector<std::string> Strings(const keld_map *map, const char *key)
{
    std::vector<std::string> out;
    for (const auto &entry : KELDFind(map, key))
        out.push_back(entry.val.sval);
    return out;
}

TEST(KeldTree, NodesOfEveryKind)
{
    TempDir dir;
    kombra_test::WriteFile(dir.file("t.V.v3"), "KELD mine {\n int i = 1;\n string s = \"four\";\n"
                                               " string a[3] = {\"x\", \"y\", \"z\"};\n"
                                               " struct S { char c[2] = {1, 2}; };\n}\n");
    FILE *in = std::fopen(dir.file("t.V.v3").c_str(), "r");
    ASSERT_NE(nullptr, in);
    v_lex_destroy();
    v_in = in;
    keld_lineno = 1;
    ASSERT_EQ(0, v_parse());
    std::fclose(in);
    v_lex_destroy();

    const symtab_s *root = GLOBAL_KELD;
    ASSERT_NE(nullptr, root);
    EXPECT_STREQ("KELD", root->symname);
    EXPECT_EQ(Y_KELD, root->symtype);
    auto *i = static_cast<symtab_s *>(root->ptr);
    symtab_s *s = i->next, *a = s->next, *st = a->next;
    EXPECT_EQ(nullptr, st->next);
    EXPECT_EQ(a, keld_get_list_head(st)->next->next);
    EXPECT_EQ(root, st->parent);
    EXPECT_EQ((std::vector<int>{Y_INT, 4, 1}), (std::vector<int>{i->symtype, i->symsize, i->array_length}));
    EXPECT_EQ((std::vector<int>{Y_STRING, 4, 1}), (std::vector<int>{s->symtype, s->symsize, s->array_length}));
    EXPECT_EQ((std::vector<int>{Y_STRING, 0, 3}), (std::vector<int>{a->symtype, a->symsize, a->array_length}));
    EXPECT_STREQ("z", static_cast<char **>(a->ptr)[2]);
    const auto *c = static_cast<const symtab_s *>(st->ptr);
    EXPECT_EQ(st, c->parent);
    EXPECT_EQ((std::vector<int>{Y_CHAR, 1, 2}), (std::vector<int>{c->symtype, c->symsize, c->array_length}));
    EXPECT_EQ(2, static_cast<char *>(c->ptr)[1]);
    EXPECT_EQ(1, DeleteKELDSYMTAB(GLOBAL_KELD));
    GLOBAL_KELD = nullptr;
}

TEST(KeldKeys, StructsJoinWithPointsUnderTheRootName)
{
    TempDir dir;
    const auto parsed = ParseText(dir, "KELD anything {\n struct A { struct B { int c = 1; }; string n = 'q'; };\n"
                                       " int d = 1; int d[2] = {2, 3};\n}\n");
    EXPECT_EQ("", parsed.out);
    EXPECT_EQ(1, IntAt(parsed.map.get(), "KELD.A.B.c"));
    EXPECT_EQ(std::vector<std::string>{"q"}, Strings(parsed.map.get(), "KELD.A.n"));
    // A key declared twice yields all its values in file order.
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Ints(parsed.map.get(), "KELD.d"));
    EXPECT_EQ(3u, KELDKeyCount(parsed.map.get()));
}

struct ArrayCase {
    const char *name;
    const char *decl;            // declaration of "a" on line 2
    std::vector<int> stored;     // values under KELD.a
    const char *message;         // reported message, or nullptr
    const char *token;
};

void PrintTo(const ArrayCase &c, std::ostream *os) { *os << c.name; }

class KeldArrays : public testing::TestWithParam<ArrayCase> {};

TEST_P(KeldArrays, FillAndWarnings)
{
    const ArrayCase &c = GetParam();
    TempDir dir;
    const auto parsed = ParseText(dir, std::string("KELD x {\n ") + c.decl + "\n int after = 9;\n}\n");
    EXPECT_EQ(c.stored, Ints(parsed.map.get(), "KELD.a"));
    EXPECT_EQ(9, IntAt(parsed.map.get(), "KELD.after"));
    EXPECT_EQ(c.message ? Report(dir.file("test.V.v3"), 2, c.message, c.token) : "", parsed.out);
}

const char *kSmall = "WARNING: array size does not match the number of elements (too small)!";
const char *kBig = "WARNING: array size does not match the number of elements (too big)!";
const char *kRange = "WARNING: array size is out of range!";
const char *kType = "WARNING: value does not match the declared type!";

INSTANTIATE_TEST_SUITE_P(
    Keld, KeldArrays,
    testing::Values(
        ArrayCase{"Exact", "int a[3] = {1, 2, 3};", {1, 2, 3}, nullptr, nullptr},
        ArrayCase{"TooManyKeepTheLast", "int a[3] = {1, 2, 3, 4};", {2, 3, 4}, kSmall, "}"},
        ArrayCase{"TooFewFillTheLastSlots", "int a[4] = {7, 8};", {0, 0, 7, 8}, kBig, ";"},
        ArrayCase{"SizeOneIsOneValue", "int a[1] = {5};", {5}, nullptr, nullptr},
        ArrayCase{"ZeroSizeRefused", "int a[0] = {1};", {}, kRange, "0"},
        ArrayCase{"NegativeSizeRefused", "int a[-3] = {1};", {}, kRange, "-3"},
        ArrayCase{"HugeSizeRefused", "int a[0x7FFFFFFF] = {1};", {}, kRange, "0x7FFFFFFF"},
        ArrayCase{"StringInIntArray", "int a[2] = {\"s\", 4};", {0, 4}, kType, "}"},
        ArrayCase{"IntGivenString", "int a = 'x';", {0}, kType, ";"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(KeldArrays, StringSlotsHoldWholePointersAndEmptyWhenUnfilled)
{
    TempDir dir;
    const auto parsed = ParseText(dir, "KELD x {\n string s[3] = {\"first\", \"second\", \"third\"};\n"
                                       " string t[3] = {'z'};\n string u[2] = {\"p\", 1.5};\n"
                                       " string v = 7;\n string one[1] = {\"only\"};\n}\n");
    EXPECT_EQ(Report(dir.file("test.V.v3"), 3, kBig, ";"), parsed.out);
    const keld_map *map = parsed.map.get();
    EXPECT_EQ((std::vector<std::string>{"first", "second", "third"}), Strings(map, "KELD.s"));
    EXPECT_EQ((std::vector<std::string>{"", "", "z"}), Strings(map, "KELD.t"));
    EXPECT_EQ((std::vector<std::string>{"p", ""}), Strings(map, "KELD.u"));
    EXPECT_EQ(std::vector<std::string>{""}, Strings(map, "KELD.v"));
    EXPECT_EQ(std::vector<std::string>{"only"}, Strings(map, "KELD.one"));
}

TEST(KeldArrays, LargestArraysAndTheTotalPerDescription)
{
    TempDir dir;
    std::string text = "KELD x {\n int big[1048577] = {1};\n";
    for (int i = 0; i < 4; ++i)
        text += " char c" + std::to_string(i) + "[1048576] = {1};\n";
    text += " int over[1] = {2};\n}\n";
    const auto parsed = ParseText(dir, text);
    EXPECT_EQ(Report(dir.file("test.V.v3"), 2, kRange, "1048577"), parsed.out);
    EXPECT_TRUE(KELDFind(parsed.map.get(), "KELD.big").empty());
    EXPECT_EQ(1048576u, KELDFind(parsed.map.get(), "KELD.c3").size());
    EXPECT_EQ(1, KELDFind(parsed.map.get(), "KELD.c3").back().val.cval);
    EXPECT_TRUE(KELDFind(parsed.map.get(), "KELD.over").empty());
}

TEST(KeldReporter, OncePerFileNameThenAgainForAnother)
{
    TempDir dir;
    const std::string twoFaults = "KELD x {\n int a[1] = {1, 2};\n int b[1] = {3, 4};\n}\n";
    auto first = ParseText(dir, twoFaults, "one.V.v3");
    EXPECT_EQ(Report(dir.file("one.V.v3"), 2, kSmall, "}"), first.out);
    EXPECT_EQ(std::vector<int>{4}, Ints(first.map.get(), "KELD.b"));
    // The same name again stays silent; another name reports with its own line.
    EXPECT_EQ("", ParseText(dir, twoFaults, "one.V.v3").out);
    EXPECT_EQ(Report(dir.file("two.V.v3"), 3, "syntax error", ";"),
              ParseText(dir, "KELD x {\n\n int b = ;\n}\n", "two.V.v3").out);
    // A long name is reported whole; the global keeps its first 254 characters.
    const std::string longName = std::string(250, 'n') + ".V.v3";
    EXPECT_EQ(Report(dir.file(longName), 1, "syntax error", "?"), ParseText(dir, "?", longName).out);
    EXPECT_EQ(dir.file(longName).substr(0, 254), GLOBAL_KELDFileName);
}

TEST(KeldStream, EarlyStopsLeaveTheLastCompletedRootOrNothing)
{
    TempDir dir;
    // A syntax error after the root: the root stands; in a file read in one
    // block the parse ends there.
    const std::string twoRoots = "KELD a { int x = 1; } ; KELD b { int y = 2; }\n";
    auto small = ParseText(dir, twoRoots, "small.V.v3");
    EXPECT_EQ(1, IntAt(small.map.get(), "KELD.x"));
    EXPECT_TRUE(KELDFind(small.map.get(), "KELD.y").empty());

    // In a longer file parsing goes on after the error and the last root wins.
    const std::string padding = "/*" + std::string(9000, '-') + "*/\n";
    auto big = ParseText(dir, "KELD a { int x = 1; } ;\n" + padding + "KELD b { int y = 2; }\n", "big.V.v3");
    EXPECT_TRUE(KELDFind(big.map.get(), "KELD.x").empty());
    EXPECT_EQ(2, IntAt(big.map.get(), "KELD.y"));

    // A file without a complete root gives an empty map, whatever came before.
    auto none = ParseText(dir, "KELD c { int z = 3; ", "none.V.v3");
    EXPECT_EQ(1, none.status);
    ASSERT_NE(nullptr, none.map);
    EXPECT_EQ(0u, KELDKeyCount(none.map.get()));
}

TEST(KeldStream, ParserStackGrowsToItsLimit)
{
    TempDir dir;
    const auto arrayOf = [](int n) {
        std::string text = "KELD x {\n int a[" + std::to_string(n) + "] = {";
        for (int i = 0; i < n; ++i)
            text += (i ? "," : "") + std::to_string(i);
        return text + "};\n}\n";
    };
    const auto fits = ParseText(dir, arrayOf(4000), "fits.V.v3");
    EXPECT_EQ("", fits.out);
    EXPECT_EQ(4000u, KELDFind(fits.map.get(), "KELD.a").size());

    const auto deep = ParseText(dir, arrayOf(6000), "deep.V.v3");
    EXPECT_NE(std::string::npos, deep.out.find(": memory exhausted at '"));
    EXPECT_EQ(0u, KELDKeyCount(deep.map.get()));
}

}  // namespace
