// A configured archive for the dBASE catalog tests: the standard
// configuration under a temporary root, loaded with CfgInit.
#pragma once

#include "DbDefs.h"
#include "config_fixture.h"
#include "config_reset.h"
#include "support.h"

#include <filesystem>
#include <string>

class ConfiguredArchive : public ::testing::Test {
protected:
    ConfiguredArchive()
    {
        std::filesystem::create_directories(root.path() / "config");
        kombra_fixtures::WriteStandardConfig(configDir(), root.str());
    }
    ~ConfiguredArchive() override
    {
        cfg_test::ResetConfiguration();
        Tarvo_dbClose();
    }

    std::string configDir() const { return root.str() + "/config"; }
    // Loads the configuration; DB.cfg may be replaced before.
    void Load()
    {
        testing::internal::CaptureStderr();
        CfgInit();
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ("", err);
    }
    KOMBRA_ULONG Key(const char *p, const char *m, const char *e, const char *i, const char *v)
    {
        KOMBRA_ULONG key = 0;
        EXPECT_EQ(1, tarvo_get_data_key(p, m, e, i, v, &key));
        return key;
    }

    kombra_test::TempDir root;
    kombra_test::ScopedEnv configEnv{"KOMBRA_CONFIG", configDir()};
    kombra_test::ScopedEnv homeEnv{"KOMBRA_HOME", std::nullopt};
};
