// Replays one of the exchange library's fuzz targets over its generated
// seed corpus, and over the files of a fuzzing run's folder when its
// variable is set; the program is built once per target (KVE_FUZZ_TARGET).
#include "fuzz/kve_corpus.h"
#include "fuzz_replay.h"

namespace {

#if KVE_FUZZ_TARGET == 1
KOMBRA_FUZZ_REPLAY_TESTS(KveFlatFuzzReplay, KveFlatSeedCorpus, 8, "KVE_FLAT_FUZZ_CORPUS",
                         kombra_test::FuzzChatter::Stdout)
#elif KVE_FUZZ_TARGET == 2
KOMBRA_FUZZ_REPLAY_TESTS(KveTimeFuzzReplay, KveTimeSeedCorpus, 5, "KVE_TIME_FUZZ_CORPUS",
                         kombra_test::FuzzChatter::None)
#else
KOMBRA_FUZZ_REPLAY_TESTS(KveCdfFuzzReplay, KveCdfSeedCorpus, 8, "KVE_CDF_FUZZ_CORPUS",
                         kombra_test::FuzzChatter::Stderr)
#endif

}  // namespace
