#include "workbook/formula_refs.h"

#include <algorithm>
#include <array>
#include <optional>

#include "workbook/a1_reference.h"

namespace tivaro::workbook {

namespace {

constexpr bool IsLetter(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}
constexpr bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}
char UpperAscii(char ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

// `text` equals `upper` (in capitals) without regard to the case of ASCII letters.
bool EqualsIgnoringCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (UpperAscii(text[i]) != upper[i]) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view upper) {
    return text.size() >= upper.size() && EqualsIgnoringCase(text.substr(0, upper.size()), upper);
}

// Functions whose result can change while no cell their arguments name does: they turn
// values into references (INDIRECT, OFFSET), read the range an array formula spilled into
// (ANCHORARRAY, written "A1#" in a spreadsheet), read outside data (GETPIVOTDATA, RTD), or
// are recalculated at every change (NOW, RAND, CELL, ...).
constexpr std::array<std::string_view, 12> kOpenEndedFunctions = {
    "ANCHORARRAY", "CELL",      "GETPIVOTDATA", "INDIRECT",    "INFO", "NOW",
    "OFFSET",      "RANDARRAY", "RAND",         "RANDBETWEEN", "RTD",  "TODAY",
};

// True when a call of `name` reads no cells but those its arguments name. Functions of
// add-ins ("_xll.") and functions the writing program did not know ("_xludf.") can read
// anything. Other names are built-in functions (newer ones prefixed "_xlfn." and "_xlws.")
// or functions of the workbook's macros, which a spreadsheet itself recalculates only when
// their arguments change; one that declares itself volatile cannot be told from the text.
bool ReadsOnlyItsArguments(std::string_view name) {
    if (StartsWithIgnoringCase(name, "_XLL.") || StartsWithIgnoringCase(name, "_XLUDF.")) {
        return false;
    }
    for (const std::string_view prefix : {std::string_view("_XLFN."), std::string_view("_XLWS.")}) {
        if (StartsWithIgnoringCase(name, prefix)) {
            name.remove_prefix(prefix.size());
        }
    }
    return std::none_of(kOpenEndedFunctions.begin(), kOpenEndedFunctions.end(),
                        [name](std::string_view open) { return EqualsIgnoringCase(name, open); });
}

// A reference starting at `pos`, as a block of cells; advances `pos` past it.
std::optional<CellBlock> ReferenceAt(std::string_view text, std::size_t& pos) {
    const std::optional<A1Reference> ref = A1ReferenceAt(text, pos);
    if (!ref) {
        return std::nullopt;
    }
    pos = ref->end;
    return ref->block();
}

// The end of a text in quotes starting at `pos` ('...' or "..."; a doubled quote stays
// inside), just after the closing quote; text.size() when it is not closed.
std::size_t QuotedEnd(std::string_view text, std::size_t pos) {
    const char quote = text[pos++];
    while (pos < text.size()) {
        if (text[pos] == quote) {
            if (pos + 1 < text.size() && text[pos + 1] == quote) {
                pos += 2;
                continue;
            }
            return pos + 1;
        }
        ++pos;
    }
    return text.size();
}

// The end of an error value starting at `pos` ("#REF!", "#N/A", "#DIV/0!", "#NAME?").
std::size_t ErrorEnd(std::string_view text, std::size_t pos) {
    ++pos;
    while (pos < text.size() &&
           (IsLetter(text[pos]) || IsDigit(text[pos]) || text[pos] == '/' || text[pos] == '_')) {
        ++pos;
    }
    if (pos < text.size() && (text[pos] == '!' || text[pos] == '?')) {
        ++pos;
    }
    return pos;
}

std::size_t NameEnd(std::string_view text, std::size_t pos) {
    while (pos < text.size() && IsNameChar(text[pos])) {
        ++pos;
    }
    return pos;
}

// The end of a number starting at `pos` ("12", "1.5", ".5", "1E+3").
std::size_t NumberEnd(std::string_view text, std::size_t pos) {
    while (pos < text.size() && (IsDigit(text[pos]) || text[pos] == '.')) {
        ++pos;
    }
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        std::size_t exponent = pos + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        if (exponent < text.size() && IsDigit(text[exponent])) {
            pos = exponent;
            while (pos < text.size() && IsDigit(text[pos])) {
                ++pos;
            }
        }
    }
    return pos;
}

class Scanner {
public:
    explicit Scanner(std::string_view formula) : text_(formula) {}

    FormulaRefs run() {
        while (pos_ < text_.size() && !result_.unresolved) {
            step();
        }
        if (result_.unresolved) {
            result_.refs.clear();
        }
        return std::move(result_);
    }

private:
    void step() {
        const char ch = text_[pos_];
        if (ch == '"') {
            pos_ = QuotedEnd(text_, pos_);
        } else if (ch == '#') {
            pos_ = ErrorEnd(text_, pos_);
        } else if (ch == '\'') {
            quotedSheet();
        } else if (ch == '$' || IsNameChar(ch)) {
            nameOrReference();
        } else if (ch == '[' || ch == ':') {
            // A table or another workbook; a range operator between other things than
            // two cells of one reference (a function's result, a name, another sheet's cell).
            result_.unresolved = true;
        } else {
            ++pos_;  // an operator, a separator, a parenthesis, a brace, a space
        }
    }

    // 'Sheet name'!reference
    void quotedSheet() {
        const std::size_t end = QuotedEnd(text_, pos_);
        if (end >= text_.size() || text_[end] != '!' || end - pos_ < 3) {
            result_.unresolved = true;
            return;
        }
        std::string sheet;
        for (std::size_t i = pos_ + 1; i + 1 < end; ++i) {
            sheet += text_[i];
            if (text_[i] == '\'') {
                ++i;  // the second of a doubled quote
            }
        }
        // "[1]Sheet" is a sheet of another workbook, "Sheet1:Sheet3" a range of sheets.
        if (sheet.find_first_of("[]:") != std::string::npos) {
            result_.unresolved = true;
            return;
        }
        pos_ = end + 1;
        target(sheet);
    }

    void nameOrReference() {
        const std::size_t nameEnd = NameEnd(text_, pos_);
        const bool named = nameEnd > pos_;
        if (named && nameEnd < text_.size() && text_[nameEnd] == '!') {
            const std::string_view sheet = text_.substr(pos_, nameEnd - pos_);
            pos_ = nameEnd + 1;
            target(sheet);
            return;
        }
        if (named && nameEnd < text_.size() && text_[nameEnd] == ':') {
            const std::size_t secondEnd = NameEnd(text_, nameEnd + 1);
            if (secondEnd > nameEnd + 1 && secondEnd < text_.size() && text_[secondEnd] == '!') {
                result_.unresolved = true;  // a range of sheets, "Sheet1:Sheet3!A1"
                return;
            }
        }
        if (named && nameEnd < text_.size() && text_[nameEnd] == '(') {
            // A function: no reference is followed by "(".
            result_.unresolved = !ReadsOnlyItsArguments(text_.substr(pos_, nameEnd - pos_));
            pos_ = nameEnd;
            return;
        }
        std::size_t next = pos_;
        if (const auto block = ReferenceAt(text_, next)) {
            add({}, *block);
            pos_ = next;
            return;
        }
        const char ch = text_[pos_];
        if (IsDigit(ch) || (ch == '.' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
            pos_ = NumberEnd(text_, pos_);
            return;
        }
        if (!named) {
            result_.unresolved = true;  // a "$" that starts no reference
            return;
        }
        const std::string_view name = text_.substr(pos_, nameEnd - pos_);
        pos_ = nameEnd;
        // TRUE and FALSE are values; "_xlpm." names are the parameters of LET and LAMBDA.
        if (EqualsIgnoringCase(name, "TRUE") || EqualsIgnoringCase(name, "FALSE") ||
            StartsWithIgnoringCase(name, "_XLPM.")) {
            return;
        }
        result_.unresolved = true;  // a defined name, or a table before its "["
    }

    // What follows "Sheet!": a reference, or an error value where a deleted one was.
    void target(std::string_view sheet) {
        if (pos_ < text_.size() && text_[pos_] == '#') {
            pos_ = ErrorEnd(text_, pos_);
            return;
        }
        std::size_t next = pos_;
        const auto block = ReferenceAt(text_, next);
        if (!block) {
            result_.unresolved = true;  // a name defined for that sheet only, or no reference
            return;
        }
        add(sheet, *block);
        pos_ = next;
    }

    void add(std::string_view sheet, const CellBlock& block) {
        for (const FormulaRef& ref : result_.refs) {
            if (ref.block.first == block.first && ref.block.last == block.last &&
                ref.sheet == sheet) {
                return;
            }
        }
        result_.refs.push_back(FormulaRef{std::string(sheet), block});
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    FormulaRefs result_;
};

}  // namespace

FormulaRefs ScanFormulaRefs(std::string_view formula) {
    return Scanner(formula).run();
}

}  // namespace tivaro::workbook
