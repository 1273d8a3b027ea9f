#pragma once
// The passing colours, as the numbers the worksheet and the grid take:
// red + 256 × green + 65536 × blue.

#include <cstdint>

namespace tivaro::timing {

inline constexpr std::uint32_t Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red + 256 * green + 65536 * blue;
}

inline constexpr std::uint32_t kLightCyan = Rgb(128, 255, 255);    // warm-up
inline constexpr std::uint32_t kYellow = Rgb(255, 255, 0);         // intermediate passings
inline constexpr std::uint32_t kGreen = Rgb(0, 255, 0);            // the start
inline constexpr std::uint32_t kOrange = Rgb(255, 128, 0);         // the finish
inline constexpr std::uint32_t kLightYellow = Rgb(255, 255, 128);  // cool-down after the finish
inline constexpr std::uint32_t kWhite = Rgb(255, 255, 255);        // unknown transponder
inline constexpr std::uint32_t kGrey = Rgb(192, 192, 192);         // a double read, set aside
inline constexpr std::uint32_t kLavender = Rgb(204, 204, 255);     // waiting for the workbook

static_assert(kLightCyan == 16777088 && kYellow == 65535 && kGreen == 65280 && kOrange == 33023 &&
              kLightYellow == 8454143 && kWhite == 16777215);

}  // namespace tivaro::timing
