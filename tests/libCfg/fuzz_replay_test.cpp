// Replays the configuration readers' fuzz target over its generated seed
// corpus, and over the files of $CFG_FUZZ_CORPUS (a folder of a fuzzing run)
// when it is set.  The readers' reports on stderr are dropped.
#include "fuzz/cfg_corpus.h"
#include "fuzz_replay.h"

namespace {

KOMBRA_FUZZ_REPLAY_TESTS(CfgFuzzReplay, CfgSeedCorpus, 30, "CFG_FUZZ_CORPUS", kombra_test::FuzzChatter::Stderr)

}  // namespace
