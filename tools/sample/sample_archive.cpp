#include "sample_archive.h"

#include "config_fixture.h"
#include "sample_model.h"
#include "sweep_archive_fixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

namespace kombra_sample {

namespace {

using namespace kombra_fixtures;

constexpr int kHourMs = 3600000;
constexpr int kFieldCadenceMs = 2000;
constexpr int kFineFieldCadenceMs = 200;  // 20 samples a spin
constexpr int kPotentialCadenceMs = 16000;
constexpr int kYear = 2001;
constexpr int kDay = 90;
const CatalogTime kValidFrom{2001, 1, 0};
const CatalogTime kValidTo{2002, 1, 0};

const char *const kMissions[] = {"CLUSTER-1", "CLUSTER-2", "CLUSTER-3", "CLUSTER-4"};

SweepSource Source(int sc, const std::string &instrument, const std::string &vinst)
{
    return {"CLUSTERII", kMissions[sc], "HALDE", instrument, vinst};
}
SweepSource Field(int sc)
{
    return {"CLUSTERII", kMissions[sc], "FGM", "VEC", "CFUNIT"};
}
SweepSource Efw(int sc)
{
    return {"CLUSTERII", kMissions[sc], "EFW", "PRIME", "CEFPRIME"};
}

struct Product {
    const char *instrument;
    const char *vinst;
};
// Every product of the hierarchy.
const Product kProducts[] = {{"3DR", "CP3DRH"},  {"3DR", "CP3DRL"},    {"PAD", "CPPADH"},
                             {"PAD", "CPPADL"},  {"SPINPAD", "HSPAD"}, {"SPINPAD", "LSPAD"}};

bool HasData(const SampleOptions &o, int sc, const Product &p)
{
    if (o.day)
        return true;
    // Both programs start on the pitch-angle products of CLUSTER-1 and
    // CLUSTER-2, read as the spin products HSPAD and LSPAD, or as
    // themselves when binned in pitch angle: those two spacecraft hold every
    // product.  Mirvek's C1234 draws the high-energy spin product of all four.
    return sc < 2 || std::string(p.vinst) == "HSPAD";
}

SweepShape Shape(int sc, const std::string &vinst)
{
    SweepShape shape;
    shape.sensors = kSensors;
    shape.tables = Tables(vinst);
    shape.levels = static_cast<int>(shape.tables.energy.size());
    shape.accumMs = kAccumMs;
    shape.spinMs = kSpinMs;
    shape.sensorOffsetMs = 0;
    shape.wordBits = kWordBits;
    for (int c = 0; c < kSensors; ++c) {
        shape.thetaStart.push_back(15 * c);
        shape.thetaStop.push_back(15 * c + 15);
    }
    shape.pitchAngles = true;
    shape.field = Field(sc);
    shape.normals = Normals();
    return shape;
}

// The field as stored: hundredths of a nT, never the fill word.
std::vector<int> StoredField(int sc, int msec)
{
    const std::array<double, 3> b = SpinningField(sc, msec / 1000.0, kSpinMs / 1000.0);
    std::vector<int> v;
    for (double x : b) {
        int w = static_cast<int>(std::lround(x * 100.0));
        v.push_back(w == -1 ? 0 : w);
    }
    return v;
}

// The field's cadence in the hour file that begins at hourMs: several
// samples a spin where sweeps fill whole spins, so that the field turns
// through the spin; every 2 s elsewhere.
int FieldCadenceMs(int hourMs)
{
    return hourMs < kWholeSpinsEndMs && hourMs + kHourMs > kWholeSpinsBeginMs ? kFineFieldCadenceMs
                                                                              : kFieldCadenceMs;
}

// The pitch angle the reader gives a sensor of normal n against the stored
// field b: the particles' direction (against the look direction) to the
// field.
double PitchOf(const std::vector<int> &n, const std::vector<int> &b)
{
    double dot = 0, bb = 0, nn = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const double ni = n[i] * 1e-3;
        dot += ni * b[i];
        bb += static_cast<double>(b[i]) * b[i];
        nn += ni * ni;
    }
    if (bb <= 0 || nn <= 0)
        return 90.0;
    return std::acos(std::clamp(-dot / std::sqrt(bb * nn), -1.0, 1.0)) * 180.0 / 3.14159265358979323846;
}

// Counts of mean m with counting noise: Poisson by inversion for small
// means, its normal approximation for large ones (where the two cannot be
// told apart in a count of at most 254).
class Noise {
public:
    // Means far above the largest count stay above it.
    static constexpr double kAboveEveryCount = 400.0;
    static constexpr int kInversionBelow = 24;

    explicit Noise(std::uint64_t seed) : random_(seed)
    {
        for (int k = 1; k < kMostInverted; ++k)
            inverse_[static_cast<std::size_t>(k)] = 1.0 / k;
    }
    double operator()(double m)
    {
        if (m > kAboveEveryCount)
            return m;
        if (m < kInversionBelow) {
            const double u = Uniform();
            double p = std::exp(-m), sum = p;
            int k = 0;
            while (u > sum && k + 1 < kMostInverted) {
                ++k;
                p *= m * inverse_[static_cast<std::size_t>(k)];
                sum += p;
            }
            return k;
        }
        return std::max(0.0, std::round(m + std::sqrt(m) * Normal()));
    }

private:
    double Uniform() { return static_cast<double>(random_() >> 11) * 0x1.0p-53; }
    // Marsaglia's polar method, a pair at a time.
    double Normal()
    {
        if (spare_) {
            spare_ = false;
            return next_;
        }
        double x, y, r;
        do {
            x = 2.0 * Uniform() - 1.0;
            y = 2.0 * Uniform() - 1.0;
            r = x * x + y * y;
        } while (r >= 1.0 || r == 0.0);
        const double f = std::sqrt(-2.0 * std::log(r) / r);
        next_ = y * f;
        spare_ = true;
        return x * f;
    }
    static constexpr int kMostInverted = 128;
    std::mt19937_64 random_;
    std::array<double, kMostInverted> inverse_{};
    double next_ = 0;
    bool spare_ = false;
};

// The sweep products read sweep by sweep hold whole spins in the window;
// the spin products one sweep per spin everywhere.
bool WholeSpins(const std::string &instrument)
{
    return instrument == "3DR" || instrument == "PAD";
}

// One hour file of a product of spacecraft sc.
NurvFiles ProductHour(int sc, const Product &p, int h, const SampleOptions &o)
{
    const SweepShape shape = Shape(sc, p.vinst);
    const std::vector<std::vector<int>> normals = Normals();
    const int fill = (1 << kWordBits) - 1;
    const int start = h * kHourMs;
    const int cadence = FieldCadenceMs(start);
    const int perSpin = WholeSpins(p.instrument) ? SweepsPerSpin(shape) : 1;
    const int sweepMs = shape.levels * kAccumMs;
    Noise noise(o.seed ^ (static_cast<std::uint64_t>(sc) << 40) ^ (std::hash<std::string>{}(p.vinst) << 8) ^
                static_cast<std::uint64_t>(h));
    // Counts factor of each sweep step: the counts a psd of 1 gives.
    std::vector<double> perPsd;
    for (int s = 0; s < shape.levels; ++s)
        perPsd.push_back(CountsOfPsd(1.0, shape.tables, s));

    // The counts of one sweep, filled once for every sensor and step.
    std::vector<std::int64_t> words(static_cast<std::size_t>(kSensors * shape.levels));
    std::vector<PitchTerms> pitch(kSensors);
    int filledSpin = -1, filledSweep = -1, fieldAt = -1;
    const auto counts = [&](int k, int j, int c, int s) -> std::int64_t {
        if (k != filledSpin || j != filledSweep) {
            const int t0 = start + k * kSpinMs + j * sweepMs;
            const SweepModel model(sc, t0 / 1000.0, shape.tables.energy);
            for (int ss = 0; ss < shape.levels; ++ss) {
                // The field sample that holds the step.
                const int at = t0 + ss * kAccumMs;
                if (at - at % cadence != fieldAt) {
                    fieldAt = at - at % cadence;
                    const std::vector<int> b = StoredField(sc, fieldAt);
                    for (int cc = 0; cc < kSensors; ++cc)
                        pitch[static_cast<std::size_t>(cc)] = PitchTermsOf(PitchOf(normals[static_cast<std::size_t>(cc)], b));
                }
                const auto level = static_cast<std::size_t>(ss);
                for (int cc = 0; cc < kSensors; ++cc) {
                    const double mean = model.Psd(level, pitch[static_cast<std::size_t>(cc)]) * perPsd[level];
                    const double n = o.noise ? noise(mean) : mean;
                    long long w = std::min<long long>(std::llround(n), fill - 1);
                    if (sc == kDeadSpacecraft && cc == kDeadSensor)
                        w = fill;
                    words[static_cast<std::size_t>(cc * shape.levels + ss)] = w;
                }
            }
            filledSpin = k;
            filledSweep = j;
        }
        return words[static_cast<std::size_t>(c * shape.levels + s)];
    };
    const auto sweeps = [&](int k) {
        const int sun = start + k * kSpinMs;
        return sun >= kWholeSpinsBeginMs && sun < kWholeSpinsEndMs ? perSpin : 1;
    };
    return SweepFiles(shape, kYear, kDay, start, kHourMs / kSpinMs, sweeps, counts);
}

void CopyHelp(const std::string &root, const std::string &docDir)
{
    if (docDir.empty())
        return;
    std::filesystem::create_directories(root + "/doc");
    for (const auto &page : std::filesystem::directory_iterator(docDir)) {
        if (page.path().extension() != ".html")
            continue;
        std::ifstream in(page.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof())
            throw std::runtime_error("cannot read " + page.path().string());
        WriteText(root + "/doc/" + page.path().filename().string(), text);
    }
}

std::string Quoted(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void WriteEnvironment(const std::string &root)
{
    WriteText(root + "/kombra.env", "# Source this file to point Lunder and Mirvek at the sample archive.\n"
                                    "# KOMBRA_DB_TYPE chooses the catalog: SQLite (nurv.db3), unset (the dBASE\n"
                                    "# tables under catalog/) or MySQL (a server loaded with nurv.sql).\n"
                                    "export KOMBRA_HOME=" + Quoted(root) + "\n"
                                    "export KOMBRA_CONFIG=" + Quoted(root + "/config") + "\n"
                                    "export KOMBRA_DATA=" + Quoted(root) + "\n"
                                    "export KOMBRA_DB_TYPE=SQLite\n"
                                    "export VELORA_HOME=" + Quoted(root) + "\n"
                                    "export PGPLOT_DIR=/usr/lib/pgplot5\n");
}

// Lunder's demo: CLUSTER-2's slices of the first spins that begin at or
// after 18:00 and 18:01 (those of 18:00:00 and 18:01:00), binned in 13 pitch angles, in
// phase-space density, their ratio in the second panel, into a portrait GIF
// (a landscape page would leave the two panels a narrow column); the slice-
// and-map window maps the primary to twice the field and draws the mapped
// primary against the secondary as the two halves of a wheel, and the
// secondary cut along the field (7 degrees, the beam's side, with 173
// degrees opposite) and across it (90 degrees), on a portrait page too, so
// that the loss cone and the beam show against the rest.  The keys not
// given keep what the window holds: restored into a freshly started Lunder,
// its defaults.
void WriteLunderDemo(const std::string &root)
{
    std::string text;
    for (const char *p : {"1", "2"})
        text += std::string("PA_OPTS") + p + " = 1\nGATHER_OPTS" + p + " = 1\nN_GATHER" + p + " = 1\n";
    text += "HR2 = 18\nMIN2 = 1\nSEC2 = 0\n"
            "PSD_UNITS = 2\nANALYSIS_OPT = 4\nANALYSIS_LINLOG = 0\nPLOT_DEV = 1\nPLOT_STEM = lunder_demo\n"
            "B1 = 1\nB2 = 2\nLEFT_WHEEL = 3\nRIGHT_WHEEL = 5\n"
            "CUT_OPT0 = 5\nCUT_ANG0 = 7\nCUT_COL0 = 2\nCUT_OPT1 = 5\nCUT_ANG1 = 90\nCUT_COL1 = 4\n"
            "SLICE_PLOT_DEV = 1\nSLICE_PLOT_STEM = slice_map_demo\n";
    WriteText(root + "/lunder_demo.settings", text);
}

}  // namespace

int FirstHour(const SampleOptions &options)
{
    return options.day ? 0 : 16;
}

int EndHour(const SampleOptions &options)
{
    return options.day ? 24 : 20;
}

void WriteSampleArchive(const std::string &rootIn, const SampleOptions &o)
{
    std::filesystem::create_directories(rootIn);
    const std::string root = std::filesystem::canonical(rootIn).string();
    SweepArchive archive(root);
    archive.SetServers({});

    std::vector<std::pair<int, std::pair<int, std::string>>> products;  // source, (sc, vinst)
    for (int sc = 0; sc < 4; ++sc) {
        for (const Product &p : kProducts) {
            const SweepSource source = Source(sc, p.instrument, p.vinst);
            const int index = archive.AddSource(source);
            products.push_back({index, {sc, p.vinst}});
            archive.AddDescription(index, kValidFrom, kValidTo,
                                   SweepDescription(Shape(sc, p.vinst), source, kValidFrom, kValidTo));
        }
        const int field = archive.AddSource(Field(sc));
        archive.AddDescription(field, kValidFrom, kValidTo, FieldDescription(Field(sc), kValidFrom, kValidTo));
        const int efw = archive.AddSource(Efw(sc));
        archive.AddDescription(efw, kValidFrom, kValidTo, PotentialDescription(Efw(sc), kValidFrom, kValidTo));
        for (int h = FirstHour(o); h < EndHour(o); ++h) {
            const int start = h * kHourMs;
            const int cadence = FieldCadenceMs(start);
            archive.AddFiles(field, kYear, kDay, start,
                             FieldFiles(kYear, kDay, start, kHourMs / cadence, cadence,
                                        [&](int i) { return StoredField(sc, start + i * cadence); }),
                             false, 0);
            archive.AddFiles(efw, kYear, kDay, start,
                             PotentialFiles(kYear, kDay, start, kHourMs / kPotentialCadenceMs, kPotentialCadenceMs,
                                            [&](int i) { return Potential(sc, (start + i * kPotentialCadenceMs) / 1000.0); }),
                             false, 0);
        }
    }
    // Double Star: the hierarchy only.
    for (const char *tc : {"TC-1", "TC-2"}) {
        archive.AddSource({"DOUBLESTAR", tc, "HALDE", "3DR", "DP3DR"});
        archive.AddSource({"DOUBLESTAR", tc, "FGM", "VEC", "DFUNIT"});
    }
    // The hour files of the products, made a few at a time side by side and
    // written in order, so that the catalog lists them as one run would.
    struct Task {
        int index, sc;
        Product product;
        int hour;
    };
    std::vector<Task> tasks;
    for (const auto &[index, what] : products) {
        const auto &[sc, vinst] = what;
        for (const Product &p : kProducts)
            if (vinst == p.vinst && HasData(o, sc, p))
                for (int h = FirstHour(o); h < EndHour(o); ++h)
                    tasks.push_back({index, sc, p, h});
    }
    const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::deque<std::future<NurvFiles>> made;
    for (std::size_t next = 0, written = 0; written < tasks.size();) {
        if (next < tasks.size() && made.size() < workers) {
            made.push_back(std::async(std::launch::async, [&o, task = tasks[next]] {
                return ProductHour(task.sc, task.product, task.hour, o);
            }));
            ++next;
            continue;
        }
        const Task &t = tasks[written++];
        archive.AddFiles(t.index, kYear, kDay, t.hour * kHourMs, made.front().get(), false, 0);
        made.pop_front();
    }
    archive.Write();
    CopyHelp(root, o.docDir);
    WriteLunderDemo(root);
    // Last: the environment file marks a whole archive (scripts/run-sample
    // writes the archive again while it is missing or older than the
    // generator).
    WriteEnvironment(root);
}

}  // namespace kombra_sample
