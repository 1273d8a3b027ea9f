#pragma once
// Turns planned passings into the bytes a decoder sends: escaped binary records of the
// current generation (a status record now and then), or the text lines of an older decoder.
// Faults can be mixed in on demand: noise between records, and a corrupted byte.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/tivaro-sim/race_plan.h"

namespace tivaro::sim {

enum class WireFormat { Binary, Older };

struct StreamOptions {
    WireFormat format = WireFormat::Binary;
    int statusEvery = 5;         // a status record or line after every N passings; 0: none
    bool numbersAsText = false;  // binary: send numeric codes as text, not as a number
    int garbageEvery = 0;        // noise (no frame bytes) before every N-th passing; 0: none
    int corruptEvery = 0;        // one data byte of every N-th passing record altered
    std::uint32_t decoderId = 0x0D0C8F01;
    std::uint32_t seed = 1;
};

class DecoderStream {
public:
    explicit DecoderStream(StreamOptions options);

    // Appends the bytes of one passing (and what follows it) to `out`.
    void Append(const SimPassing& passing, std::vector<std::uint8_t>& out);

private:
    void AppendBinary(const SimPassing& passing, std::vector<std::uint8_t>& out);
    void AppendOlder(const SimPassing& passing, std::vector<std::uint8_t>& out);
    void AppendNoise(std::vector<std::uint8_t>& out);

    StreamOptions options_;
    std::mt19937 random_;
    std::uint32_t passingNumber_ = 0;
};

}  // namespace tivaro::sim
