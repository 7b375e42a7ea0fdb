// Replays the older binary format's fuzz target over its generated seed
// corpus, and over the files of $KELD_OLD_FUZZ_CORPUS (a folder of a fuzzing
// run) when it is set.
#include "fuzz/keld_old_corpus.h"
#include "fuzz_replay.h"

namespace {

KOMBRA_FUZZ_REPLAY_TESTS(KeldOldFuzzReplay, KeldOldSeedCorpus, 20, "KELD_OLD_FUZZ_CORPUS",
                         kombra_test::FuzzChatter::None)

}  // namespace
