// What both programs do alike to find a counter's database and, on the
// console install road, to create it.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "model/base_conf.h"
#include "model/counter2.h"
#include "platform/ref.h"
#include "platform/stream.h"
#include "raster/bitmap_list.h"

namespace tlvx {

// The database file of counter id: the configuration's DataBaseName when a
// block was found for a non-empty id; otherwise the file beside the program
// named after it, "/srv/cgi-bin/tlvxstat" giving "/srv/cgi-bin/tlvxstat.orv".
// Without a configuration the two programs therefore use different files.
std::string CounterDatabasePath(const std::string& programPath, bool confLoaded,
                                const TBaseConf& conf, std::string_view id);

// The default skin as a new database takes it: stream [0] the background
// (item 10 of the list), [1] to [10] the digits 0 to 9 (items 0 to 9), each
// saved as a BMP and rewound to position 0.
class TDefaultSkinStreams {
public:
    explicit TDefaultSkinStreams(const TNWPaintRectList& defSkin);
    TDefaultSkinStreams(const TDefaultSkinStreams&) = delete;
    TDefaultSkinStreams& operator=(const TDefaultSkinStreams&) = delete;

    // Pointers into this object, valid while it lives.
    const TSkinStreams& Streams() const { return pointers_; }

private:
    std::array<TMemoryStream, 11> streams_;
    TSkinStreams pointers_{};
};

// Creates the counter database fileName with the default skin of defSkin
// (an existing file is opened as it is) and leaves it open in counter, null
// when that failed; returns why it failed ("" when it did not). Install mode
// is switched on first and stays on for the run, so notes made while
// creating cannot turn the creation's commit into an abort; OpenCounter2 has
// committed the new database when this returns.
std::string CreateCounterDatabase(const std::string& fileName, const TNWPaintRectList& defSkin,
                                  Ref<ICounter2>& counter);

}  // namespace tlvx
