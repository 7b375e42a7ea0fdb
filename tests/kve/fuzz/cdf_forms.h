// Other forms of a CDF image that our writer made, for the CDF tests and the
// fuzz seeds: its variables or the whole file compressed as the CDF library
// compresses them (GZIP through zlib, RLE by hand; HUFF and AHUFF only
// named, their data left as they are), and the places of its records, for
// tests that alter one field.  An image is a string of bytes; header fields
// are big-endian, offsets 8 bytes wide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdf_forms {

// Compression methods as a CPR names them.
inline constexpr int32_t kRle = 1, kHuff = 2, kAhuff = 3, kGzip = 5;

// Data compressed by a method; HUFF and AHUFF give them unchanged.
std::string Compress(int32_t method, const std::string &data);
// The image with the records of every zVariable that has records stored
// compressed: one CVVR in place of each VVR and a CPR per variable, both
// appended, with the VDR's flag, its CPR offset and the VXR's offsets set.
std::string CompressVariables(const std::string &image, int32_t method);
// The whole file compressed: the magic numbers of a compressed file, a CCR
// holding the rest of the image compressed, and its CPR.
std::string CompressFile(const std::string &image, int32_t method);

// A field of the image; Put changes it in place.
uint64_t Get(const std::string &image, uint64_t at, int bytes);
void Put(std::string &image, uint64_t at, int bytes, uint64_t value);

// Offsets of the records of an uncompressed image: its GDR, its zVDRs in
// order, its ADRs in order and the entries (AEDRs) of an ADR, the global or
// rVariable entries first, then the zEntries.
uint64_t Gdr(const std::string &image);
std::vector<uint64_t> Vdrs(const std::string &image);
std::vector<uint64_t> Adrs(const std::string &image);
std::vector<uint64_t> Entries(const std::string &image, uint64_t adr);

}  // namespace cdf_forms
