#include "store/read_write_lock.h"

#include <algorithm>

#include "store/errors.h"

namespace tlvx {

void TReadWriteLock::BeginRead() {
    TCriticalSectionGuard gate(gate_);
    std::lock_guard<std::mutex> counter(counterLock_);
    readers_.push_back(std::this_thread::get_id());
}

void TReadWriteLock::EndRead() {
    std::lock_guard<std::mutex> counter(counterLock_);
    auto it = std::find(readers_.begin(), readers_.end(), std::this_thread::get_id());
    QMZ_ASSERT(it != readers_.end());
    readers_.erase(it);
    if (readers_.empty()) noReaders_.notify_all();
}

void TReadWriteLock::BeginWrite() {
    gate_.Enter();
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> counter(counterLock_);
    if (writeDepth_ > 0 && writer_ == self) {
        // Re-entry of the writer: its own read locks do not count.
        ++writeDepth_;
        return;
    }
    if (std::find(readers_.begin(), readers_.end(), self) != readers_.end()) {
        counter.unlock();
        gate_.Leave();
        // Would wait for itself: a read lock cannot be upgraded.
        AssertionFailure(__FILE__, __LINE__);
    }
    noReaders_.wait(counter, [this] { return readers_.empty(); });
    writer_ = self;
    writeDepth_ = 1;
}

void TReadWriteLock::EndWrite() {
    {
        std::lock_guard<std::mutex> counter(counterLock_);
        QMZ_ASSERT(writeDepth_ > 0 && writer_ == std::this_thread::get_id());
        if (--writeDepth_ == 0) writer_ = std::thread::id();
    }
    gate_.Leave();
}

int32_t TReadWriteLock::ReaderCount() {
    std::lock_guard<std::mutex> counter(counterLock_);
    return static_cast<int32_t>(readers_.size());
}

}  // namespace tlvx
