// A configured archive for the promotion tests: the standard configuration
// with a virtual instrument of 33 characters added and the servers, fetch
// program and data root of the test; the catalog of the program's back end
// with three header and data files and one description of CP3DRH; the
// stand-in fetch program installed as the sources' DataPromote, copying from
// a "remote" folder per server.
#pragma once

#include "Promote.h"
#include "config_fixture.h"
#include "config_reset.h"
#include "libCfg.h"
#include "libdbSQL.h"
#include "sqlite_catalog_fixture.h"
#include "support.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace promote_test {

using namespace kombra_fixtures;

constexpr KOMBRA_ULONG kKey = 8921217;  // CLUSTERII/C1/HALDE/3DR/CP3DRH
inline const std::string kLongVinst = "CP3DRH_WITH_A_NAME_OF_33_LETTERS_";  // 33 characters
inline const KOMBRA_ULONG kLongKey = PackDataKey(1, 1, 1, 1, 3);

inline int H(int hour, int minute = 0)
{
    return hour * 3600000 + minute * 60000;
}

// The program's catalog: written under dataRoot (SQLite) or into a database
// of its own on the private MariaDB server, with the environment pointed at
// it for its lifetime.
class TestCatalog {
public:
    TestCatalog(const std::string &dataRoot, const StandardCatalog &catalog);
    ~TestCatalog();
    TestCatalog(const TestCatalog &) = delete;
    TestCatalog &operator=(const TestCatalog &) = delete;
    static dbType Type();
    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

class PromoteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(root.path() / "config");
        std::filesystem::create_directories(root.path() / "tmp");
        std::filesystem::create_directories(root.path() / "pnur");
        Configure({"srvA"});
        Install(root.file("bin/fetch_data"));
        const std::uint32_t key = kKey;
        catalog.sources = SourcesOfTree(config.projects);
        catalog.hdEntries = {{key, {2003, 32, H(14)}, {2003, 32, H(15)}, 4096, "A1"},
                             {key, {2003, 32, H(15)}, {2003, 32, H(16)}, 4096, "A1"},
                             {key, {2003, 32, H(17)}, {2003, 32, H(18)}, 4096, "A1"}};
        catalog.descriptionEntries = {{key, {2003, 1, 0}, {2004, 1, 0}, 512, "K1"}};
    }
    void TearDown() override
    {
        dbClose();
        dbSetDatabaseType(Tarvo, nullptr);
        db.reset();
        cfg_test::ResetConfiguration();
    }

    // The configuration with servers as every source's NetID values and
    // program as its DataPromote.
    void Configure(const std::vector<std::string> &servers, const std::string &program = "")
    {
        config = MakeStandardConfig(root.str());
        // A 33-character virtual instrument beside CP3DRH.
        config.projects[0].children[0].children[0].children[0].children.push_back(HierNode{kLongVinst, {}});
        for (DbItem &item : config.db.items) {
            if (item.name == "NetID")
                item.defaults = servers;
            if (item.name == "DataPromote" && !program.empty())
                item.defaults = {program};
        }
        WriteText(root.file("config/PROJECTS.cfg"), ProjectsCfgText(config.projects));
        WriteText(root.file("config/DB.cfg"), DbCfgText(config.db));
        WriteText(root.file("config/kombra.cfg"),
                  KombraCfgText({{"KOMBRA_CONFIG", root.file("config")}, {"KOMBRA_DATA", root.str()}}));
        cfg_test::ResetConfiguration();
        CfgInit();
    }
    // A stand-in fetch program at path.
    static void Install(const std::string &path, const std::string &standin = "fetch_standin")
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::remove(path);
        std::filesystem::create_symlink(kombra_test::ToolsDir() + "/standins/" + standin, path);
    }
    void OpenCatalog()
    {
        dbClose();
        db.reset();
        db = std::make_unique<TestCatalog>(root.str(), catalog);
        ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    }

    std::string Dir() const { return root.str() + "/data/CLUSTERII/C1/HALDE/3DR"; }
    void OnDisk(const std::string &name) const
    {
        std::filesystem::create_directories(Dir());
        kombra_test::WriteFile(Dir() + "/" + name, name);
    }
    void OnServer(const std::string &server, const std::string &name) const
    {
        std::filesystem::create_directories(root.path() / "remote" / server);
        kombra_test::WriteFile(root.file("remote/" + server + "/" + name), name);
    }
    // The argument vectors the stand-in fetch program was run with.
    std::vector<std::vector<std::string>> Runs() const
    {
        std::vector<std::vector<std::string>> runs;
        std::ifstream in(root.file("fetch.log"));
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> words(1);
            for (size_t i = 0; i < line.size(); ++i) {
                if (line[i] == '\t') {
                    words.emplace_back();
                } else if (line[i] == '\\' && i + 1 < line.size()) {
                    const char c = line[++i];
                    words.back() += c == 't' ? '\t' : c == 'n' ? '\n' : c;
                } else {
                    words.back() += line[i];
                }
            }
            runs.push_back(words);
        }
        return runs;
    }
    // The words of a fetch of CP3DRH of type from server at day 32, msec.
    static std::vector<std::string> Fetch(const std::string &server, const std::string &type, int msec,
                                          const std::string &post = "2", const std::string &app = "UNKNOWN",
                                          const std::string &program = "fetch_data")
    {
        return {program, server, type, "CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH", "2003", "32",
                std::to_string(msec), "0", post, "xxx", app, "0"};
    }

    kombra_test::TempDir root;
    kombra_test::ScopedEnv configEnv{"KOMBRA_CONFIG", root.file("config")};
    kombra_test::ScopedEnv homeEnv{"KOMBRA_HOME", std::nullopt};
    kombra_test::ScopedEnv tempEnv{"TEMP", root.file("tmp")};
    kombra_test::ScopedEnv logEnv{"KOMBRA_STANDIN_LOG", root.file("fetch.log")};
    kombra_test::ScopedEnv remoteEnv{"KOMBRA_STANDIN_REMOTE", root.file("remote")};
    kombra_test::ScopedEnv archiveEnv{"KOMBRA_STANDIN_ARCHIVE", root.file("data")};
    kombra_test::ScopedEnv pnurEnv{"KOMBRA_STANDIN_PNUR", root.file("pnur")};
    StandardConfig config;
    StandardCatalog catalog;
    std::unique_ptr<TestCatalog> db;
};

}  // namespace promote_test
