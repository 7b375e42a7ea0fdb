// Replays the parser's fuzz target over the generated seed corpus, and over
// the files of $KELD_FUZZ_CORPUS (a folder of a fuzzing run) when it is set.
#include "fuzz/keld_corpus.h"
#include "fuzz_replay.h"

namespace {

KOMBRA_FUZZ_REPLAY_TESTS(KeldFuzzReplay, KeldSeedCorpus, 20, "KELD_FUZZ_CORPUS", kombra_test::FuzzChatter::Stdout)

}  // namespace
