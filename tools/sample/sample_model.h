// The plasma of the sample archive: 2001 day 90, a spacecraft in the
// near-Earth plasma sheet watching the hot isotropic population give way,
// around 18:00, to a cooler, denser one with a loss cone and a field-aligned
// beam, with spacecraft photoelectrons below the spacecraft potential.
//
// Units: energies in eV, pitch angles in degrees, phase-space densities in
// s^3/km^6, potentials in volts, fields in nT, times in seconds of the day.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "sweep_archive_fixture.h"

namespace kombra_sample {

// The phase-space density measured at energy e by a detector whose
// spacecraft sits at potential phi (electrons gain phi on the way in; below
// phi only photoelectrons are seen), for spacecraft sc (0 to 3).
double MeasuredPsd(int sc, double e, double pitch, double sec, double phi);

// What the model needs of a pitch angle (degrees): its cosine and the share
// the loss cone leaves.
struct PitchTerms {
    double cosine = 1;
    double lossCone = 1;
};
PitchTerms PitchTermsOf(double pitch);

// MeasuredPsd of one sweep: spacecraft sc at sec (the potential of that
// time), at each of energies, with what does not depend on the pitch angle
// worked out once.
class SweepModel {
public:
    SweepModel(int sc, double sec, const std::vector<double> &energies);
    double Psd(std::size_t level, const PitchTerms &p) const { return PsdOf(levels_[level], p); }

    struct Level {
        double photo = -1;    // below the potential: the photoelectrons' density
        double sheet = 0;     // the hot plasma sheet
        double cool = 0;      // the cool population, before its loss cone
        double beamNorm = 0;  // the beam: beamNorm exp(beam0 + beam1 cos(pitch))
        double beam0 = 0, beam1 = 0;
    };
    static Level LevelAt(int sc, double e, double sec, double phi);
    static double PsdOf(const Level &level, const PitchTerms &p);

private:
    std::vector<Level> levels_;
};
// The spacecraft potential of sc at sec, between about 3 and 15 V.
double Potential(int sc, double sec);
// The field in the spinning spacecraft frame (spin axis z, the sun pulse at
// phase 0 every spin), nT.
std::array<double, 3> SpinningField(int sc, double sec, double spinSec);

// The instrument: 12 polar sensors of 15 degrees, 8-bit counts, 8 ms per
// sweep step, a 4 s spin.
constexpr int kSensors = 12;
constexpr int kSpinMs = 4000;
constexpr int kAccumMs = 8;
constexpr int kWordBits = 8;
constexpr double kGeometric = 6e-4;  // cm^2 sr eV/eV
// Differential energy flux per (s^3/km^6 eV^2): 2 E^2 f / m^2 in cm^-2 s^-1 sr^-1.
constexpr double kFluxPerPsd = 6.18522;
// Ergs per eV: the sample writes differential energy flux in
// ergs/(cm^2 s sr eV).
constexpr double kErgPerEv = 1.602176634e-12;
// (km/s)^2 per eV of an electron: 2 e / m.
constexpr double kSpeed2PerEv = 351758.6;

// Energy tables of the products: the 3D product's 16 levels, the spin
// pitch-angle products' 12 (high and low energy ranges).
kombra_fixtures::SweepTables Tables(const std::string &vinst);
// The sensors' look directions (unit normals, thousandths) and polar zones.
std::vector<std::vector<int>> Normals();
// The counts a psd gives at sweep step `step` of a product with tables t:
// the inverse of the description's own conversion to phase-space density.
double CountsOfPsd(double psd, const kombra_fixtures::SweepTables &t, int step);
// The phase-space density that raw counts give through the same tables, as
// the reader computes it.
double PsdOfCounts(double counts, const kombra_fixtures::SweepTables &t, int step);

}  // namespace kombra_sample
