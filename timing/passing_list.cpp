#include "timing/passing_list.h"

#include <utility>

namespace tivaro::timing {

std::optional<std::uint32_t> PassingList::backgroundColour() const {
    if (rows_.empty()) {
        return std::nullopt;
    }
    return rows_.back().colour;
}

void PassingList::setListeners(std::function<void()> aboutToAdd, std::function<void()> added) {
    aboutToAdd_ = std::move(aboutToAdd);
    added_ = std::move(added);
}

void PassingList::add(PassingRow row) {
    if (aboutToAdd_) {
        aboutToAdd_();
    }
    rows_.push_back(std::move(row));
    if (added_) {
        added_();
    }
}

void PassingList::markTakenBack(std::size_t arrival) {
    if (arrival >= rows_.size() || rows_[arrival].takenBack) {
        return;
    }
    rows_[arrival].takenBack = true;
    if (changed_) {
        changed_(indexOf(arrival));
    }
}

void PassingList::replace(std::size_t arrival, PassingRow row) {
    if (arrival >= rows_.size()) {
        return;
    }
    rows_[arrival] = std::move(row);
    if (changed_) {
        changed_(indexOf(arrival));
    }
}

}  // namespace tivaro::timing
