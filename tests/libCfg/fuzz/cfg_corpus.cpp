// Seed inputs of the configuration readers' fuzz target: see cfg_corpus.h.
#include "cfg_corpus.h"

#include "config_fixture.h"

namespace {

using kombra_fixtures::DbConfig;
using kombra_fixtures::HierNode;

// The generic file, kombra.cfg, PROJECTS.cfg and DB.cfg as one input.
std::string Input(const std::string &generic, const std::string &kombra, const std::string &projects,
                  const std::string &db)
{
    return generic + '\x1e' + kombra + '\x1e' + projects + '\x1e' + db;
}

// Every keyword of the target's table once, with values in and out of range.
const char *const kEveryType = "# one keyword of every type\n"
                               "c 'x'\n"
                               "h -32768\n"
                               "i 0x7fffffff\n"
                               "f 3.5e38\n"
                               "d -1e-300\n"
                               "b \"longer than the sixteen bytes of its buffer\"\n"
                               "s \"text\" # comment\n"
                               "sa 1 2 70000 -3\n"
                               "ia 1 0x10 010 -2147483649 x 5\n"
                               "fa 1.5 1e39 -2 nan inf\n"
                               "da 1e308 4e-320 0x1p3 2\n"
                               "l \"a\" \"b*\" c \"d\" \"unbalanced\n"
                               "x 1\n"
                               "p.i 12\n"
                               "p.l \"p\" \"q\"\n"
                               "p.b \"short\"\n";

// Lines with NUL bytes inside names, values and lists.
constexpr char kNulGeneric[] = "i 1\0 2\nl \"a\0b\"\n\0\ns \"x\"\n";
constexpr char kNulKombra[] = "A=\"x\0y\"\nB\0=\"z\"\n";

std::string Bytes(const char *text, size_t sizeWithNul)
{
    return std::string(text, sizeWithNul - 1);
}

}  // namespace

std::vector<std::string> CfgSeedCorpus()
{
    const kombra_fixtures::StandardConfig standard = kombra_fixtures::MakeStandardConfig("$KOMBRA_DATA");
    const std::string kombra =
        kombra_fixtures::KombraCfgText({{"KOMBRA_CONFIG", "/config"}, {"KOMBRA_DATA", "/archive"}});
    const std::string projects = kombra_fixtures::ProjectsCfgText(standard.projects);
    const std::string whole = Input(kEveryType, kombra, projects, kombra_fixtures::DbCfgText(standard.db));

    // Items given at levels, a '%' path, expansions and the NCP line.
    DbConfig db = standard.db;
    db.ncp = 4;
    db.levels.push_back("CLUSTERII:C1");
    db.levels.push_back("DOUBLESTAR:TC2:HALDE:PAD");
    db.levels.push_back("NOWHERE:X");
    db.items[6].atLevel = {{"CLUSTERII:C1", {"$KOMBRA_DATA/c1", "second"}},
                           {"DOUBLESTAR:TC2:HALDE:PAD", {"/pad%"}}};
    db.items[0].atLevel = {{"NOWHERE:X", {"$UNSET_SETTING/x"}}};

    std::vector<std::string> seeds = {
        whole,
        Input("", kombra, projects, kombra_fixtures::DbCfgText(db)),
        Input(kEveryType, "", "", ""),
        "",
        "\x1e\x1e\x1e",
    };

    // The generic reader: lines, tokens and odd numbers.
    for (const char *generic : {
             "i 1\\\n2\nl \"a\" \\\r\n\"b\"\r\nh 3\\",
             "c 256\nc -255\nc ''\nc 'ab'\nh 65536\nh -65535\ni 99999999999999999999\ni 0x\ni 08\n",
             "f 1e-39\nf -0\nd 1e309\nd nan\nd 1e\nd .\nfa\nia \nsa 1\\# 2 # 3\n",
             "alone\nalone2 \n\t\n#\n \\#\ni\t7 \\# kept\nb \"\"\ns \"\nl \"\" \"*\"\n",
             "dup 1\ndup 2\ndup 3\ni 1\ni 2\nl \"one\"\nl \"two\"\n",
         })
        seeds.push_back(Input(generic, "", "", ""));
    seeds.push_back(Input("l \"" + std::string(3000, 'v') + "\"\n" + std::string(300, 'k') + " 1\ni 2\n", "", "",
                          ""));
    seeds.push_back(Input(Bytes(kNulGeneric, sizeof kNulGeneric), "", "", ""));

    // kombra.cfg: a full table, faulty lines, a line longer than its buffer.
    std::string full;
    for (int i = 0; i < 25; ++i)
        full += "S" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"\n";
    seeds.push_back(Input("", full, "", ""));
    seeds.push_back(Input("", "no equal sign\nA=no quotes\nB=\"one quote\nC=\"\"\n=\"nameless\"\r\n"
                              "KOMBRA_HOME=\"/home\"\nD=\"" + std::string(1100, 'd') + "\"\n",
                          projects, "ITEMS \"P\"\nP.VALUE \"$KOMBRA_CONFIG/x\"\nLEVELS \"CLUSTERII\"\n"));
    seeds.push_back(Input("", Bytes(kNulKombra, sizeof kNulKombra), "", ""));

    // PROJECTS.cfg: more levels than the tree has, leaves, odd names.
    HierNode chain{"G", {}};
    for (const char *name : {"F", "E", "D", "C", "B", "A"})
        chain = HierNode{name, {chain}};
    std::vector<HierNode> deep = {chain};
    deep[0].children.push_back({"orbit.scf", {{"under", {}}}});
    deep[0].children.push_back({"My, Mission>1", {{"E", {}}}});
    deep[0].children.push_back({std::string(90, 'n'), {{"E", {}}}});
    deep.push_back({"A", {{"dup", {}}}});
    seeds.push_back(Input("", "", kombra_fixtures::ProjectsCfgText(deep),
                          "ITEMS \"DatabasePath\" \"X\"\nDatabasePath.VALUE \"/db\"\nX.VALUE \"%\"\n"
                          "LEVELS \"A\" \"A:B:C:D:E\" \"A\" \"A:B:C:D:E:F\" \"\" \":\"\n"
                          "A:B:C:D:E.X.VALUE \"x\" \"y\"\n"));
    std::string many = "Strings";
    for (int i = 0; i < 100; ++i)
        many += " \"p" + std::to_string(i) + "\"";
    seeds.push_back(Input("", "", many + "\np7.Strings \"\" \"*\"\n", ""));
    seeds.push_back(Input("", "", "Strings nothing-quoted\n", "ITEMS \"A\"\nLEVELS \"A\"\n"));
    seeds.push_back(Input("", "", "Strings \"P\"\r\nP.Strings \"M\" \\\r\n \"N\"\r\n", "ITEMS \"A\"\r\nLEVELS \"P:N\"\r\n"));

    // DB.cfg: missing sections, empty lists, long names and expansions.
    for (const char *dbText : {
             "LEVELS \"CLUSTERII\"\n",
             "ITEMS \"A\"\nA.VALUE \"a\"\n",
             "NCP x\nITEMS x\nLEVELS y\n",
             "ITEMS \"A\" \"A\" \"B\"\nA.VALUE \"1\"\nB.VALUE\nLEVELS \"CLUSTERII\" \"CLUSTERII\" "
             "\"CLUSTERII:C9\"\nCLUSTERII.A.VALUE \"$\" \"$-\" \"$KOMBRA_DATA\"\n",
         })
        seeds.push_back(Input("", kombra, projects, dbText));
    const std::string longName(100, 'L');
    seeds.push_back(Input("", kombra, projects,
                          "ITEMS \"" + longName + "\"\n" + longName + ".VALUE \"$" + std::string(70, 'V') +
                              "\"\nLEVELS \"DOUBLESTAR:TC1:HALDE:3DR:CP3DRH\"\n"));
    // Paths longer than their 256-byte buffers.
    seeds.push_back(Input("", kombra, projects,
                          "ITEMS \"DatabasePath\"\nDatabasePath.VALUE \"/" + std::string(240, 'p') +
                              "\"\nLEVELS \"CLUSTERII\"\n"));

    // The standard input cut off at points spread over it.
    for (size_t cut = 1; cut < whole.size(); cut += whole.size() / 16)
        seeds.push_back(whole.substr(0, cut));
    return seeds;
}
