// The root atom of a counter database: what each numbered link holds.
//
//  link content                          a new database
//   0   TCounterSettings (56 bytes)       counter_settings.h
//   1   site name                         "Your Site"
//   2   default page                      "/default.htm"
//   3,4 zero-length records               empty atoms
//   5,6 nothing                           empty atoms
//   7   text                              empty
//   8   address text                      "127.0.0.1"
//   9,10 texts                            empty
//   11  skins root                        the default skin as skin 0
//   12  skip-list root
//   13  node tree root
//   14  paths root
//   15  visitors root                     (older files may lack 15-17)
//   16  main node name                    empty
//   17  blob container                    9 empty atoms as links 0..8
#pragma once

#include <array>
#include <cstdint>

namespace tlvx {

enum TRootChild : int32_t {
    rcSettings = 0,
    rcSiteName = 1,
    rcDefaultPage = 2,
    rcRecord3 = 3,
    rcRecord4 = 4,
    rcUnused5 = 5,
    rcUnused6 = 6,
    rcString7 = 7,
    rcAddress = 8,
    rcString9 = 9,
    rcString10 = 10,
    rcSkins = 11,
    rcSkipList = 12,
    rcNodes = 13,
    rcPaths = 14,
    rcVisitors = 15,
    rcMainNode = 16,
    rcBlobs = 17,
};

inline constexpr int32_t kBlobCount = 9;

// The children a database of any age has; a root without one of them is no
// counter database (for example a file whose creation never finished).
inline constexpr std::array<TRootChild, 7> kRequiredRootChildren = {
    rcSettings, rcSiteName, rcDefaultPage, rcSkins, rcSkipList, rcNodes, rcPaths};

inline constexpr char kNewSiteName[] = "Your Site";
inline constexpr char kNewDefaultPage[] = "/default.htm";
inline constexpr char kNewAddress[] = "127.0.0.1";

}  // namespace tlvx
