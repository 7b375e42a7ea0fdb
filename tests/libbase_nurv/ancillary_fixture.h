// The archive of the ancillary-source tests: the main data set of
// archive_fixture.h (CP3DRH, two sensors, records every second of four
// 10-ms steps) whose description names the auxiliary instrument's data sets
// as its sources, and those data sets: MAG (three field components), EFW
// (potential), ATT (three attitude angles) and SPIN (start of spin), each a
// record of one sample per sensor (one step per header, all sensors found
// together) at a cadence of its own.
#pragma once

#include "archive_fixture.h"

#include <cmath>
#include <functional>

namespace archive_test {

// Virtual instruments of the auxiliary instrument and their keys.
enum class Aux { MAG = 1, EFW = 2, ATT = 3, SPIN = 4 };
inline const char *Name(Aux a)
{
    switch (a) {
    case Aux::MAG: return "MAG";
    case Aux::EFW: return "EFW";
    case Aux::ATT: return "ATT";
    default: return "SPIN";
    }
}
inline KOMBRA_ULONG KeyOf(Aux a)
{
    return PackDataKey(1, 1, 1, 3, static_cast<unsigned>(a));
}
inline int SensorsOf(Aux a)
{
    return a == Aux::MAG || a == Aux::ATT ? 3 : 1;
}

inline NurvLayout AuxLayout(Aux a)
{
    NurvLayout layout{.sensors = SensorsOf(a), .levels = 1, .smpId = 2, .senMode = 3, .maxPacking = 1};
    const NurvRecord one{.hdrOff = {0}, .sets = {{.samples = std::vector<std::int64_t>(SensorsOf(a), 0)}}};
    layout.dataLen = NurvDataLenFor(layout, {one});
    return layout;
}

// Records of an auxiliary data set from start (ms of day 32) every cadence
// ms, each one sample of accum ms; sensor s of record i holds value(i, s)
// (signed 16 bits).  skip(i) leaves record i out (a gap).
inline NurvFiles AuxFiles(Aux a, int start, int count, int cadence, int accum,
                          const std::function<int(int, int)> &value,
                          const std::function<bool(int)> &skip = [](int) { return false; })
{
    NurvFiles f;
    f.layout = AuxLayout(a);
    NurvHeader h{.timeUnits = -3, .dataAccum = accum, .nSample = 1, .sampIndex = {0}};
    for (int s = 0; s < SensorsOf(a); ++s)
        h.sensorIndex.push_back(static_cast<std::int16_t>(s));
    f.headers = {h};
    for (int i = 0; i < count; ++i) {
        if (skip(i))
            continue;
        NurvSensorSet set;
        for (int s = 0; s < SensorsOf(a); ++s)
            set.samples.push_back(value(i, s));
        f.records.push_back({.time = start + cadence * i, .hdrOff = {0}, .sets = {set}});
    }
    f.records.push_back({.time = start + cadence * count, .hdrOff = {-2}});
    return f;
}

// The description of an auxiliary data set: signed words, no time offsets,
// no sources of its own.
inline KeldText AuxDescription(Aux a)
{
    HaldeKeldOptions o;
    o.instrument = "AUX";
    o.tables = 1;
    o.constants = 1;
    o.calSets = 0;
    o.pitchAngle = o.pmi = o.potentialSource = o.startOfSpin = o.tensor = false;
    KeldText text = NurvDescription(AuxLayout(a), o);
    for (int s = 0; s < SensorsOf(a); ++s)
        text.Char("Sensor" + std::to_string(s) + ".d_type", 1).Int("Sensor" + std::to_string(s) + ".time_offset", 0);
    return text;
}

// The main description with the sources switched on as asked: the field of
// MAG (sensor 0's normal +z, sensor 1's +x), the potential of EFW (constant
// 5), the attitude of ATT, the start of spin of SPIN; no conversion tables.
struct Sources {
    bool pitch = false, potential = false, attitude = false, spin = false;
};
inline KeldText MainDescription(const Sources &on, int theta = 20, CatalogTime begin = {2003, 1, 0},
                                CatalogTime end = {2004, 1, 0})
{
    HaldeKeldOptions o;
    o.beginYear = begin.yr;
    o.beginDay = begin.day;
    o.beginMsec = begin.msec;
    o.endYear = end.yr;
    o.endDay = end.day;
    o.endMsec = end.msec;
    o.tables = 1;
    o.constants = 4;
    o.tensor = false;
    o.pitchAngle = on.pitch;
    o.potentialSource = on.potential;
    o.pmi = on.attitude;
    o.startOfSpin = on.spin;
    KeldText text = NurvDescription(Layout(), o);
    text.Char("Constant0.id", 4).Ints("Constant0.values", {theta, theta + 1}).Chars("Constant0.scale", {0, 0});
    const std::vector<std::vector<long long>> normals = {{0, 1}, {0, 0}, {1, 0}};  // x, y, z per sensor
    for (int c = 0; c < 3; ++c) {
        const std::string p = "Constant" + std::to_string(c + 1) + ".";
        text.Char(p + "id", 6 + c).Ints(p + "values", normals[static_cast<size_t>(c)]).Chars(p + "scale", {0, 0});
    }
    if (on.pitch)
        text.Int("PitchAngle.num_tbls", 0).Remove("PitchAngle.tbls").Remove("PitchAngle.opers");
    if (on.potential)
        text.Int("PotentialSource.num_tbls", 0)
            .Remove("PotentialSource.tbls")
            .Remove("PotentialSource.opers");
    if (on.attitude)
        text.Int("PMI.num_tbls", 0).Remove("PMI.tbls").Remove("PMI.opers");
    return text;
}

class AncillaryTest : public ArchiveTest {
protected:
    std::string AuxDir() const { return root.str() + "/data/CLUSTERII/C1/HALDE/AUX"; }

    // Writes an auxiliary file pair beginning at msec of day 32 and
    // catalogues it to the end of its last record's sample.
    void AddAux(Aux a, int msec, const NurvFiles &files, int accum)
    {
        WriteNurvPair(AuxDir(), Name(a), 2003, 32, msec, files);
        int last = msec;
        for (const NurvRecord &r : files.records)
            if (!r.hdrOff.empty() && r.hdrOff[0] >= 0)
                last = r.time;
        const std::uint32_t key = KeyOf(a);
        catalog.hdEntries.push_back({key, {2003, 32, msec}, {2003, 32, last + accum}, 4096, "A1"});
    }
    void AddAuxDescription(Aux a)
    {
        std::filesystem::create_directories(AuxDir());
        AuxDescription(a).Write(AuxDir() + "/" + NurvFileName(Name(a), 2003, 1, 0, 'V') + ".v3");
        const std::uint32_t key = KeyOf(a);
        std::erase_if(catalog.descriptionEntries, [key](const auto &e) { return e.key == key; });
        catalog.descriptionEntries.push_back({key, {2003, 1, 0}, {2004, 1, 0}, 512, "K1"});
    }
    // The main data set: four records from 14:00:00 in one file.
    void AddMain(const KeldText &description)
    {
        AddFiles(14 * kHour, Files(0, 14 * kHour, 4));
        AddDescription({2003, 1, 0}, {2004, 1, 0}, description);
    }
    // Opens and positions the main set at 14:00.
    void OpenMain()
    {
        WriteCatalog();
        NewReader();
        ASSERT_STATUS(1, Open(32, 14 * 3600, 0));
        ASSERT_STATUS(1, Position(32, 14 * 3600, 0));
    }
    experiment_info &Main() const
    {
        EXPECT_EQ(1, ir_locate_ex(kKey, "", vnum, 0));
        return *ginfo.expt;
    }
};

}  // namespace archive_test
