// A file that hands every call to another, for wrappers that watch a few of
// them (reads counted, a lock's hold timed) and pass the rest on.
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"

namespace tlvx::test {

class TPassThroughFile : public IFile {
public:
    explicit TPassThroughFile(std::unique_ptr<IFile> inner) : inner_(std::move(inner)) {}
    size_t ReadAt(void* b, size_t n, uint64_t p) override { return inner_->ReadAt(b, n, p); }
    void WriteAt(const void* b, size_t n, uint64_t p) override { inner_->WriteAt(b, n, p); }
    void SetSize(uint64_t size) override { inner_->SetSize(size); }
    uint64_t Size() override { return inner_->Size(); }
    void Sync() override { inner_->Sync(); }
    const std::string& Path() const override { return inner_->Path(); }

protected:
    std::unique_ptr<IFile> inner_;
};

}  // namespace tlvx::test
