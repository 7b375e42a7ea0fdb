// Line, white-space, file-name and user helpers.
#include "libant.h"
#include "support.h"

#include <cstdio>
#include <string>

using kombra_test::ScopedEnv;

namespace {

TEST(TextHelpers, StrlastPastWhiteBasename)
{
    EXPECT_EQ(nullptr, strlast(nullptr));
    EXPECT_EQ(nullptr, strlast(""));
    const char *s = "abc";
    EXPECT_EQ(s + 2, strlast(s));

    EXPECT_EQ(nullptr, PastWhite(nullptr));
    const char *w = " \t\n\v\f\rx y";
    EXPECT_EQ(w + 6, PastWhite(w));
    const char *allWhite = "  ";
    EXPECT_EQ(allWhite + 2, PastWhite(allWhite));

    EXPECT_EQ(nullptr, BasenameOf(nullptr));
    EXPECT_STREQ("c.cfg", BasenameOf("/a/b/c.cfg"));
    EXPECT_STREQ("plain", BasenameOf("plain"));
    EXPECT_STREQ("", BasenameOf("/a/b/"));
}

TEST(TextHelpers, IndentCountsTabsAsEight)
{
    EXPECT_EQ(0, IndentOf(nullptr));
    EXPECT_EQ(9, IndentOf(" \tx"));
    EXPECT_EQ(9, IndentOf("\t x"));
    EXPECT_EQ(3, IndentOf("   "));
}

TEST(TextHelpers, MfgetsDropsOneNewline)
{
    kombra_test::TempDir dir;
    kombra_test::WriteFile(dir.file("f"), "one\n\ntwo");
    FILE *in = std::fopen(dir.file("f").c_str(), "r");
    ASSERT_NE(nullptr, in);
    char buf[8];
    EXPECT_STREQ("one", mfgets(buf, sizeof buf, in));
    EXPECT_STREQ("", mfgets(buf, sizeof buf, in));
    EXPECT_STREQ("two", mfgets(buf, sizeof buf, in));
    EXPECT_EQ(nullptr, mfgets(buf, sizeof buf, in));
    std::fclose(in);
}

TEST(SystemHelpers, TempDirectory)
{
    {
        ScopedEnv t("TEMP", std::nullopt);
        EXPECT_STREQ("/tmp", GetTempDirectory());
    }
    {
        ScopedEnv t("TEMP", "/scratch/me");
        EXPECT_STREQ("/scratch/me", GetTempDirectory());
    }
    ScopedEnv t("TEMP", std::string(600, 'd'));
    EXPECT_EQ(254u, std::string(GetTempDirectory()).size());
}

TEST(SystemHelpers, UserName)
{
    {
        ScopedEnv u("USER", "alice");
        EXPECT_STREQ("alice", GetUserName());
    }
    {
        ScopedEnv u("USER", std::string(100, 'u'));
        EXPECT_EQ(29u, std::string(GetUserName()).size());
    }
    ScopedEnv u("USER", std::nullopt);
    // The password database of the test machine knows the effective user.
    EXPECT_STRNE("", GetUserName());
}

TEST(SystemHelpers, HomeDirectory)
{
    {
        ScopedEnv h("HOME", "/home/x");
        EXPECT_STREQ("/home/x", GetHomeDirectory());
    }
    ScopedEnv h("HOME", std::nullopt);
    ASSERT_NE(nullptr, GetHomeDirectory());
    EXPECT_EQ('/', GetHomeDirectory()[0]);
}

}  // namespace
