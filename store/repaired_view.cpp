#include "store/repaired_view.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "store/journaled_file.h"
#include "store/page_runs.h"

namespace tlvx {
namespace {

// The database with the originals written back and cut or grown to the
// original size, as RollBackJournal leaves it: the pages the originals touch
// are kept whole in memory, everything else is read from the file.
class TRepairedView : public IFile {
public:
    TRepairedView(std::unique_ptr<IFile> inner, const TJournalVerdict& verdict)
        : inner_(std::move(inner)), size_(verdict.originalSize) {
        for (const TJournalRecord& r : verdict.originals)
            WriteIntoPages(r.bytes.data(), r.bytes.size(), r.position, kPage,
                           [this](uint64_t index) { return Page(index).data(); });
    }

    size_t ReadAt(void* buffer, size_t count, uint64_t position) override {
        if (position >= size_) return 0;
        const uint64_t n = std::min<uint64_t>(count, size_ - position);
        ReadThroughPages(
            static_cast<uint8_t*>(buffer), n, position, kPage,
            [this](uint64_t index) -> const uint8_t* {
                auto it = patched_.find(index);
                return it == patched_.end() ? nullptr : it->second.data();
            },
            [this](uint8_t* out, uint64_t count, uint64_t at) { ReadInner(out, count, at); });
        return size_t(n);
    }
    void WriteAt(const void*, size_t, uint64_t) override { Refuse("writing"); }
    void SetSize(uint64_t) override { Refuse("resizing"); }
    void Sync() override {}
    uint64_t Size() override { return size_; }
    const std::string& Path() const override { return inner_->Path(); }

private:
    static constexpr uint64_t kPage = 4096;

    // A page as the file holds it (zeros past its end), to be patched.
    std::vector<uint8_t>& Page(uint64_t index) {
        auto it = patched_.find(index);
        if (it != patched_.end()) return it->second;
        std::vector<uint8_t> page(kPage);
        ReadInner(page.data(), kPage, index * kPage);
        return patched_.emplace(index, std::move(page)).first->second;
    }
    // Bytes past the end of the file read as zeros: a rollback that grows
    // the file back fills with what the journal saved, and zeros elsewhere.
    void ReadInner(uint8_t* out, uint64_t count, uint64_t position) {
        const size_t got = inner_->ReadAt(out, size_t(count), position);
        std::memset(out + got, 0, size_t(count - got));
    }
    [[noreturn]] void Refuse(const char* what) {
        throw EPlatformError(std::string("Error ") + what + " \"" + Path() + "\" read through its journal",
                             EBADF, Path());
    }

    std::unique_ptr<IFile> inner_;
    uint64_t size_;
    std::map<uint64_t, std::vector<uint8_t>> patched_;
};

}  // namespace

std::unique_ptr<IFile> ViewAsRepaired(std::unique_ptr<IFile> database, const std::string& journalPath) {
    const TJournalVerdict verdict = JudgeJournal(*database, journalPath);
    if (!verdict.rollBack) return database;
    return std::make_unique<TRepairedView>(std::move(database), verdict);
}

}  // namespace tlvx
