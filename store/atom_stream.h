// A byte stream over the data of an open atom.
#pragma once

#include <cstdint>

#include "platform/stream.h"
#include "store/virtual_atom.h"

namespace tlvx {

// Reads and writes the atom's data at a 32-bit position starting at 0. The
// atom must outlive the stream: an atom owns its own stream (GetStream), so
// the stream holds it uncounted.
class TAtomStream : public TStream {
public:
    explicit TAtomStream(IVirtualAtom& atom) : atom_(&atom) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    uint64_t Position() const override { return uint64_t(pos_); }
    // A position beyond INT32_MAX raises EQmzError 3 before anything changes.
    void Seek(uint64_t position) override;
    uint64_t Size() const override;
    void SetSize(uint64_t size) override;

    enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
    // Moves by offset from the origin; returns the new position. A result
    // outside 0..INT32_MAX raises EQmzError 3 and leaves the position.
    int64_t SeekFrom(int64_t offset, int origin);

private:
    IVirtualAtom* atom_;
    int64_t pos_ = 0;
};

}  // namespace tlvx
