// Seed inputs of the description parser's fuzz target: see keld_corpus.h.
#include "keld_corpus.h"

#include "keld_fixture.h"

std::vector<std::string> KeldSeedCorpus()
{
    kombra_fixtures::HaldeKeldOptions small;
    small.sensors = 2;
    small.tables = 1;
    small.tableValues = 4;
    small.calSets = 1;
    small.constants = 1;
    small.statuses = 1;
    const std::string halde = kombra_fixtures::HaldeDescription(small).Text();

    std::vector<std::string> seeds = {
        halde,
        "KELD x {\n int a = 0x1F; int b = 010; int c = -4294967297; float f = .5; float g = -2.5E-1;\n}\n",
        "KELD x {\n string s = \"double\"; string t = 'single \"q\"'; string u = \"open\n;\n}\n",
        "keld x { INT a = 1; CHAR c = 'Z'; FLOAT f = 3e2; STRING s = \"S\"; STRUCT T { int q = 1; }; }",
        "KELD x {\n int a[3] = {1, 2, 3, 4};\n int b[4] = {7, 8};\n string c[2] = {\"p\", 'q'};\n"
        " char d[1] = {65};\n}\n",
        "KELD x {\n int a[0] = {1};\n int b[-1] = {2};\n char c[1048577] = {3};\n int d = \"s\";\n"
        " string e = 4;\n}\n",
        "KELD x {\n struct A { struct B { struct C { int d = 1; }; }; };\n}\n",
        "KELD x {\n int a = 1; /* c */ int b = 2; /* d */\n/* many\n lines */\n int c = 3;\n}\n",
        "KELD x {\r\n int a = 1;\r\n}\r\n",
        "KELD a { int x = 1; } ; KELD b { int y = 2; }\n",
        "KELD x {\n Int a = 1;\n float b = 1.;\n #\n}\n",
        std::string("KELD x {\n\0 int a = 1;\n}\n", 24),
        "",
    };
    // Longer than one read block, so that parsing goes on after an error.
    seeds.push_back(kombra_fixtures::HaldeDescription().Text());
    seeds.push_back("KELD a { int x = 1; } ;\n/*" + std::string(9000, '-') + "*/\nKELD b { int y = 2; }\n");
    // The same description cut off at points spread over it.
    for (size_t cut = 1; cut < halde.size(); cut += halde.size() / 16)
        seeds.push_back(halde.substr(0, cut));
    return seeds;
}
