#include "workbook/shared_strings.h"
#include "common/hex.h"

#include "workbook/xml_util.h"

namespace tivaro::workbook {

namespace {

bool IsHex(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

// True when text[pos..] starts with "_xHHHH_".
bool EscapeAt(std::string_view text, std::size_t pos) {
    return pos + 7 <= text.size() && text[pos] == '_' && text[pos + 1] == 'x' &&
           IsHex(text[pos + 2]) && IsHex(text[pos + 3]) && IsHex(text[pos + 4]) &&
           IsHex(text[pos + 5]) && text[pos + 6] == '_';
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string DecodeEscapedText(std::string_view stored) {
    if (stored.find("_x") == std::string_view::npos) {
        return std::string(stored);
    }
    std::string text;
    text.reserve(stored.size());
    for (std::size_t pos = 0; pos < stored.size();) {
        if (EscapeAt(stored, pos)) {
            AppendUtf8(text, static_cast<unsigned>(
                                 std::stoul(std::string(stored.substr(pos + 2, 4)), nullptr, 16)));
            pos += 7;
        } else {
            text += stored[pos++];
        }
    }
    return text;
}

std::string EncodeEscapedText(std::string_view text) {
    std::string stored;
    stored.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        // A CR is escaped too: a reader turns a CR in XML text into a line feed.
        if (byte < 0x20 && byte != '\t' && byte != '\n') {
            stored += "_x00";
            AppendHexByte(byte, stored);
            stored += '_';
        } else if (EscapeAt(text, pos)) {
            stored += "_x005F_";  // the "_" of a literal "_xHHHH_"
        } else {
            stored += text[pos];
        }
    }
    return stored;
}

std::string StringItemText(pugi::xml_node item) {
    std::string text;
    for (pugi::xml_node child = item.first_child(); child; child = child.next_sibling()) {
        const std::string_view name = LocalName(child);
        if (name == "t") {
            text += DecodeEscapedText(child.text().get());
        } else if (name == "r") {
            for (pugi::xml_node run = Child(child, "t"); run; run = NextSibling(run, "t")) {
                text += DecodeEscapedText(run.text().get());
            }
        }
    }
    return text;
}

Result<SharedStrings> SharedStrings::Parse(std::string_view partName, std::string_view bytes) {
    auto document = ParseXmlPart(partName, bytes);
    if (!document) {
        return document.error();
    }
    SharedStrings table;
    const pugi::xml_node root = (*document)->document_element();
    for (pugi::xml_node item = Child(root, "si"); item; item = NextSibling(item, "si")) {
        table.texts_.push_back(StringItemText(item));
    }
    return table;
}

}  // namespace tivaro::workbook
