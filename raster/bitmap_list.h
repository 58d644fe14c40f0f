// Lists of named pictures, as the programs keep their default skin.
//
// TNWPaintRect owns one raster and its name; TNWPRCollectionItem wraps one
// TNWPaintRect; TNWPRCollection holds the items in order; TNWPaintRectList
// owns one collection. A picture travels as its "BitMap" data: the 24-bit
// BMP TPaintRect::SaveToStream writes, read back by TPaintRect::LoadFromStream
// (so 32-bit data loads too). Restoring an item applies its stored values in
// stored order: height and width first (which leave an empty raster
// unchanged), then the BitMap data, which sizes and fills the raster.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "raster/paint_rect.h"

namespace tlvx {

class TNWPaintRect {
public:
    TPaintRect& PaintRect() { return rect_; }
    const TPaintRect& PaintRect() const { return rect_; }

    uint16_t GetHeight() const { return rect_.Height(); }
    uint16_t GetWidth() const { return rect_.Width(); }
    // Through TPaintRect::SetHeight / SetWidth: while the other side is 0
    // nothing changes.
    void SetHeight(uint16_t height) { rect_.SetHeight(height); }
    void SetWidth(uint16_t width) { rect_.SetWidth(width); }

    const std::string& GetBitMapName() const { return bitMapName_; }
    // Naming a BMP file loads it only at design time; at run time this does
    // nothing.
    void SetBitMapName(const std::string&) {}

    void ReadBitMap(TStream& stream) { rect_.LoadFromStream(stream); }
    void WriteBitMap(TStream& stream) const { rect_.SaveToStream(stream); }

private:
    TPaintRect rect_;
    std::string bitMapName_;
};

class TNWPRCollectionItem {
public:
    // The item's own raster itself, not a copy.
    TPaintRect& GetPaintRect() { return inner_.PaintRect(); }
    const TPaintRect& GetPaintRect() const { return inner_.PaintRect(); }

    const std::string& GetBitMapName() const { return inner_.GetBitMapName(); }
    void SetBitMapName(const std::string& name) { inner_.SetBitMapName(name); }
    uint16_t GetRectHeight() const { return inner_.GetHeight(); }
    uint16_t GetRectWidth() const { return inner_.GetWidth(); }
    void SetRectHeight(uint16_t height) { inner_.SetHeight(height); }
    void SetRectWidth(uint16_t width) { inner_.SetWidth(width); }

    void ReadBitMap(TStream& stream) { inner_.ReadBitMap(stream); }
    void WriteBitMap(TStream& stream) const { inner_.WriteBitMap(stream); }

private:
    TNWPaintRect inner_;
};

class TNWPaintRectList;

class TNWPRCollection {
public:
    explicit TNWPRCollection(TNWPaintRectList* owner) : owner_(owner) {}
    TNWPRCollection(const TNWPRCollection&) = delete;
    TNWPRCollection& operator=(const TNWPRCollection&) = delete;

    // Appends a new empty item and returns it.
    TNWPRCollectionItem& Add();
    int Count() const { return int(items_.size()); }
    // Raises std::out_of_range for an index that is not an item's.
    TNWPRCollectionItem& GetItem(int index);
    const TNWPRCollectionItem& GetItem(int index) const;
    TNWPRCollectionItem& operator[](int index) { return GetItem(index); }
    TNWPaintRectList* GetOwner() const { return owner_; }
    // Replaces the items with copies of other's (names and pictures).
    void Assign(const TNWPRCollection& other);

private:
    TNWPaintRectList* owner_;
    std::vector<std::unique_ptr<TNWPRCollectionItem>> items_;
};

class TNWPaintRectList {
public:
    TNWPaintRectList() : items_(this) {}
    TNWPaintRectList(const TNWPaintRectList&) = delete;
    TNWPaintRectList& operator=(const TNWPaintRectList&) = delete;

    TNWPRCollection& Items() { return items_; }
    const TNWPRCollection& Items() const { return items_; }
    void SetItems(const TNWPRCollection& value) { items_.Assign(value); }

private:
    TNWPRCollection items_;
};

}  // namespace tlvx
