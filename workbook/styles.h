#pragma once
// The styles part (xl/styles.xml) as far as colouring a cell needs it: a solid fill is added
// to the fill list, and a cell format derived from the cell's own (same font, border, number
// format, alignment and protection, only the fill differs) to the cell-format list. Derived
// formats and fills are reused: within a run for the same (format, colour) pair, and across
// runs when an equal entry is already in the file.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "common/result.h"

namespace tivaro::workbook {

// The file's ARGB text of a colour number R + 256·G + 65536·B: opaque, "FFRRGGBB".
std::string ArgbText(std::uint32_t colour);

class Styles {
public:
    static Result<std::unique_ptr<Styles>> Parse(std::string_view partName, std::string_view bytes);

    // The index of a cell format equal to format `style` but for a solid fill of `colour`.
    // A format index the part does not have counts as the default format 0.
    Result<int> withFill(int style, std::uint32_t colour);

    bool modified() const { return modified_; }
    std::string serialize() const;

private:
    int fillFor(std::uint32_t colour);
    static std::string Signature(pugi::xml_node node);

    std::unique_ptr<pugi::xml_document> document_;
    pugi::xml_node fills_;
    pugi::xml_node cellFormats_;
    std::vector<pugi::xml_node> formats_;
    std::vector<std::string> formatSignatures_;  // filled on the first derivation
    std::map<std::uint32_t, int> fillByColour_;
    std::map<std::pair<int, std::uint32_t>, int> derived_;
    bool modified_ = false;
};

}  // namespace tivaro::workbook
