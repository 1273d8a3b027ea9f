#include "common/escaped_text.h"

#include <algorithm>

namespace tivaro {

namespace {

bool Printable(unsigned char c) {
    return c >= 0x20 && c < 0x7f;
}

}  // namespace

void AppendEscaped(std::string_view text, std::string& out, bool otherBytesAsHex) {
    const auto special = [otherBytesAsHex](char c) {
        return c == '\\' || c == '\t' || c == '\r' || c == '\n' ||
               (otherBytesAsHex && !Printable(static_cast<unsigned char>(c)));
    };
    if (std::none_of(text.begin(), text.end(), special)) {
        out.append(text);  // the usual text: nothing to escape
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                if (otherBytesAsHex && !Printable(static_cast<unsigned char>(c))) {
                    const auto byte = static_cast<unsigned char>(c);
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
}

}  // namespace tivaro
