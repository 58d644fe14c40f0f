// The path of every visitor session: the node names it went through, joined
// by "->" by the counter program, and its last node; and how many sessions
// followed each distinct path.
//
// Layout under the paths root atom:
//   link 1  an index made with the store and used by nothing
//   link 2  path index: key the 16 bytes of the session GUID; value text the
//           session's path
//   link 3  last-node index: same key; value text the last node name
//   link 4  an atom with the text "0" that nothing reads
// A link missing from an older file reads as an empty index; a change
// through a writable storage creates it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "platform/ref.h"
#include "store/virtual_atom.h"

namespace tlvx {

// One line of the path statistics.
struct TPathCount {
    std::string Path;
    int32_t Count = 0;
    friend bool operator==(const TPathCount&, const TPathCount&) = default;
};
using TPathStatistics = std::vector<TPathCount>;

class IPathCollection : public virtual RefCounted {
public:
    // Finds or inserts the session's entry and sets its text.
    virtual void SetLastNode(const TGUID& sessionId, std::string_view node) = 0;
    virtual void SetPath(const TGUID& sessionId, std::string_view path) = 0;
    virtual void Reserved1() = 0;
    virtual void Reserved2() = 0;
    // One line per distinct path text (letter case ignored, the first
    // spelling met kept), highest count first; equal counts stay in
    // case-blind text order. A path that cannot be read notes "Error18!" and
    // is left out; a failed walk notes "Error19!" and keeps what was counted.
    virtual TPathStatistics GetPathStatistics() = 0;
    // Empty when the session has no entry.
    virtual std::string GetLastNode(const TGUID& sessionId) = 0;
    virtual std::string GetPath(const TGUID& sessionId) = 0;
};

class TPathCollection : public IPathCollection {
public:
    // Lays out a new paths root in root's transaction. A null root raises
    // ENilObject.
    static Ref<IPathCollection> Create(const Ref<IVirtualAtom>& root);
    // The paths kept in root; a link 1 to 3 that is set must hold an index
    // (EQmzError 152 otherwise).
    static Ref<IPathCollection> Open(const Ref<IVirtualAtom>& root);

    void SetLastNode(const TGUID& sessionId, std::string_view node) override;
    void SetPath(const TGUID& sessionId, std::string_view path) override;
    void Reserved1() override {}
    void Reserved2() override {}
    TPathStatistics GetPathStatistics() override;
    std::string GetLastNode(const TGUID& sessionId) override;
    std::string GetPath(const TGUID& sessionId) override;

private:
    friend class RefMaker;
    explicit TPathCollection(Ref<IVirtualAtom> root) : root_(std::move(root)) {}

    void SetText(int32_t link, const TGUID& sessionId, std::string_view text);
    std::string GetText(int32_t link, const TGUID& sessionId);

    Ref<IVirtualAtom> root_;
};

}  // namespace tlvx
