#pragma once
// The workbook part (usually xl/workbook.xml) and its relationships: which sheets there are,
// in which order, where their parts lie, which one is active; where the shared strings, the
// styles and the calculation chain are. Changes made here: the request to recalculate on
// load, and leaving out a stale calculation chain.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "common/result.h"
#include "workbook/package.h"

namespace tivaro::workbook {

struct SheetEntry {
    std::string name;
    std::string part;        // package path of its part, "" when the relationship is missing
    bool worksheet = false;  // false for chart and dialog sheets, which hold no cells
};

class WorkbookPart {
public:
    static Result<std::unique_ptr<WorkbookPart>> Load(const Package& package,
                                                      const std::string& fileName);

    const std::string& partName() const { return partName_; }
    const std::string& relationshipsPartName() const { return relationshipsPartName_; }
    const std::vector<SheetEntry>& sheets() const { return sheets_; }
    // Related parts; "" when the workbook has none.
    const std::string& sharedStringsPart() const { return sharedStringsPart_; }
    const std::string& stylesPart() const { return stylesPart_; }
    const std::string& calcChainPart() const { return calcChainPart_; }

    // The sheet the file opens on.
    int activeTab() const { return activeTab_; }
    // Asks the spreadsheet application to recalculate every formula when it opens the file.
    void requestFullCalculation();
    // Takes the calculation chain out of the relationships (its part is then left out).
    void dropCalcChainRelationship();

    bool modified() const { return modified_; }
    bool relationshipsModified() const { return relationshipsModified_; }
    std::string serialize() const;
    std::string serializeRelationships() const;

private:
    std::string partName_;
    std::string relationshipsPartName_;
    std::unique_ptr<pugi::xml_document> document_;
    std::unique_ptr<pugi::xml_document> relationships_;
    std::vector<SheetEntry> sheets_;
    std::string sharedStringsPart_;
    std::string stylesPart_;
    std::string calcChainPart_;
    int activeTab_ = 0;
    bool modified_ = false;
    bool relationshipsModified_ = false;
};

// [Content_Types].xml without the override for `part`; nullopt-like empty string when the
// part was not listed (nothing to change).
Result<std::string> ContentTypesWithout(std::string_view contentTypes, std::string_view part);

}  // namespace tivaro::workbook
