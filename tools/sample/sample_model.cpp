#include "sample_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kombra_sample {

namespace {

constexpr double kPi = std::numbers::pi;

// An isotropic Maxwellian of density n (cm^-3) and temperature t (eV) at
// energy e.
double Maxwellian(double n, double t, double e)
{
    const double vth3 = std::pow(kSpeed2PerEv * t, 1.5);
    return n * 1e15 / (std::pow(kPi, 1.5) * vth3) * std::exp(-e / t);
}

// The loss cone: particles within 16 degrees of the field line are gone,
// with an 8-degree edge (wide enough to fill the first of 13 pitch-angle
// bins).
double LossCone(double pitch)
{
    const double a = std::min(pitch, 180.0 - pitch);
    if (a <= 16.0)
        return 0.03;
    if (a >= 24.0)
        return 1.0;
    const double x = (a - 16.0) / 8.0;
    return 0.03 + 0.97 * x * x * (3.0 - 2.0 * x);
}

// The field-aligned beam: a Maxwellian of density 0.02 cm^-3 and 60 eV
// drifting along the field with 800 eV.
constexpr double kBeamDensity = 0.02, kBeamTemperature = 60.0, kBeamEnergy = 800.0;

}  // namespace

SweepModel::Level SweepModel::LevelAt(int sc, double e, double sec, double phi)
{
    Level t;
    if (e <= phi) {
        t.photo = Maxwellian(10.0, 1.8, e);  // photoelectrons held by the spacecraft
        return t;
    }
    const double ea = e - phi;
    // The hot plasma sheet leaves around 18:00, a minute later on each
    // spacecraft.
    const double hot = 0.5 * (1.0 - std::tanh((sec - 64800.0 - 60.0 * sc) / 1800.0));
    const double density = 1.0 + 0.1 * sc;
    t.sheet = hot * Maxwellian(0.3 * density, 3000.0, ea);
    t.cool = (1.0 - hot) * Maxwellian(1.5 * density, 200.0, ea);
    // The beam at speed v and pitch angle a: (v cos a - vb)^2 + (v sin a)^2
    // is v^2 + vb^2 - 2 v vb cos a.
    const double v2 = kSpeed2PerEv * ea, vb2 = kSpeed2PerEv * kBeamEnergy, vt2 = kSpeed2PerEv * kBeamTemperature;
    t.beamNorm = (1.0 - hot) * kBeamDensity * 1e15 / (std::pow(kPi, 1.5) * std::pow(vt2, 1.5));
    t.beam0 = -(v2 + vb2) / vt2;
    t.beam1 = 2.0 * std::sqrt(v2 * vb2) / vt2;
    return t;
}

SweepModel::SweepModel(int sc, double sec, const std::vector<double> &energies)
{
    const double phi = Potential(sc, sec);
    for (double e : energies)
        levels_.push_back(LevelAt(sc, e, sec, phi));
}

double SweepModel::PsdOf(const Level &t, const PitchTerms &p)
{
    if (t.photo >= 0)
        return t.photo;
    return t.sheet + t.cool * p.lossCone + t.beamNorm * std::exp(t.beam0 + t.beam1 * p.cosine);
}

PitchTerms PitchTermsOf(double pitch)
{
    return {std::cos(pitch * kPi / 180.0), LossCone(pitch)};
}

double MeasuredPsd(int sc, double e, double pitch, double sec, double phi)
{
    return SweepModel::PsdOf(SweepModel::LevelAt(sc, e, sec, phi), PitchTermsOf(pitch));
}

double Potential(int sc, double sec)
{
    return 9.0 + 5.5 * std::sin(2.0 * kPi * (sec - 57600.0 + 300.0 * sc) / 9000.0) +
           0.6 * std::sin(2.0 * kPi * sec / 1020.0);
}

std::array<double, 3> SpinningField(int sc, double sec, double spinSec)
{
    const double magnitude = 18.0 + 4.0 * std::sin(2.0 * kPi * sec / 7200.0);
    const double polar = (55.0 + 15.0 * std::sin(2.0 * kPi * sec / 10800.0)) * kPi / 180.0;
    const double azimuth = 2.0 * kPi * sec / 18000.0 + 0.3 * sc;
    const double bx = magnitude * std::sin(polar) * std::cos(azimuth);
    const double by = magnitude * std::sin(polar) * std::sin(azimuth);
    const double bz = magnitude * std::cos(polar);
    // The spacecraft turns through a whole circle every spin from the sun
    // pulse at the start of each spin.
    const double phase = 2.0 * kPi * std::fmod(sec, spinSec) / spinSec;
    return {bx * std::cos(phase) + by * std::sin(phase), -bx * std::sin(phase) + by * std::cos(phase), bz};
}

kombra_fixtures::SweepTables Tables(const std::string &vinst)
{
    kombra_fixtures::SweepTables t;
    if (vinst == "LSPAD" || vinst == "CPPADL")
        t = kombra_fixtures::GeometricSweepTables(12, 1000.0, 0.6);
    else if (vinst == "HSPAD" || vinst == "CPPADH")
        t = kombra_fixtures::GeometricSweepTables(12, 26000.0, 0.6);
    else
        t = kombra_fixtures::GeometricSweepTables(16, 26000.0, 0.6);
    // Flux: counts / energy / accumulation / geometric factor / (1 / (energy
    // x ergs per eV)) x 1, that is counts / (accumulation x geometric
    // factor) eV/(cm^2 s sr eV) written in ergs/(cm^2 s sr eV), the unit
    // the programs name; density: counts / energy / accumulation /
    // geometric factor / efficiency x factor / energy^2 (the "mass" table is
    // the energy of each step), the factor taking the ergs back out.
    t.mass = t.energy;
    t.efficiency.clear();
    for (double e : t.energy)
        t.efficiency.push_back(1.0 / (e * kErgPerEv));
    t.geometric = kGeometric;
    t.charge = 1.0;
    t.factor = 1.0 / (kFluxPerPsd * kErgPerEv);
    t.speedTerm = kSpeed2PerEv;
    t.speedScale = 1.0;
    return t;
}

std::vector<std::vector<int>> Normals()
{
    std::vector<std::vector<int>> normals;
    for (int c = 0; c < kSensors; ++c) {
        const double theta = (15.0 * c + 7.5) * kPi / 180.0;
        normals.push_back({static_cast<int>(std::lround(1000.0 * std::sin(theta))), 0,
                           static_cast<int>(std::lround(1000.0 * std::cos(theta)))});
    }
    return normals;
}

double CountsOfPsd(double psd, const kombra_fixtures::SweepTables &t, int step)
{
    const double e = t.energy[static_cast<std::size_t>(step)];
    return psd * kFluxPerPsd * e * e * (kAccumMs / 1000.0) * t.geometric;
}

double PsdOfCounts(double counts, const kombra_fixtures::SweepTables &t, int step)
{
    using kombra_fixtures::StoredValue;
    const auto s = static_cast<std::size_t>(step);
    float v = static_cast<float>(counts);
    v /= StoredValue(t.energy[s]);
    v /= static_cast<float>(kAccumMs * 0.001);
    v /= StoredValue(t.geometric);
    v /= StoredValue(t.efficiency[s]);
    v *= StoredValue(t.factor);
    v /= StoredValue(t.charge);
    v /= StoredValue(t.mass[s]);
    v /= StoredValue(t.charge);
    v /= StoredValue(t.mass[s]);
    return v;
}

}  // namespace kombra_sample
