// An in-memory storage file for the atom-store tests: a byte image that
// survives "reopen", a simple first-fit allocator and the header fields the
// atom store uses.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/atom_file.h"
#include "store/errors.h"

namespace tlvx::test {

struct TMemoryDisk {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(128, 0);
    uint64_t atomTablePos = 0;
    uint16_t flags = 0;
    uint8_t align = 1;
    std::map<uint64_t, uint32_t> holes;  // position -> size
    bool created = false;
    int flushes = 0;
};

class TMemoryAtomFile : public IAtomFile {
public:
    TMemoryAtomFile(std::shared_ptr<TMemoryDisk> disk, bool readOnly)
        : disk_(std::move(disk)), readOnly_(readOnly), isNew_(!disk_->created) {
        disk_->created = true;
    }
    void ReadAt(void* b, uint32_t n, uint64_t pos) override {
        if (pos + n > disk_->bytes.size()) throw EQmzError(ecFileIO, TQmzMessage::FileRead);
        std::memcpy(b, disk_->bytes.data() + pos, n);
    }
    void WriteAt(const void* b, uint32_t n, uint64_t pos) override {
        CheckWritable();
        if (pos + n > disk_->bytes.size()) throw EQmzError(ecFileIO, TQmzMessage::FileWrite);
        std::memcpy(disk_->bytes.data() + pos, b, n);
    }
    void Fill(uint32_t n, uint8_t v, uint64_t pos) override {
        std::vector<uint8_t> t(n, v);
        WriteAt(t.data(), n, pos);
    }
    void CheckWritable() const override {
        if (readOnly_) throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied);
    }
    bool IsReadOnly() const override { return readOnly_; }
    bool IsNew() const override { return isNew_; }
    const std::string& FullPath() const override { return path_; }
    uint64_t LogicalSize() const override { return disk_->bytes.size(); }
    uint8_t AtomSizeAlign() const override { return disk_->align; }
    uint64_t AtomTablePos() const override { return disk_->atomTablePos; }
    void SetAtomTablePos(uint64_t p) override { CheckWritable(); disk_->atomTablePos = p; }
    uint16_t Flags() const override { return disk_->flags; }
    void SetFlags(uint16_t f) override { CheckWritable(); disk_->flags = f; }
    uint64_t Alloc(uint32_t size) override {
        CheckWritable();
        for (auto it = disk_->holes.begin(); it != disk_->holes.end(); ++it) {
            if (it->second >= size) {
                const uint64_t pos = it->first;
                const uint32_t rest = it->second - size;
                disk_->holes.erase(it);
                if (rest) disk_->holes[pos + size] = rest;
                return pos;
            }
        }
        const uint64_t pos = disk_->bytes.size();
        disk_->bytes.resize(pos + size, 0);
        return pos;
    }
    void Free(uint32_t size, uint64_t pos) override {
        CheckWritable();
        if (size == 0) return;
        for (auto& [p, s] : disk_->holes)
            if (pos < p + s && p < pos + size) throw std::logic_error("double free");
        disk_->holes[pos] = size;
    }
    void Flush() override { ++disk_->flushes; }

private:
    std::shared_ptr<TMemoryDisk> disk_;
    bool readOnly_;
    bool isNew_;
    std::string path_ = "/mem/test.orv";
};

}  // namespace tlvx::test
