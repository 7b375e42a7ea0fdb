// Seed inputs of the older binary format's fuzz target: see keld_old_corpus.h.
#include "keld_old_corpus.h"

#include "keld_fixture.h"

namespace {

std::string Text(const std::vector<unsigned char> &bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::vector<std::string> KeldOldSeedCorpus()
{
    kombra_fixtures::HaldeKeldOptions small;
    small.sensors = 2;
    small.tables = 2;
    small.tableValues = 4;
    small.calSets = 1;
    small.constants = 1;
    small.statuses = 1;
    kombra_fixtures::KeldText k = kombra_fixtures::HaldeDescription(small);
    const std::string plain = Text(kombra_fixtures::OldImageOf(k).Bytes());

    k.Char("Table1.tbl_type", 1).Strings("Table1.values", {"alpha", "beta", "gamma", "delta"});
    k.Ints("PitchAngle.opers", {-1, 2, 3}).Int("PitchAngle.num_tbls", 3);
    std::vector<std::string> seeds = {plain, Text(kombra_fixtures::OldImageOf(k).Bytes())};

    kombra_fixtures::KeldText none = kombra_fixtures::HaldeDescription(small);
    none.Char("n_tbls", 0).Char("n_consts", 0).Char("n_sensors", 0);
    seeds.push_back(Text(kombra_fixtures::OldImageOf(none).Bytes()));

    kombra_fixtures::KeldOldImage faulty = kombra_fixtures::OldImageOf(k);
    faulty.version = "V2.0";
    seeds.push_back(Text(faulty.Bytes()));
    faulty = kombra_fixtures::OldImageOf(k);
    faulty.offsets.pop_back();
    seeds.push_back(Text(faulty.Bytes()));
    faulty = kombra_fixtures::OldImageOf(k);
    faulty.tables = 7;
    seeds.push_back(Text(faulty.Bytes()));
    seeds.push_back(std::string("V2.1\0\0\0\0", 8));
    seeds.push_back("");

    for (size_t cut = 1; cut < plain.size(); cut += plain.size() / 16)
        seeds.push_back(plain.substr(0, cut));
    return seeds;
}
