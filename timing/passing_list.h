#pragma once
// The passings shown in the window's grid, newest first, each with its four columns and its
// colour. Rows are kept in the order they arrived and indexed from the end, so adding a row
// neither moves nor copies the rows already there.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace tivaro::timing {

struct PassingRow {
    std::string transponder;  // "Transponder"
    std::string bib;          // "Rugnr.": the bib number followed by one space
    std::string time;         // "Tijd"
    std::string type;         // "Type"
    std::uint32_t colour = 0;
    bool takenBack = false;  // the passing was taken back: its time is no longer in the sheet
};

class PassingList {
public:
    // `index` 0 is the newest passing.
    std::size_t size() const { return rows_.size(); }
    const PassingRow& row(std::size_t index) const { return rows_[rows_.size() - 1 - index]; }
    // Between a row's index (0 the newest) and its place in order of arrival (0 the first).
    std::size_t arrivalOf(std::size_t index) const { return rows_.size() - 1 - index; }
    std::size_t indexOf(std::size_t arrival) const { return rows_.size() - 1 - arrival; }

    // The grid's background: the colour of the latest passing, none before the first.
    std::optional<std::uint32_t> backgroundColour() const;

    // Runs `aboutToAdd` and `added` around each new row at index 0 (for a table model's
    // begin/end notifications).
    void setListeners(std::function<void()> aboutToAdd, std::function<void()> added);

    void add(PassingRow row);
    // Marks the row that arrived `arrival`-th as taken back; runs the change listener with its
    // index.
    void markTakenBack(std::size_t arrival);
    // The row that arrived `arrival`-th shows `row` from now on (a passing that waited for the
    // workbook and is filled in); runs the change listener with its index.
    void replace(std::size_t arrival, PassingRow row);
    const PassingRow& arrived(std::size_t arrival) const { return rows_[arrival]; }
    void setChangeListener(std::function<void(std::size_t index)> changed) {
        changed_ = std::move(changed);
    }

private:
    std::deque<PassingRow> rows_;
    std::function<void()> aboutToAdd_;
    std::function<void()> added_;
    std::function<void(std::size_t)> changed_;
};

}  // namespace tivaro::timing
