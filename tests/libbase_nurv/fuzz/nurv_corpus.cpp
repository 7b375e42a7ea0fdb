// Seed inputs of the record layer's fuzz target (see nurv_corpus.h).
#include "nurv_corpus.h"

#include "nurv_fixture.h"
#include "nurv_fuzz_input.h"

#include <cstdint>

namespace {

using namespace kombra_fixtures;

struct Seed {
    int sensors = 2, levels = 4, maxNss = 1, sets = 1;
    bool nano = false, oneStep = false, realTime = false;
    int senMode = 4, daMethod = 0, bits = 16;
    int cals = 0, use = 1, target = 0, scope = 0;
};

// The files of a seed's layout: one header, two records (the second of
// sets sensor sets), and whatever the fault edits.
std::string Build(const Seed &s, void (*fault)(NurvFiles &) = nullptr)
{
    NurvFiles f;
    f.layout.sensors = s.sensors;
    f.layout.levels = s.levels;
    f.layout.maxNss = s.maxNss;
    f.layout.nano = s.nano;
    f.layout.smpId = s.oneStep ? 2 : 0;
    f.layout.maxPacking = s.oneStep ? s.levels % 4 + 1 : 1;
    f.layout.senMode = s.senMode;
    f.layout.daMethod = s.daMethod;
    f.layout.sensorBits.assign(static_cast<size_t>(s.sensors), s.bits);
    for (int i = 0; i < s.cals; ++i)
        f.layout.calSets.push_back({.use = s.use, .bits = s.bits, .target = s.target, .scope = s.scope});

    const int steps = s.oneStep ? f.layout.maxPacking : s.levels;
    NurvHeader h{.dataAccum = 125, .dataLat = 3, .swpReset = 7, .modes = {1, 2}};
    h.nSample = static_cast<uint16_t>(steps);
    for (int i = 0; i < (s.oneStep ? 1 : steps); ++i)
        h.sampIndex.push_back(static_cast<int16_t>(i * 2));
    for (int c = 0; c < s.sensors; ++c)
        h.sensorIndex.push_back(static_cast<int16_t>(c));
    f.headers = {h};
    const NurvCalCounts counts = NurvCalibrationCounts(f.layout, steps, s.sensors);
    const int w = f.layout.containerBits();
    const int64_t top = w >= 32 ? 0x7FFFFFFF : (int64_t{1} << w) - 1;
    NurvSensorSet set;
    for (int i = 0; i < steps * s.sensors; ++i)
        set.samples.push_back((i * 5 + 1) % (top + 1));
    set.allCalSwp.assign(static_cast<size_t>(counts.allSwp), 1);
    set.allCalSen.assign(static_cast<size_t>(counts.allSen), 0);
    set.calSwpTbl.assign(static_cast<size_t>(counts.swp), top);
    set.calSensor.assign(static_cast<size_t>(counts.sen), 1);
    NurvRecord first{.time = 43200000, .spin = 4000, .sunSen = 1000, .hdrOff = {0}, .nanoRes = 7, .sets = {set}};
    NurvRecord second = first;
    second.time += 4000;
    second.hdrOff.assign(static_cast<size_t>(s.sets), 0);
    second.sets.assign(static_cast<size_t>(s.sets), set);
    f.records = {first, second};
    f.headerEnd = 65535;
    if (fault != nullptr)
        fault(f);
    const int fixed = f.layout.fixedLen();
    int data = NurvDataLenFor(f.layout, f.records) - fixed;
    data += data % 2;
    f.layout.dataLen = fixed + data;

    const std::vector<uint8_t> params = {
        static_cast<uint8_t>(s.sensors - 1),
        static_cast<uint8_t>(s.levels - 1),
        static_cast<uint8_t>(s.maxNss - 1),
        static_cast<uint8_t>((s.nano ? 1 : 0) | (s.oneStep ? 2 : 0) | ((f.layout.maxPacking - 1) << 2) |
                             (s.realTime ? 16 : 0)),
        static_cast<uint8_t>(s.senMode | (s.daMethod << 3)),
        static_cast<uint8_t>(s.bits - 1),
        static_cast<uint8_t>(s.cals | (s.use << 2) | (s.target << 4) | (s.scope << 5)),
        static_cast<uint8_t>(data / 2),
    };
    return nurv_fuzz::Input(params, f.HeaderBytes(), f.DataBytes());
}

}  // namespace

std::vector<std::string> NurvSeedCorpus()
{
    std::vector<std::string> seeds;
    for (const int bits : {1, 2, 3, 4, 7, 8, 12, 16, 20, 32})
        seeds.push_back(Build({.bits = bits, .cals = 2, .use = 2, .target = 1}));
    for (const int mode : {0, 1, 2, 3, 5, 6, 7})
        seeds.push_back(Build({.maxNss = 2, .sets = 2, .senMode = mode, .daMethod = mode % 4}));
    seeds.push_back(Build({.sensors = 3, .levels = 5, .maxNss = 3, .sets = 3, .bits = 1, .cals = 2, .use = 3}));
    seeds.push_back(Build({.nano = true, .oneStep = true, .bits = 4, .cals = 1, .scope = 1}));
    seeds.push_back(Build({.oneStep = true, .senMode = 2, .cals = 2, .use = 0, .target = 1, .scope = 1}));
    seeds.push_back(Build({.realTime = true}));
    seeds.push_back(Build({.sensors = 8, .levels = 16, .bits = 32}));
    // Faults: short records and headers, end marks, sizes that do not fit.
    seeds.push_back(Build({}, [](NurvFiles &f) { f.records[1].length = 20; }));
    seeds.push_back(Build({}, [](NurvFiles &f) { f.records[1].hdrOff = {-2}; }));
    seeds.push_back(Build({}, [](NurvFiles &f) { f.records[1].hdrOff = {f.HeaderOffset(1)}; }));
    seeds.push_back(Build({}, [](NurvFiles &f) { f.headers[0].hSize = 200; }));
    seeds.push_back(Build({}, [](NurvFiles &f) { f.headers[0].nSen = 9; }));
    seeds.push_back(Build({}, [](NurvFiles &f) { f.headers[0].nSample = 60; }));
    seeds.push_back(Build({}, [](NurvFiles &f) { f.records[0].nss = 7; }));
    seeds.push_back(Build({.realTime = true}, [](NurvFiles &f) { f.records[1].length = 30; }));
    return seeds;
}
