#pragma once
// Decoders and older decoder lines carry text as single bytes of the Windows-1252 code page.
// The rest of the program holds text as UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace tivaro::decoder {

// Appends the UTF-8 form of one Windows-1252 byte. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 code points of the same value.
void AppendCp1252AsUtf8(std::uint8_t byte, std::string& out);

// The UTF-8 form of a Windows-1252 text.
std::string Cp1252ToUtf8(std::string_view text);

}  // namespace tivaro::decoder
