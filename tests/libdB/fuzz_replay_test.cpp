// Replays the dBASE readers' fuzz target over its generated seed corpus, and
// over the files of $DBF_FUZZ_CORPUS (a folder of a fuzzing run) when it is
// set.  The readers' reports on stderr are dropped.
#include "fuzz/dbf_corpus.h"
#include "fuzz_replay.h"

namespace {

KOMBRA_FUZZ_REPLAY_TESTS(DbfFuzzReplay, DbfSeedCorpus, 40, "DBF_FUZZ_CORPUS", kombra_test::FuzzChatter::Stderr)

}  // namespace
