#include "common/escaped_text.h"

#include <algorithm>

#include "common/hex.h"

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
                    out += "\\x";
                    AppendHexByte(static_cast<std::uint8_t>(c), out);
                } else {
                    out += c;
                }
        }
    }
}

std::optional<std::string> AppendUnescaped(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            if (i + 1 == text.size()) {
                return std::string("een losse '\\' aan het eind");
            }
            switch (text[++i]) {
                case 'r':
                    c = '\r';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case '\\':
                    c = '\\';
                    break;
                case 'x': {
                    const int high = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
                    const int low = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
                    if (high < 0 || low < 0) {
                        return std::string("na '\\x' moeten twee hexadecimale cijfers staan");
                    }
                    c = static_cast<char>(high * 16 + low);
                    i += 2;
                    break;
                }
                default:
                    return "onbekende escape '\\" + std::string(1, text[i]) +
                           "' (bekend: \\r \\n \\t \\\\ \\xHH)";
            }
        }
        out += c;
    }
    return std::nullopt;
}

}  // namespace tivaro
