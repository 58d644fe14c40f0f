// A range of a file that keeps some of its pages in memory. A read copies
// those pages and reads each run of the others from the file in one piece
// between them, so that a long read costs one call per run, not one per
// page; a write lands in the pages alone.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tlvx {

// Fills out with the n bytes at position. pageAt(index) gives the page in
// memory (pageSize bytes) or nullptr for a page to read from the file;
// readRun(out, count, position) reads such a run.
template <class PageAt, class ReadRun>
void ReadThroughPages(uint8_t* out, uint64_t n, uint64_t position, uint64_t pageSize, PageAt pageAt,
                      ReadRun readRun) {
    uint64_t runStart = 0, runLength = 0;  // bytes of the file's pages not read yet
    auto flushRun = [&] {
        if (runLength) readRun(out + runStart, runLength, position + runStart);
        runLength = 0;
    };
    for (uint64_t done = 0; done < n;) {
        const uint64_t pos = position + done;
        const uint64_t offset = pos % pageSize;
        const uint64_t len = std::min(n - done, pageSize - offset);
        if (const uint8_t* page = pageAt(pos / pageSize)) {
            flushRun();
            std::memcpy(out + done, page + offset, size_t(len));
        } else {
            if (!runLength) runStart = done;
            runLength += len;
        }
        done += len;
    }
    flushRun();
}

// Copies the n bytes of in to position, a page at a time: pageFor(index)
// gives the page in memory (pageSize bytes) to write into.
template <class PageFor>
void WriteIntoPages(const uint8_t* in, uint64_t n, uint64_t position, uint64_t pageSize, PageFor pageFor) {
    for (uint64_t done = 0; done < n;) {
        const uint64_t pos = position + done;
        const uint64_t offset = pos % pageSize;
        const uint64_t len = std::min(n - done, pageSize - offset);
        std::memcpy(pageFor(pos / pageSize) + offset, in + done, size_t(len));
        done += len;
    }
}

}  // namespace tlvx
