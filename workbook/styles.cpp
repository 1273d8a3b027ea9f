#include "workbook/styles.h"
#include "common/hex.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "workbook/xml_util.h"

namespace tivaro::workbook {

namespace {

void SetCount(pugi::xml_node list, int count) {
    pugi::xml_attribute attribute = list.attribute("count");
    if (!attribute) {
        attribute = list.append_attribute("count");
    }
    attribute = count;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string ArgbText(std::uint32_t colour) {
    const unsigned channels[] = {colour & 0xFFu, (colour >> 8) & 0xFFu, (colour >> 16) & 0xFFu};
    std::string text = "FF";
    for (unsigned channel : channels) {
        AppendHexByte(static_cast<std::uint8_t>(channel), text);
    }
    return text;
}

Result<std::unique_ptr<Styles>> Styles::Parse(std::string_view partName, std::string_view bytes) {
    auto document = ParseXmlPart(partName, bytes);
    if (!document) {
        return document.error();
    }
    auto styles = std::unique_ptr<Styles>(new Styles());
    styles->document_ = std::move(*document);
    const pugi::xml_node root = styles->document_->document_element();
    styles->fills_ = Child(root, "fills");
    styles->cellFormats_ = Child(root, "cellXfs");
    if (LocalName(root) != "styleSheet" || !styles->fills_ || !styles->cellFormats_) {
        return MakeError(Errc::BadFormat, "onderdeel " + std::string(partName) +
                                              " heeft geen lijst met vullingen of celopmaak");
    }
    for (pugi::xml_node xf = Child(styles->cellFormats_, "xf"); xf; xf = NextSibling(xf, "xf")) {
        styles->formats_.push_back(xf);
    }
    if (styles->formats_.empty()) {
        return MakeError(Errc::BadFormat,
                         "onderdeel " + std::string(partName) + " heeft geen celopmaak");
    }
    return styles;
}

std::string Styles::Signature(pugi::xml_node node) {
    std::vector<std::pair<std::string, std::string>> attributes;
    for (pugi::xml_attribute attribute : node.attributes()) {
        attributes.emplace_back(attribute.name(), attribute.value());
    }
    std::sort(attributes.begin(), attributes.end());
    std::ostringstream out;
    for (const auto& [name, value] : attributes) {
        out << name << '=' << value << ';';
    }
    for (pugi::xml_node child : node.children()) {
        child.print(out, "", pugi::format_raw);
    }
    return out.str();
}

int Styles::fillFor(std::uint32_t colour) {
    if (const auto found = fillByColour_.find(colour); found != fillByColour_.end()) {
        return found->second;
    }
    const std::string argb = ArgbText(colour);
    int index = 0;
    for (pugi::xml_node fill = Child(fills_, "fill"); fill; fill = NextSibling(fill, "fill")) {
        const pugi::xml_node pattern = Child(fill, "patternFill");
        if (std::string_view(pattern.attribute("patternType").value()) == "solid" &&
            EqualsIgnoringCase(Child(pattern, "fgColor").attribute("rgb").value(), argb)) {
            fillByColour_[colour] = index;
            return index;
        }
        ++index;
    }
    pugi::xml_node fill = fills_.append_child(QualifiedName(fills_, "fill").c_str());
    pugi::xml_node pattern = fill.append_child(QualifiedName(fills_, "patternFill").c_str());
    pattern.append_attribute("patternType") = "solid";
    pattern.append_child(QualifiedName(fills_, "fgColor").c_str()).append_attribute("rgb") =
        argb.c_str();
    pattern.append_child(QualifiedName(fills_, "bgColor").c_str()).append_attribute("indexed") = 64;
    SetCount(fills_, index + 1);
    fillByColour_[colour] = index;
    modified_ = true;
    return index;
}

Result<int> Styles::withFill(int style, std::uint32_t colour) {
    if (style < 0 || style >= static_cast<int>(formats_.size())) {
        style = 0;
    }
    const auto key = std::make_pair(style, colour);
    if (const auto found = derived_.find(key); found != derived_.end()) {
        return found->second;
    }
    if (formatSignatures_.empty()) {
        for (pugi::xml_node xf : formats_) {
            formatSignatures_.push_back(Signature(xf));
        }
    }
    const int fill = fillFor(colour);
    pugi::xml_node candidate = cellFormats_.append_copy(formats_[static_cast<std::size_t>(style)]);
    for (const char* name : {"fillId", "applyFill"}) {
        if (!candidate.attribute(name)) {
            candidate.append_attribute(name);
        }
    }
    candidate.attribute("fillId") = fill;
    candidate.attribute("applyFill") = 1;
    const std::string signature = Signature(candidate);
    const auto same = std::find(formatSignatures_.begin(), formatSignatures_.end(), signature);
    int index = 0;
    if (same != formatSignatures_.end()) {
        cellFormats_.remove_child(candidate);
        index = static_cast<int>(same - formatSignatures_.begin());
    } else {
        index = static_cast<int>(formats_.size());
        formats_.push_back(candidate);
        formatSignatures_.push_back(signature);
        SetCount(cellFormats_, index + 1);
        modified_ = true;
    }
    derived_[key] = index;
    return index;
}

std::string Styles::serialize() const {
    return SerializeXml(*document_);
}

}  // namespace tivaro::workbook
