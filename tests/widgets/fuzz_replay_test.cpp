// Replays the settings reader's fuzz target over its generated seed corpus,
// and over the files of $SETTINGS_FUZZ_CORPUS (a folder of a fuzzing run)
// when it is set.
#include "fuzz/settings_corpus.h"
#include "fuzz_replay.h"

namespace {

KOMBRA_FUZZ_REPLAY_TESTS(SettingsFuzzReplay, SettingsSeedCorpus, 20, "SETTINGS_FUZZ_CORPUS",
                         kombra_test::FuzzChatter::None)

} // namespace
