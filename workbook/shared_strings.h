#pragma once
// The shared-string table of a workbook (xl/sharedStrings.xml): cells of type "s" hold an
// index into it. Only read: written texts go into their cells as inline strings, so this part
// never changes.

#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "common/result.h"

namespace tivaro::workbook {

// The text of a string item (<si> or <is>): its plain <t>, or its rich-text runs <r><t>
// joined; phonetic hints (<rPh>) are not part of the text.
std::string StringItemText(pugi::xml_node item);

class SharedStrings {
public:
    static Result<SharedStrings> Parse(std::string_view partName, std::string_view bytes);

    std::size_t size() const { return texts_.size(); }
    // The text of item `index`; nullptr when there is no such item.
    const std::string* at(std::size_t index) const {
        return index < texts_.size() ? &texts_[index] : nullptr;
    }

private:
    std::vector<std::string> texts_;
};

}  // namespace tivaro::workbook

namespace tivaro::workbook {

// Spreadsheet XML writes characters that XML cannot hold (control characters) as "_xHHHH_",
// and a literal "_x" that would look like such an escape as "_x005F_x". These convert between
// a cell's text and the text of its <t> element.
std::string DecodeEscapedText(std::string_view stored);
std::string EncodeEscapedText(std::string_view text);

}  // namespace tivaro::workbook
