// The sample archive: configuration, the catalog for every back end (SQLite
// file, dBASE tables, MySQL statements), descriptions, data and help pages
// of 2001 day 90 for the four Cluster spacecraft, written into a folder with
// the environment file that points the programs at it.  By default 16:00 to
// 20:00: every product of CLUSTER-1 and CLUSTER-2, the HSPAD product of the
// other two, and the field and potential data of all four; whole spins of
// the sweep products from 17:30 to 18:30.
#pragma once

#include <string>

namespace kombra_sample {

struct SampleOptions {
    bool day = false;     // the whole day, every product of every spacecraft
    bool noise = true;    // Poisson noise on the counts
    unsigned seed = 20010331;
    std::string docDir;   // help pages to copy; empty: none
};

// Writes the archive into root (created when missing).  Each file is
// written beside its name and renamed over it whole, so that a program
// reading an archive while it is written again finds each file as it was or
// as it is now, never a part of one; kombra.env is written last.  Throws
// std::runtime_error when a file cannot be written.
void WriteSampleArchive(const std::string &root, const SampleOptions &options);

// First and last hour of the data written (inclusive .. exclusive).
int FirstHour(const SampleOptions &options);
int EndHour(const SampleOptions &options);

// Where the sweep products (3DR, and PAD read in pitch angle) hold whole
// spins: every spin that begins from 17:30 to 18:30 holds its sweeps back
// to back, each over its own sector of azimuth, and the field is sampled 20
// times a spin in the hour files around them.  Elsewhere one sweep per spin
// (at its sun pulse), and the field every 2 s.
constexpr int kWholeSpinsBeginMs = (17 * 60 + 30) * 60000;
constexpr int kWholeSpinsEndMs = (18 * 60 + 30) * 60000;

// The spacecraft and sensor whose detector is dead (every count is the fill
// value).
constexpr int kDeadSpacecraft = 2;
constexpr int kDeadSensor = 7;

}  // namespace kombra_sample
