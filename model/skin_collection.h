// The numbered skins of a counter database and the counter images drawn
// with them.
//
// The skins root atom holds skin n as its link n; the linked atom's data is
// one skin image stream (skin_records.h). Links may be empty: skin numbers
// need not be contiguous.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ref.h"
#include "platform/stream.h"
#include "store/virtual_atom.h"

namespace tlvx {

// Skin numbers run from 0 to this; larger and negative numbers name no skin
// (a link table that long is never meant).
inline constexpr int32_t kMaxSkinNumber = 0xFFFF;

// {BFD0AD54-A3E3-412A-BB26-B64D99E1903D}
class ISkinCollection : public virtual RefCounted {
public:
    // The counter image of value drawn with skin skinNo as a 24-bit BMP,
    // position 0; empty when there is no such skin. A skin stream that does
    // not load draws the blank preview.
    virtual TMemoryStream RenderBMP(int32_t value, int32_t skinNo) = 0;
    // The same BMP written at stream's position, which is set to 0
    // afterwards; nothing for a null stream or a missing skin.
    virtual void RenderBMPTo(TStream* stream, int32_t value, int32_t skinNo) = 0;
    // Empties link skinNo.
    virtual void DeleteSkin(int32_t skinNo) = 0;
    // Link skinNo holds an atom.
    virtual bool SkinExists(int32_t skinNo) = 0;
    // When link skinNo is empty or overwrite is set, and stream is not
    // empty: a new atom holding the whole stream becomes link skinNo.
    virtual void PutSkin(TStream& stream, int32_t skinNo, bool overwrite) = 0;
    // A non-empty stream goes to the link after the highest occupied one
    // (link 0 when none is).
    virtual void AddSkin(TStream& stream) = 0;
    // Occupied links.
    virtual int32_t GetSkinCount() = 0;
    // As RenderBMP, encoded as GIF.
    virtual TMemoryStream RenderGIF(int32_t value, int32_t skinNo) = 0;
    // The stream stored as skin skinNo; nothing when there is no such skin.
    virtual std::optional<std::vector<uint8_t>> ReadSkin(int32_t skinNo) = 0;
};

// The counter image of value drawn with a skin's stored stream (as ReadSkin
// gives it), encoded as GIF; empty when there is no skin. Needs no database:
// the counter program draws once it has let the database go.
TMemoryStream RenderSkinGIF(const std::optional<std::vector<uint8_t>>& skin, int32_t value);

class TSkinCollection : public ISkinCollection {
public:
    // A new database's skins: every link of root is removed, then
    // defaultSkin is stored as skin 0.
    static Ref<TSkinCollection> Create(const Ref<IVirtualAtom>& root, TStream& defaultSkin);
    // The skins of an existing database.
    static Ref<TSkinCollection> Open(const Ref<IVirtualAtom>& root);

    TMemoryStream RenderBMP(int32_t value, int32_t skinNo) override;
    void RenderBMPTo(TStream* stream, int32_t value, int32_t skinNo) override;
    void DeleteSkin(int32_t skinNo) override;
    bool SkinExists(int32_t skinNo) override;
    void PutSkin(TStream& stream, int32_t skinNo, bool overwrite) override;
    void AddSkin(TStream& stream) override;
    int32_t GetSkinCount() override;
    TMemoryStream RenderGIF(int32_t value, int32_t skinNo) override;
    std::optional<std::vector<uint8_t>> ReadSkin(int32_t skinNo) override;

private:
    friend class RefMaker;
    explicit TSkinCollection(Ref<IVirtualAtom> root) : root_(std::move(root)) {}
    template <class Encode>
    TMemoryStream Render(int32_t value, int32_t skinNo, Encode encode);
    template <class Encode>
    static TMemoryStream Draw(const std::optional<std::vector<uint8_t>>& skin, int32_t value,
                              Encode encode);
    friend TMemoryStream RenderSkinGIF(const std::optional<std::vector<uint8_t>>& skin, int32_t value);

    Ref<IVirtualAtom> root_;
};

}  // namespace tlvx
