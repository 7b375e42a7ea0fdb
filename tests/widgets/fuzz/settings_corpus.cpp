// Seed inputs of the settings reader's fuzz target: see settings_corpus.h.
#include "settings_corpus.h"

#include "settings_file.h"
#include "settings_keys.h"

namespace {

// A file of every key of a table with values of each form in turn.
std::string WholeFile(const char *const *keys, int n)
{
    std::string text;
    for (int i = 0; i < n; ++i) {
        switch (i % 3) {
        case 0:
            text += settings::int_line(keys[i], i);
            break;
        case 1:
            text += settings::real_line(keys[i], static_cast<float>(i) * 1.5f);
            break;
        default:
            text += settings::text_line(keys[i], "lunder_plot");
            break;
        }
    }
    return text;
}

} // namespace

std::vector<std::string> SettingsSeedCorpus()
{
    const std::string lunder = WholeFile(lunder::savestrings, lunder::N_SAVED_KEYS);
    const std::string mirvek = WholeFile(mirvek::savestrings, mirvek::N_SAVED_KEYS);
    std::vector<std::string> seeds = {
        lunder,
        mirvek,
        "",
        "\n\n\n",
        "=\n==\n = = \n",
        "  EMIN=5  \nEMIN = 5\nemin = 9\nEMIN\nEMIN =\n",
        "PLOT_STEM = a=b\nPLOT_STEM=\t c \t\r\n",
        "YEAR1 = 2004x\nPA_OPTS1 = 2x\nDOY1 = -0\nHR2 = +7\nMIN2 = +-3\nSEC2 = 99999999999999\n",
        "EMIN = 1e39\nEMAX = -1e-46\nPSD_MIN = nan\nPSD_MAX = -inf\nAZ1 = 0x1p3\nB1 = 1,5\nB2 = .5e\n",
        "START_YR = 1949\nEND_HR = 7\nCUSTOM_BIN_LINLOG = 0\nCUTSOM_BIN_LINLOG = 0\nDUMMY_STRING = 1\n",
        "MISSION1 = " + std::string(600, 'M') + "EMIN = 8\n",
        std::string(5000, '=') + "\n" + std::string(5000, ' ') + "X\n",
        std::string("PLOT_STEM = a\0b\nEMIN\0 = 3\n", 25),
        "PROJECT1 = d\xe9j\xe0\nPROJECT2 = \xce\xa9\nVIRTUAL1 = \xc3\x83\xc2\xa9\nMISSION2 = \xff\xfe\n",
        "\r\n\r\nPROJECT = 1\r\nMISSION = 6\r",
        "\v\fXWIN_NO\f=\v12\n\tSLICE_XWIN_NO\t=\t256\t\n",
    };
    for (size_t cut = 1; cut < lunder.size(); cut += lunder.size() / 12)
        seeds.push_back(lunder.substr(0, cut));
    return seeds;
}
