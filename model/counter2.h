// The counter database facade: one storage file of the counter data class,
// opened (or created with its default skin) by OpenCounter2 and reached only
// through ICounter2 while one transaction lives.
//
// Every call reads or writes the atoms at once; nothing is cached. Releasing
// the last ICounter2 reference ends the transaction: a writable one is
// committed, or aborted when a note set the failure flag (error_notes.h); a
// read-only one is left as it was. Collections handed out must be released
// before the facade, or the commit is refused.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/counter_settings.h"
#include "model/node_interfaces.h"
#include "model/path_collection.h"
#include "model/skin_collection.h"
#include "model/skip_collection.h"
#include "model/visitor_collection.h"
#include "platform/guid.h"
#include "platform/ref.h"
#include "platform/stream.h"

namespace tlvx {

// The data class of every counter database.
inline constexpr std::string_view StorageClassGUID = "{EEF8A118-B004-4CEF-885D-7A6D41788651}";

// The default skin of a new database: [0] the background, [1..10] digits 0 to
// 9, each a BMP stream; a null stream counts as empty.
using TSkinStreams = std::array<TStream*, 11>;

// {A57AF4B4-B4AC-4BFB-9EB7-F75560416CA4}
class ICounter2 : public virtual RefCounted {
public:
    // The collections over root children 13, 11, 12 and 14.
    virtual Ref<INodeCollection> GetNodes() = 0;
    virtual Ref<ISkinCollection> GetSkins() = 0;
    virtual Ref<ISkipCollection> GetSkipList() = 0;
    virtual Ref<IPathCollection> GetPaths() = 0;
    // The 56-byte record of child 0.
    virtual TCounterSettings GetSettings() = 0;
    virtual void SetSettings(const TCounterSettings& settings) = 0;
    // Texts of children 1 and 2.
    virtual std::string GetSiteName() = 0;
    virtual void SetSiteName(std::string_view name) = 0;
    virtual std::string GetDefaultPage() = 0;
    virtual void SetDefaultPage(std::string_view page) = 0;
    // Children 3 and 4 hold zero-length records: no effect.
    virtual void GetRecord3() = 0;
    virtual void SetRecord3() = 0;
    virtual void GetRecord4() = 0;
    virtual void SetRecord4() = 0;
    // Texts of children 7, 8 (an address), 9 and 10.
    virtual std::string GetString7() = 0;
    virtual void SetString7(std::string_view text) = 0;
    virtual std::string GetAddress() = 0;
    virtual void SetAddress(std::string_view text) = 0;
    virtual std::string GetString9() = 0;
    virtual void SetString9(std::string_view text) = 0;
    virtual std::string GetString10() = 0;
    virtual void SetString10(std::string_view text) = 0;
    // TotalVisits of the settings.
    virtual int32_t GetTotalVisits() = 0;
    // The storage's own identifier; as braced upper-case text.
    virtual TGUID GetDatabaseGUID() = 0;
    virtual std::string GetDatabaseGUIDString() = 0;
    // TotalVisits drawn as a GIF with skin skinNo (skin 0 when there is
    // no such skin); stream then holds exactly the GIF, position 0.
    virtual void DrawCounterImage(TStream* stream, int32_t skinNo) = 0;
    // Child 15, made first when missing (not on a read-only storage,
    // where a missing child raises ENilObject).
    virtual Ref<IVisitorCollection> GetVisitors() = 0;
    // Text of child 16, made first when missing; a read-only storage
    // reads a missing child as empty.
    virtual void SetMainNodeName(std::string_view name) = 0;
    virtual std::string GetMainNodeName() = 0;
    // Replaces the content of blob index with the whole stream; nothing
    // when the blob container has no such link.
    virtual void PutBlob(int32_t index, TStream& stream) = 0;
    // A copy of blob index, position 0; empty when there is none.
    virtual TMemoryStream GetBlob(int32_t index) = 0;
};

// Opens the counter database fileName, or creates it with the default skin
// when it does not exist. counter is null afterwards when that failed: the
// note "Error40!" was made and nothing escapes.
//
// A missing file is created only by a writable open with a complete default
// skin; a read-only open, or an incomplete skin, finds no database and
// leaves no file behind. The creation is committed before this returns: a
// creation that fails, or is cut off by a crash, leaves no database (the
// next open removes the remains). An existing file whose root lacks the
// children every database has is refused. queryText (the request's query)
// plays no part in the open.
void OpenCounter2(const std::string& fileName, Ref<ICounter2>& counter, const TSkinStreams& skins,
                  bool readOnly, const std::string& queryText);

// OpenCounter2 that tells why counter is null: the text of what went wrong,
// "" when the database was opened.
std::string TryOpenCounter2(const std::string& fileName, Ref<ICounter2>& counter, const TSkinStreams& skins,
                            bool readOnly);

// True when fileName is a database: the file exists and is not the remains of
// a creation that never finished (which OpenCounter2 clears and, given the
// default skin, makes anew).
bool CounterDatabaseExists(const std::string& fileName);

}  // namespace tlvx
