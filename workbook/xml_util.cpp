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
                                                         std::string_view bytes, bool* asRead) {
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
    if (asRead != nullptr) {
        *asRead = parsed.encoding == pugi::encoding_utf8;
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

constexpr unsigned kWriteFlags = pugi::format_raw | pugi::format_no_declaration;

}  // namespace

std::string SerializeXml(const pugi::xml_document& document) {
    std::string bytes;
    StringWriter writer(&bytes);
    // No declaration is added when the part had none; the one it had is kept as a node.
    document.save(writer, "", kWriteFlags, pugi::encoding_utf8);
    return bytes;
}

void AppendXml(pugi::xml_node node, std::string& out) {
    StringWriter writer(&out);
    node.print(writer, "", kWriteFlags, pugi::encoding_utf8);
}

void AppendStartTag(pugi::xml_node element, std::string& out) {
    // The element alone, written out with an end tag of its own, which is then cut off.
    pugi::xml_document alone;
    pugi::xml_node copy = alone.append_child(element.name());
    for (const pugi::xml_attribute attribute : element.attributes()) {
        copy.append_attribute(attribute.name()) = attribute.value();
    }
    std::string tag;
    StringWriter writer(&tag);
    copy.print(writer, "", kWriteFlags | pugi::format_no_empty_element_tags, pugi::encoding_utf8);
    tag.resize(tag.size() - std::strlen(element.name()) - 3);
    out += tag;
}

std::optional<ElementSource> LocateStartTag(std::string_view bytes, pugi::xml_node element) {
    // pugixml knows where the element's name began in the buffer it parsed, which holds the
    // part's bytes as they were unless they had to be converted to UTF-8.
    const std::ptrdiff_t nameAt = element.offset_debug();
    const std::string_view name = element.name();
    if (nameAt < 1 || static_cast<std::size_t>(nameAt) + name.size() > bytes.size() ||
        bytes[nameAt - 1] != '<' || bytes.substr(nameAt, name.size()) != name) {
        return std::nullopt;
    }
    // The tag ends at the first ">" outside an attribute value.
    char quote = 0;
    for (std::size_t pos = nameAt + name.size(); pos < bytes.size(); ++pos) {
        const char ch = bytes[pos];
        if (quote != 0) {
            quote = ch == quote ? 0 : quote;
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == '>') {
            ElementSource source;
            source.begin = nameAt - 1;
            source.startTag = pos + 1 - source.begin;
            source.emptyTag = bytes[pos - 1] == '/';
            return source;
        }
    }
    return std::nullopt;
}

std::optional<ElementSource> LocateElement(std::string_view bytes, pugi::xml_node element) {
    auto source = LocateStartTag(bytes, element);
    if (!source) {
        return std::nullopt;
    }
    if (source->emptyTag) {
        source->length = source->startTag;
        return source;
    }
    const std::string closing = "</" + std::string(element.name());
    std::size_t pos = source->begin + source->startTag;
    while ((pos = bytes.find(closing, pos)) != std::string_view::npos) {
        std::size_t end = pos + closing.size();
        while (end < bytes.size() && (bytes[end] == ' ' || bytes[end] == '\t' ||
                                      bytes[end] == '\r' || bytes[end] == '\n')) {
            ++end;
        }
        if (end < bytes.size() && bytes[end] == '>') {
            const std::string_view inside = bytes.substr(source->begin + source->startTag,
                                                         pos - source->begin - source->startTag);
            if (inside.find("<!") != std::string_view::npos ||
                inside.find("<?") != std::string_view::npos) {
                return std::nullopt;
            }
            source->length = end + 1 - source->begin;
            return source;
        }
        pos = end;
    }
    return std::nullopt;
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
