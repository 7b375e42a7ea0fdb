// Fetching through servers: server lists and their failures, the fetch
// program's exact argument vectors (hostile names included), files already
// on disk, entries of no known type, removing fetched files; and the times
// of a request.
#include "promote_env.h"

#include <sqlite3.h>
#include <unistd.h>

#include <optional>

namespace {

using namespace promote_test;

TEST(TimeObjTest, ComparesAndFormats)
{
    const TimeObj t(2004, 5, 3600000 + 2 * 60000 + 3004);
    EXPECT_EQ("20040050102", t.GetTimeStr(FILENAME));
    EXPECT_EQ("2004/005 01:02:03", t.GetTimeStr(NICE_FMT));
    EXPECT_EQ("2004:005:01:02:03", t.GetTimeStr(COLON_SEP));
    EXPECT_EQ("01:02:03.04", t.GetTimeStr(WITH_MSEC));
    const TimeObj same(2004, 5, 3723004), later(2004, 6, 0), earlier(2003, 365, 86399999);
    EXPECT_EQ(0, t.CompareWith(&t));
    EXPECT_EQ(0, t.CompareWith(&same));
    EXPECT_EQ(-1, t.CompareWith(&later));
    EXPECT_EQ(1, t.CompareWith(&earlier));
}

TEST(CServerTest, FailuresMoveOnAndRemoveTheCurrentServer)
{
    CServer s("a");
    s.AddServer("b");
    EXPECT_EQ(0, s.GetCurrentServer());
    EXPECT_EQ(1, s.GetNextServer(0));
    EXPECT_EQ(-1, s.GetNextServer(1));
    EXPECT_EQ(0, s.GetCurrentServer());
    // Only failures of the current server count towards its removal.
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(s.ServerFailure(1));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(s.ServerFailure(0));
    EXPECT_TRUE(s.ServerFailure(0));
    EXPECT_EQ(1, s.GetNumServers());
    EXPECT_STREQ("b", s.GetServerIPFromID(0));
    // The last server stays.
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(s.ServerFailure(0));
    EXPECT_EQ(1, s.GetNumServers());
    EXPECT_EQ(-1, CServer().GetCurrentServer());
}

class Fetching : public PromoteTest {
protected:
    // A request of 14:30 to 16:30 listing header and data files.
    Promote &Listed(const char *app = "UNKNOWN", KOMBRA_BOOL force = sFalse)
    {
        request = std::make_unique<Promote>(app, force);
        request->SetBTime(2003, 32, H(14, 30));
        request->SetETime(2003, 32, H(16, 30));
        request->SetXStatus(OFF);
        request->AddSource(kKey);
        request->BuildDBList(PRO_HD, OFFLINE, 1000);
        return *request;
    }
    std::unique_ptr<Promote> request;
};

// The first server lacks the files: each entry is tried there, then on the
// next one.
TEST_F(Fetching, FailedServersHandOnToTheNext)
{
    Configure({"srvA", "srvB"});
    for (const char *name : {"CP3DRH20030321400H", "CP3DRH20030321400D", "CP3DRH20030321500H", "CP3DRH20030321500D"})
        OnServer("srvB", name);
    OpenCatalog();
    Promote &p = Listed();
    ASSERT_EQ(4u, p.GetEntryListSize());
    EXPECT_EQ(1, p.PromoteList());
    // The server list is shared by the entries: once srvB answered, it is
    // tried first.
    EXPECT_EQ((std::vector<std::vector<std::string>>{Fetch("srvA", "H", H(14)), Fetch("srvB", "H", H(14)),
                                                      Fetch("srvB", "D", H(14)), Fetch("srvB", "H", H(15)),
                                                      Fetch("srvB", "D", H(15))}),
              Runs());
    // A second promotion finds every file there and runs nothing.
    EXPECT_EQ(1, p.PromoteList());
    EXPECT_EQ(5u, Runs().size());
    // Removing the fetched files.
    EXPECT_EQ(sTrue, p.DemoteAllData(sFalse));
    EXPECT_FALSE(Entry::Online((Dir() + "/CP3DRH20030321400H").c_str()));
}

// A server dropped after its fourth failure hands this entry to the server
// that took its place, not to the one after that.
TEST_F(Fetching, RemovedServerDoesNotSkipTheNext)
{
    Configure({"srvA", "srvB", "srvC"});
    OnServer("srvB", "CP3DRH20030321400H");
    OnServer("srvB", "CP3DRH20030321400D");
    OpenCatalog();
    Promote &p = Listed();
    p.GetServers(0)->ServerFailure(0);
    p.GetServers(0)->ServerFailure(0);
    p.GetServers(0)->ServerFailure(0);
    EXPECT_EQ(1, p.PromoteSingleEntry(0, p.GetEntry(0), 0));
    EXPECT_EQ((std::vector<std::vector<std::string>>{Fetch("srvA", "H", H(14)), Fetch("srvB", "H", H(14))}), Runs());
    EXPECT_EQ(2, p.GetServers(0)->GetNumServers());
}

// Every server failing stops the promotion at that entry with its message;
// no server at all says so.
TEST_F(Fetching, NoServerCanFetch)
{
    OpenCatalog();
    Promote &p = Listed();
    EXPECT_EQ(0, p.PromoteList());
    EXPECT_EQ(1u, Runs().size());
    EXPECT_STREQ("Could not promote CP3DRH20030321400H from srvA", p.GetErrorMessage());

    Configure({});
    Promote &q = Listed();
    EXPECT_EQ(0, q.PromoteList());
    EXPECT_STREQ("Config files do not have a server defined for CP3DRH!", q.GetErrorMessage());
    EXPECT_EQ(1u, Runs().size());
}

// Files put on disk before the fetch are not fetched; an entry of no known
// type fails and runs nothing.
TEST_F(Fetching, PresentFilesAndUnknownTypesRunNothing)
{
    OpenCatalog();
    Promote &p = Listed();
    OnDisk("CP3DRH20030321400H");
    EXPECT_EQ(1, p.PromoteHDI(p.GetEntry(0), "srvA"));
    p.GetEntry(1)->SetNURVType(3);
    EXPECT_EQ(0, p.PromoteHDI(p.GetEntry(1), "srvA"));
    EXPECT_TRUE(Runs().empty());
}

// Names, addresses and paths holding blanks, quotes, ';' and $(...) reach
// the program as single words and run nothing; long words are not cut, and
// the error text stays within its 256 bytes.
TEST_F(Fetching, HostileWordsAreSingleArguments)
{
    const std::string program = root.file("bin dir/fetch 'it'; $(touch " + root.file("pwned") + ")");
    Install(program);
    const std::string server = "srv; touch " + root.file("pwned2") + " `id` $(id)" + std::string(600, 'x');
    Configure({server}, program);
    OpenCatalog();
    const std::string app = "My App \"quoted\" $(touch " + root.file("pwned3") + ")" + std::string(2000, 'y');
    Promote &p = Listed(app.c_str(), sTrue);
    EXPECT_EQ(0, p.PromoteList());
    auto expected = Fetch(server, "H", H(14), "2", app, std::filesystem::path(program).filename().string());
    expected.back() = "1";
    ASSERT_EQ(1u, Runs().size());
    EXPECT_EQ(expected, Runs()[0]);
    for (const char *name : {"pwned", "pwned2", "pwned3"})
        EXPECT_FALSE(std::filesystem::exists(root.file(name))) << name;
    EXPECT_EQ(255u, std::string(p.GetErrorMessage()).size());
}

// A DataPromote named without a folder is found as a shell finds a command:
// on PATH, never in the working directory, where a decoy of the same name
// waits.
struct BareNameCase {
    const char *name;
    bool onPath;  // the stand-in is in the folder PATH names
};

void PrintTo(const BareNameCase &c, std::ostream *os)
{
    *os << c.name;
}

class BareProgramName : public Fetching, public ::testing::WithParamInterface<BareNameCase> {};

TEST_P(BareProgramName, IsLookedForOnPathOnly)
{
    const std::string bin = root.file("path-bin"), work = root.file("work");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(work);
    if (GetParam().onPath)
        Install(bin + "/fetch_data");
    kombra_test::WriteFile(work + "/fetch_data", "#!/bin/sh\necho ran > '" + root.file("decoy-ran") + "'\n");
    std::filesystem::permissions(work + "/fetch_data", std::filesystem::perms::owner_all);
    Configure({"srvA"}, "fetch_data");
    OnServer("srvA", "CP3DRH20030321400H");
    OpenCatalog();
    kombra_test::ScopedEnv path("PATH", bin);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(work);
    Promote &p = Listed();
    const int fetched = p.PromoteHDI(p.GetEntry(0), "srvA");
    std::filesystem::current_path(before);
    EXPECT_EQ(GetParam().onPath ? 1 : 0, fetched);
    EXPECT_EQ(GetParam().onPath ? 1u : 0u, Runs().size());
    EXPECT_FALSE(std::filesystem::exists(root.file("decoy-ran")));
}

INSTANTIATE_TEST_SUITE_P(Fetching, BareProgramName,
                         ::testing::Values(BareNameCase{"OnPath", true}, BareNameCase{"NotOnPath", false}),
                         [](const auto &info) { return std::string(info.param.name); });

// A fetch program that leaves half the file and fails, or never ends (only
// then the time limit is shortened, so that a slow start is never cut): the
// promotion fails with one line naming the file and how the program ended,
// and no part of the file is left to be taken for the whole; a path that
// was there before the fetch stays.  While it waits the wait hook runs.
struct FailedFetchCase {
    const char *name;
    const char *standin;
    const char *ended;  // how the program ended, in the line
    bool linkBefore;    // a dangling link at the entry's path before the fetch
};

void PrintTo(const FailedFetchCase &c, std::ostream *os)
{
    *os << c.name;
}

int g_hook_calls = 0;

class FailedFetch : public Fetching, public ::testing::WithParamInterface<FailedFetchCase> {};

TEST_P(FailedFetch, LeavesNoPartOfTheFile)
{
    const FailedFetchCase &c = GetParam();
    Install(root.file("bin/fetch_data"), c.standin);
    OnServer("srvA", "CP3DRH20030321400H");
    const std::string path = Dir() + "/CP3DRH20030321400H";
    if (c.linkBefore) {
        std::filesystem::create_directories(Dir());
        std::filesystem::create_symlink(root.file("elsewhere"), path);
    }
    OpenCatalog();
    const bool hangs = std::string(c.standin) == "fetch_hang_standin";
    kombra_test::ScopedEnv limit("KOMBRA_FETCH_TIMEOUT", hangs ? std::optional<std::string>("1") : std::nullopt);
    g_hook_calls = 0;
    pro_SetWaitHook([] { ++g_hook_calls; });
    Promote &p = Listed();
    testing::internal::CaptureStdout();
    const int fetched = p.PromoteList();
    const std::string said = testing::internal::GetCapturedStdout();
    pro_SetWaitHook(nullptr);
    EXPECT_EQ(0, fetched);
    EXPECT_NE(std::string::npos,
              said.find(std::string("Could not promote CP3DRH20030321400H from srvA: fetch_data ") + c.ended + "\n"))
        << said;
    EXPECT_EQ(c.linkBefore, std::filesystem::is_symlink(path));
    if (!c.linkBefore) {
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    if (hangs) {
        EXPECT_GT(g_hook_calls, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fetching, FailedFetch,
    ::testing::Values(FailedFetchCase{"ExitsAfterHalfTheFile", "fetch_partial_standin", "exited with status 1", false},
                      FailedFetchCase{"NeverEnds", "fetch_hang_standin", "did not end within 1 s and was stopped",
                                      false},
                      FailedFetchCase{"PathThereBefore", "fetch_partial_standin", "exited with status 1", true}),
    [](const auto &info) { return std::string(info.param.name); });

// The time limit of a fetch: KOMBRA_FETCH_TIMEOUT seconds, 300 when unset or
// not a usable number.
TEST(FetchTimeLimit, ComesFromTheSetting)
{
    const std::pair<std::optional<std::string>, int> cases[] = {
        {std::nullopt, 300}, {"2", 2},   {"86400", 86400}, {"0", 300},
        {"-5", 300},         {"2s", 300}, {"", 300},        {"86401", 300}};
    for (const auto &[value, seconds] : cases) {
        kombra_test::ScopedEnv env("KOMBRA_FETCH_TIMEOUT", value);
        EXPECT_EQ(seconds, pro_FetchTimeLimit()) << value.value_or("(unset)");
    }
}

// A listing while another connection keeps the catalog locked and the
// program ends its waits: the entry is BAD, and no line blames the
// configuration, as the busy catalog has said why.
TEST_F(Fetching, ACatalogLockedAsTheProgramEndsBlamesNoConfiguration)
{
    OpenCatalog();
    sqlite3 *other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(root.file("nurv.db3").c_str(), &other));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr));
    dbEndWaits(1);
    Entry e;
    e.SetSource(kKey);
    e.SetBTime(2003, 32, H(14));
    testing::internal::CaptureStderr();
    e.FillEntry(PRO_HEADER);
    const std::string said = testing::internal::GetCapturedStderr();
    dbEndWaits(0);
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(BAD, e.GetStatus());
    EXPECT_EQ(std::string::npos, said.find("PostTimePath")) << said;
}

TEST_F(Fetching, PlainInterfaceToleratesNullAndRepeats)
{
    OpenCatalog();
    pro_AddSource(nullptr, kKey);
    pro_FreePromote(nullptr);
    EXPECT_EQ(sFalse, pro_PromoteAll(nullptr));
    EXPECT_EQ(sFalse, pro_NeedToPromote(nullptr));
    EXPECT_EQ(0, pro_DemoteAll(nullptr));
    void *p = pro_InitPromote(2003, 32, H(14, 30), 2003, 32, H(14, 40), 0);
    EXPECT_EQ(sFalse, pro_NeedToPromote(p));  // no source
    pro_AddSource(p, 0);
    pro_AddSource(p, kKey);
    pro_AddSource(p, kKey);
    EXPECT_EQ(1u, static_cast<Promote *>(p)->GetSources().size());
    pro_FreePromote(p);

    Promote q("UNKNOWN", sFalse);
    q.SetBTime(2003, 32, 1, 2, 3, 4);
    q.AddSource(kKey);
    q.SetETime(2003, 32, 1, 2, 3, 5);
    q.SetXStatus(OFF);
    EXPECT_EQ(0, q.BuildDBList(PRO_HEADER, OFFLINE, 10));  // nothing at 01:02:03.004
    EXPECT_EQ(0, pro_PromotePNUR(kKey));                    // nothing on a server: the fetch fails
}

}  // namespace
