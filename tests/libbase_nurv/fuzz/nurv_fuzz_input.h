// The input of the record layer's fuzz target: a few bytes of description
// values, then a header file and a data file.
//
//   byte 0   sensors (1 + b % 8)        byte 5  word bits (1 + b % 32)
//   byte 1   sweep length (1 + b % 16)  byte 6  calibration sets (b % 3),
//   byte 2   max_nss (1 + b % 3)                 each: use b >> 2 & 3, target
//   byte 3   flags: nano 1, smp_id 2 2,          b >> 4 & 1, scope b >> 5 & 1
//            packing 1 + (b >> 2 & 3),  byte 7  bytes of DATA in a record / 2
//            real time 16
//   byte 4   sen_mode (b % 8), da_method (b >> 3 & 3),
//            whole sweeps 0x20
//   bytes 8, 9  length of the header file, big-endian, then the header
//   file, then the data file (the rest).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nurv_fuzz {

constexpr size_t kParams = 8;

struct Layout {
    int sensors = 1, levels = 1, maxNss = 1;
    bool nano = false;
    int smpId = 0, maxPacking = 1, senMode = 0, daMethod = 0, bits = 16;
    bool realTime = false;
    int dataBytes = 0;  // DATA of a record
    struct Cal {
        int use = 0, target = 0, scope = 0;
    };
    std::vector<Cal> cals;
};

inline Layout LayoutOf(const uint8_t *p)
{
    Layout l;
    l.sensors = 1 + p[0] % 8;
    l.levels = 1 + p[1] % 16;
    l.maxNss = 1 + p[2] % 3;
    l.nano = p[3] & 1;
    l.smpId = (p[3] & 2) ? 2 : 0;
    l.maxPacking = 1 + ((p[3] >> 2) & 3);
    l.senMode = p[4] % 8;
    l.daMethod = (p[4] >> 3) & 3;
    l.bits = 1 + p[5] % 32;
    l.realTime = p[3] & 16;
    l.dataBytes = 2 * p[7];
    for (int i = 0; i < p[6] % 3; ++i)
        l.cals.push_back({(p[6] >> 2) & 3, (p[6] >> 4) & 1, (p[6] >> 5) & 1});
    return l;
}

// The bytes of an input from its parts.
inline std::string Input(const std::vector<uint8_t> &params, const std::vector<unsigned char> &header,
                         const std::vector<unsigned char> &data)
{
    std::string in(params.begin(), params.end());
    in.resize(kParams, '\0');
    in.push_back(static_cast<char>(header.size() >> 8));
    in.push_back(static_cast<char>(header.size() & 0xFF));
    in.append(header.begin(), header.end());
    in.append(data.begin(), data.end());
    return in;
}

}  // namespace nurv_fuzz
