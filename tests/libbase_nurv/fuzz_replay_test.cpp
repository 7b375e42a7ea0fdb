// Replays the record layer's fuzz target over its generated seed corpus, and
// over the files of $NURV_FUZZ_CORPUS (a folder of a fuzzing run) when it is
// set.
#include "fuzz/nurv_corpus.h"
#include "fuzz_replay.h"

namespace {

KOMBRA_FUZZ_REPLAY_TESTS(NurvFuzzReplay, NurvSeedCorpus, 20, "NURV_FUZZ_CORPUS", kombra_test::FuzzChatter::None)

}  // namespace
