#include "raster/bitmap_list.h"

#include <stdexcept>

namespace tlvx {

TNWPRCollectionItem& TNWPRCollection::Add() {
    items_.push_back(std::make_unique<TNWPRCollectionItem>());
    return *items_.back();
}

TNWPRCollectionItem& TNWPRCollection::GetItem(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("List index out of bounds");
    return *items_[size_t(index)];
}

const TNWPRCollectionItem& TNWPRCollection::GetItem(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("List index out of bounds");
    return *items_[size_t(index)];
}

void TNWPRCollection::Assign(const TNWPRCollection& other) {
    if (&other == this) return;
    std::vector<std::unique_ptr<TNWPRCollectionItem>> copies;
    for (const auto& item : other.items_)
        copies.push_back(std::make_unique<TNWPRCollectionItem>(*item));
    items_ = std::move(copies);
}

}  // namespace tlvx
