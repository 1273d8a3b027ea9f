#include "workbook/workbook_part.h"

#include <map>

#include "workbook/xml_util.h"

namespace tivaro::workbook {

namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The relationship id of a <sheet>: the attribute "id" in the relationships namespace,
// whatever prefix the file binds to it ("r:id").
std::string_view RelationshipId(pugi::xml_node sheet) {
    for (pugi::xml_attribute attribute : sheet.attributes()) {
        const std::string_view name = attribute.name();
        if (name.find(':') != std::string_view::npos && LocalName(attribute.name()) == "id") {
            return attribute.value();
        }
    }
    return {};
}

// Elements that come before <calcPr> in a workbook part, from <sheets> on.
bool PrecedesCalcPr(std::string_view localName) {
    return localName == "sheets" || localName == "functionGroups" ||
           localName == "externalReferences" || localName == "definedNames";
}

Error Damaged(const std::string& fileName, const std::string& what) {
    return MakeError(Errc::BadFormat, "De werkmap is beschadigd: " + what + ". " +
                                          kDamagedWorkbookHint + " Bestand: " + fileName);
}

Error NotAWorkbook(const std::string& fileName, const std::string& why) {
    return MakeError(
        Errc::BadFormat,
        "Dit is geen werkmap: " + why + ". Kies een .xlsx- of .xlsm-werkmap. Bestand: " + fileName);
}

}  // namespace

Result<std::unique_ptr<WorkbookPart>> WorkbookPart::Load(const Package& package,
                                                         const std::string& fileName) {
    auto part = std::unique_ptr<WorkbookPart>(new WorkbookPart());
    part->partName_ = "xl/workbook.xml";
    if (package.contains("_rels/.rels")) {
        auto bytes = package.read("_rels/.rels");
        if (!bytes) {
            return bytes.error();
        }
        auto rels = ParseXmlPart("_rels/.rels", *bytes);
        if (!rels) {
            return Damaged(fileName, rels.error().message);
        }
        for (pugi::xml_node rel = Child((*rels)->document_element(), "Relationship"); rel;
             rel = NextSibling(rel, "Relationship")) {
            if (EndsWith(rel.attribute("Type").value(), "/officeDocument")) {
                part->partName_ = ResolvePartTarget("", rel.attribute("Target").value());
                break;
            }
        }
    }
    if (!package.contains(part->partName_)) {
        return NotAWorkbook(fileName, "onderdeel " + part->partName_ + " ontbreekt");
    }
    auto bytes = package.read(part->partName_);
    if (!bytes) {
        return bytes.error();
    }
    auto document = ParseXmlPart(part->partName_, *bytes);
    if (!document) {
        return Damaged(fileName, document.error().message);
    }
    part->document_ = std::move(*document);
    const pugi::xml_node root = part->document_->document_element();
    if (LocalName(root) != "workbook") {
        return NotAWorkbook(fileName, "onderdeel " + part->partName_ + " bevat geen werkmap");
    }

    std::map<std::string, std::pair<std::string, std::string>> targets;  // id -> type, part
    part->relationshipsPartName_ = RelationshipsPartOf(part->partName_);
    if (package.contains(part->relationshipsPartName_)) {
        auto relsBytes = package.read(part->relationshipsPartName_);
        if (!relsBytes) {
            return relsBytes.error();
        }
        auto rels = ParseXmlPart(part->relationshipsPartName_, *relsBytes);
        if (!rels) {
            return Damaged(fileName, rels.error().message);
        }
        part->relationships_ = std::move(*rels);
        for (pugi::xml_node rel = Child(part->relationships_->document_element(), "Relationship");
             rel; rel = NextSibling(rel, "Relationship")) {
            const std::string type = rel.attribute("Type").value();
            std::string target =
                ResolvePartTarget(part->partName_, rel.attribute("Target").value());
            if (std::string stored = package.storedName(target); !stored.empty()) {
                target = std::move(stored);  // so that a rewritten part replaces this entry
            }
            targets[rel.attribute("Id").value()] = {type, target};
            if (EndsWith(type, "/sharedStrings")) {
                part->sharedStringsPart_ = target;
            } else if (EndsWith(type, "/styles")) {
                part->stylesPart_ = target;
            } else if (EndsWith(type, "/calcChain")) {
                part->calcChainPart_ = target;
            }
        }
    }

    for (pugi::xml_node sheet = Child(Child(root, "sheets"), "sheet"); sheet;
         sheet = NextSibling(sheet, "sheet")) {
        SheetEntry entry;
        entry.name = sheet.attribute("name").value();
        if (const auto found = targets.find(std::string(RelationshipId(sheet)));
            found != targets.end()) {
            entry.part = found->second.second;
            entry.worksheet = EndsWith(found->second.first, "/worksheet");
        }
        part->sheets_.push_back(std::move(entry));
    }
    if (part->sheets_.empty()) {
        return NotAWorkbook(fileName, "hij heeft geen werkbladen");
    }
    // Two worksheets on one part: what is written to the one would be lost to the other's
    // version when the part is written back.
    std::map<std::string, const std::string*> sheetOfPart;
    for (const SheetEntry& entry : part->sheets_) {
        if (!entry.worksheet || entry.part.empty()) {
            continue;
        }
        const auto [other, added] = sheetOfPart.try_emplace(entry.part, &entry.name);
        if (!added) {
            return Damaged(fileName, "de werkbladen \"" + *other->second + "\" en \"" + entry.name +
                                         "\" gebruiken hetzelfde onderdeel " + entry.part);
        }
    }
    const pugi::xml_node view = Child(Child(root, "bookViews"), "workbookView");
    const int tab = view.attribute("activeTab").as_int(0);
    part->activeTab_ = (tab >= 0 && tab < static_cast<int>(part->sheets_.size())) ? tab : 0;
    return part;
}

void WorkbookPart::requestFullCalculation() {
    pugi::xml_node root = document_->document_element();
    pugi::xml_node calc = Child(root, "calcPr");
    if (!calc) {
        // <calcPr> follows <sheets> and the optional lists after it, and comes before
        // everything else that may follow.
        pugi::xml_node after = Child(root, "sheets");
        for (pugi::xml_node next = after.next_sibling(); next; next = next.next_sibling()) {
            if (next.type() != pugi::node_element) {
                continue;
            }
            if (!PrecedesCalcPr(LocalName(next))) {
                break;
            }
            after = next;
        }
        calc = root.insert_child_after(QualifiedName(root, "calcPr").c_str(), after);
    }
    pugi::xml_attribute attribute = calc.attribute("fullCalcOnLoad");
    if (attribute && attribute.as_bool(false)) {
        return;
    }
    if (!attribute) {
        attribute = calc.append_attribute("fullCalcOnLoad");
    }
    attribute = "1";
    modified_ = true;
}

void WorkbookPart::dropCalcChainRelationship() {
    if (calcChainPart_.empty() || !relationships_) {
        return;
    }
    pugi::xml_node root = relationships_->document_element();
    for (pugi::xml_node rel = Child(root, "Relationship"); rel;
         rel = NextSibling(rel, "Relationship")) {
        if (EndsWith(rel.attribute("Type").value(), "/calcChain")) {
            root.remove_child(rel);
            break;
        }
    }
    calcChainPart_.clear();
    relationshipsModified_ = true;
}

std::string WorkbookPart::serialize() const {
    return SerializeXml(*document_);
}

std::string WorkbookPart::serializeRelationships() const {
    return relationships_ ? SerializeXml(*relationships_) : std::string{};
}

Result<std::string> ContentTypesWithout(std::string_view contentTypes, std::string_view part) {
    auto document = ParseXmlPart("[Content_Types].xml", contentTypes);
    if (!document) {
        return document.error();
    }
    pugi::xml_node root = (*document)->document_element();
    const std::string partName = "/" + std::string(part);
    for (pugi::xml_node entry = Child(root, "Override"); entry;
         entry = NextSibling(entry, "Override")) {
        if (partName == entry.attribute("PartName").value()) {
            root.remove_child(entry);
            return SerializeXml(**document);
        }
    }
    return std::string{};
}

}  // namespace tivaro::workbook
