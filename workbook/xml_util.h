#pragma once
// Small helpers over pugixml for the package's XML parts. Parts may use a namespace prefix
// on their elements ("x:row"), so elements are matched by their local name.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "common/result.h"

namespace tivaro::workbook {

// Parse flags that keep a part as it was: the declaration, whitespace-only text (as in
// <t xml:space="preserve"> </t>) and attribute values untouched.
inline constexpr unsigned kXmlParseFlags =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_declaration |
    pugi::parse_ws_pcdata | pugi::parse_comments | pugi::parse_pi;

// The name without its namespace prefix.
std::string_view LocalName(const char* name);
inline std::string_view LocalName(pugi::xml_node node) {
    return LocalName(node.name());
}

// The prefix of `node`'s name including the colon ("x:"), or "".
std::string_view NamePrefix(pugi::xml_node node);

// First child element with this local name; an empty node when none.
pugi::xml_node Child(pugi::xml_node parent, std::string_view localName);
// Next sibling element with this local name; an empty node when none.
pugi::xml_node NextSibling(pugi::xml_node node, std::string_view localName);

// `localName` with the prefix that `parent` uses ("x:row" under "x:sheetData").
std::string QualifiedName(pugi::xml_node parent, std::string_view localName);

// Parses one part. The message names the part and pugixml's reason and offset. A part with
// more tags than kMaxXmlTags, or with a document type (<!DOCTYPE>), is refused. `asRead`, when
// given, tells whether the document was parsed from the bytes as they are (UTF-8), rather than
// from a conversion to UTF-8.
Result<std::unique_ptr<pugi::xml_document>> ParseXmlPart(std::string_view partName,
                                                         std::string_view bytes,
                                                         bool* asRead = nullptr);

// The document as bytes, keeping what was parsed (declaration included) without reformatting.
std::string SerializeXml(const pugi::xml_document& document);

// Appends `node` and everything under it, written as SerializeXml writes them.
void AppendXml(pugi::xml_node node, std::string& out);
// Appends the start tag of `element` (its name and attributes) as SerializeXml writes it.
void AppendStartTag(pugi::xml_node element, std::string& out);

// Where an element of a parsed part stands in the bytes the part was parsed from.
struct ElementSource {
    std::size_t begin = 0;     // its "<"
    std::size_t startTag = 0;  // the length of its start tag, ">" included
    std::size_t length = 0;    // the length of the whole element; 0 when only its start was
                               // looked for
    bool emptyTag = false;     // written as one tag, "<row r=\"7\"/>"
};
// The start tag of `element`, parsed by ParseXmlPart from `bytes` as they are; nullopt when
// it cannot be told (the element's name was changed).
std::optional<ElementSource> LocateStartTag(std::string_view bytes, pugi::xml_node element);
// The whole element, end tag included; nullopt also when comments, CDATA or processing
// instructions inside it could hide where it ends.
std::optional<ElementSource> LocateElement(std::string_view bytes, pugi::xml_node element);

// A relationship target resolved against the folder of the part that holds the relationship:
// ("xl/workbook.xml", "worksheets/sheet1.xml") -> "xl/worksheets/sheet1.xml"; targets that
// start with "/" are package-absolute.
std::string ResolvePartTarget(std::string_view sourcePart, std::string_view target);

// The relationships part of a part: "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels".
std::string RelationshipsPartOf(std::string_view part);

}  // namespace tivaro::workbook
