#include "store/atom_stream.h"

#include <algorithm>
#include <limits>

#include "store/errors.h"

namespace tlvx {

namespace {

constexpr int64_t kMaxAtomSize = std::numeric_limits<int32_t>::max();

// A single stream call moves at most this many bytes through the 32-bit
// atom interface; larger requests are split.
int32_t Chunk(size_t count) {
    return int32_t(std::min<uint64_t>(count, uint64_t(kMaxAtomSize)));
}

}  // namespace

size_t TAtomStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count && pos_ < kMaxAtomSize) {
        int32_t got = atom_->Read(int32_t(pos_), out + done, Chunk(count - done));
        if (got <= 0) break;
        pos_ += got;
        done += size_t(got);
    }
    return done;
}

size_t TAtomStream::Write(const void* buffer, size_t count) {
    CheckAtomRange(pos_, int64_t(std::min<uint64_t>(count, uint64_t(kMaxAtomSize) + 1)));
    if (count == 0) return 0;
    atom_->Write(int32_t(pos_), buffer, int32_t(count));
    pos_ += int64_t(count);
    return count;
}

void TAtomStream::Seek(uint64_t position) {
    CheckAtomRange(int64_t(std::min<uint64_t>(position, uint64_t(kMaxAtomSize) + 1)), 0);
    pos_ = int64_t(position);
}

uint64_t TAtomStream::Size() const { return uint64_t(atom_->GetSize()); }

void TAtomStream::SetSize(uint64_t size) {
    CheckAtomRange(int64_t(std::min<uint64_t>(size, uint64_t(kMaxAtomSize) + 1)), 0);
    atom_->SetSize(int32_t(size));
}

int64_t TAtomStream::SeekFrom(int64_t offset, int origin) {
    int64_t base = 0;
    switch (origin) {
        case soBeginning: base = 0; break;
        case soCurrent: base = pos_; break;
        case soEnd: base = atom_->GetSize(); break;
        default: throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied);
    }
    // Both terms fit in 32 bits of size or are checked first, so the sum
    // cannot overflow.
    if (offset < -kMaxAtomSize - 1 || offset > kMaxAtomSize)
        throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied);
    int64_t target = base + offset;
    CheckAtomRange(target, 0);
    pos_ = target;
    return pos_;
}

}  // namespace tlvx
