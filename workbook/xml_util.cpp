#include "workbook/xml_util.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "workbook/limits.h"

namespace tivaro::workbook {

std::string_view LocalName(const char* name) {
    std::string_view view(name);
    const std::size_t colon = view.find(':');
    return colon == std::string_view::npos ? view : view.substr(colon + 1);
}

std::string_view NamePrefix(pugi::xml_node node) {
    std::string_view view(node.name());
    const std::size_t colon = view.find(':');
    return colon == std::string_view::npos ? std::string_view{} : view.substr(0, colon + 1);
}

pugi::xml_node Child(pugi::xml_node parent, std::string_view localName) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && LocalName(child) == localName) {
            return child;
        }
    }
    return {};
}

pugi::xml_node NextSibling(pugi::xml_node node, std::string_view localName) {
    for (pugi::xml_node next = node.next_sibling(); next; next = next.next_sibling()) {
        if (next.type() == pugi::node_element && LocalName(next) == localName) {
            return next;
        }
    }
    return {};
}

std::string QualifiedName(pugi::xml_node parent, std::string_view localName) {
    std::string name(NamePrefix(parent));
    name += localName;
    return name;
}

Result<std::unique_ptr<pugi::xml_document>> ParseXmlPart(std::string_view partName,
                                                         std::string_view bytes) {
    const std::string part = "onderdeel " + std::string(partName);
    // A parsed element costs many times its text; the tags are counted before parsing.
    const auto tags = static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '<'));
    if (tags > kMaxXmlTags) {
        return MakeError(Errc::BadFormat, part + " heeft " + std::to_string(tags) +
                                              " XML-tags, meer dan de grens van " +
                                              std::to_string(kMaxXmlTags) + " per onderdeel");
    }
    auto document = std::make_unique<pugi::xml_document>();
    // The document type is parsed only to be refused: the parts of a workbook never have
    // one, and entities declared in it are a way to make a small part expand without end
    // (pugixml leaves such entity references unexpanded either way).
    const pugi::xml_parse_result parsed = document->load_buffer(
        bytes.data(), bytes.size(), kXmlParseFlags | pugi::parse_doctype, pugi::encoding_auto);
    if (!parsed) {
        return MakeError(Errc::BadFormat, part + " is geen geldige XML (" + parsed.description() +
                                              ", bij byte " + std::to_string(parsed.offset) + ")");
    }
    for (pugi::xml_node node = document->first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_doctype) {
            return MakeError(Errc::BadFormat,
                             part +
                                 " bevat een documenttype (<!DOCTYPE>), wat een werkmap nooit "
                                 "heeft");
        }
    }
    if (!document->document_element()) {
        return MakeError(Errc::BadFormat, part + " is leeg");
    }
    return document;
}

namespace {

struct StringWriter final : pugi::xml_writer {
    std::string* out;
    explicit StringWriter(std::string* target) : out(target) {}
    void write(const void* data, std::size_t size) override {
        out->append(static_cast<const char*>(data), size);
    }
};

}  // namespace

std::string SerializeXml(const pugi::xml_document& document) {
    std::string bytes;
    StringWriter writer(&bytes);
    // No declaration is added when the part had none; the one it had is kept as a node.
    document.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return bytes;
}

std::string ResolvePartTarget(std::string_view sourcePart, std::string_view target) {
    std::string joined;
    if (!target.empty() && target.front() == '/') {
        joined = std::string(target.substr(1));
    } else {
        const std::size_t slash = sourcePart.rfind('/');
        joined = slash == std::string_view::npos ? std::string{}
                                                 : std::string(sourcePart.substr(0, slash + 1));
        joined += target;
    }
    // Collapse "." and ".." segments ("xl/worksheets/../media/a.png").
    std::vector<std::string> segments;
    std::size_t begin = 0;
    while (begin <= joined.size()) {
        std::size_t end = joined.find('/', begin);
        if (end == std::string::npos) {
            end = joined.size();
        }
        const std::string segment = joined.substr(begin, end - begin);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        begin = end + 1;
    }
    std::string resolved;
    for (const std::string& segment : segments) {
        if (!resolved.empty()) {
            resolved += '/';
        }
        resolved += segment;
    }
    return resolved;
}

std::string RelationshipsPartOf(std::string_view part) {
    const std::size_t slash = part.rfind('/');
    if (slash == std::string_view::npos) {
        return "_rels/" + std::string(part) + ".rels";
    }
    return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) +
           ".rels";
}

}  // namespace tivaro::workbook
