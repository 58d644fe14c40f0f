// Returning visitors, recognised by the user id the counter program keeps in
// a long-lived cookie (a braced GUID text): per visitor its hit and visit
// counts, first and last hit, the last time per node and a record per
// client address; for the whole database how soon visitors come back and
// how many have made 1, 2, 3, 4-5, 6-10 or more visits.
//
// Layout under the visitors root atom (records in visitor_records.h):
//   link 0  TReturnCounters
//   link 1  visitor index: key the 16 bytes of the visitor GUID; value the
//           visitor atom
//   link 2  first-seen index: key the int32 key of a hit (the client
//           address), little-endian; value data the 16-byte GUIDs of the
//           visitors first registered with that key, appended
//   link 3  counted returns, int32
//   link 4  TVisitHistogram, made zeroed on first use
// Visitor atom: data TVisitorRecord; link 1 node-time index (key the node
// name; value data a date-time), link 2 key index (key the little-endian
// int32 key; value data TVisitorKeyRecord), each made on first use.
//
// Through a read-only storage nothing is made: a missing link reads as an
// empty index or a zero record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/visitor_records.h"
#include "platform/guid.h"
#include "platform/ref.h"
#include "store/virtual_atom.h"

namespace tlvx {

// One row of the visitor report.
struct TVObject {
    TGUID VisitorId;
    std::vector<int32_t> Keys;  // each key's 4 bytes reversed
    std::vector<std::string> Nodes;
    int32_t Hits = 0;
    int32_t Visits = 0;
    double LastTime = 0;
    double FirstTime = 0;
};

// A report line: the visitor GUID text and its row.
struct TVisitorLine {
    std::string Text;
    TVObject Object;
};
using TVisitorList = std::vector<TVisitorLine>;

// A visitor of the visitor list read no further than the list needs: its
// record, and its address (first key) only for the rows shown. The entry
// holds the visitor atom open: drop the entries before the transaction
// ends.
struct TVisitorEntry {
    TGUID VisitorId;
    int32_t Hits = 0;
    int32_t Visits = 0;
    double LastTime = 0;
    double FirstTime = 0;
    // The first key, its 4 bytes reversed, once read; KeyRead tells a
    // visitor without keys from one not read yet.
    bool KeyRead = false;
    std::optional<int32_t> FirstKey;
    Ref<IVirtualAtom> Atom;
};
using TVisitorEntries = std::vector<TVisitorEntry>;

// Visitor ids are braced GUID texts; any other text raises
// std::invalid_argument in the methods that take one (RegisterHit notes it).
class IVisitorCollection : public virtual RefCounted {
public:
    // Records one hit; true when the visitor was known. An empty id gets a
    // new GUID text, written back, and counts as a new visitor. Any failure
    // notes "Error12!" and ends the call.
    virtual bool RegisterHit(std::string& visitorId, int32_t key, bool isNewVisitor, bool isNewVisit,
                             double time) = 0;
    virtual TReturnCounters GetReturnCounters() = 0;
    virtual int32_t GetReturnCount() = 0;
    virtual TVisitHistogram GetVisitHistogram() = 0;
    // 0 when the visitor or the node entry is missing.
    virtual double GetVisitorNodeTime(std::string_view node, std::string_view visitorId) = 0;
    // Unknown visitors are ignored.
    virtual void SetVisitorNodeTime(std::string_view node, std::string_view visitorId, double time) = 0;
    // Node names in index order; empty for an unknown visitor.
    virtual std::vector<std::string> ListVisitorNodes(std::string_view visitorId) = 0;
    // Date 0 empties the visitor and first-seen indexes and gives 0;
    // otherwise removes the visitors first seen on Date's day (after the
    // walk) and gives their number. The first-seen index keeps their GUIDs.
    virtual int32_t DeleteVisitorsOfDay(double date) = 0;
    // The visitors first seen on Date's day or later that have a key, in
    // index order. A visitor that cannot be read notes "Error14!" and is
    // left out; its node list failing notes "Error13!" and keeps the nodes
    // read so far.
    virtual TVisitorList ListVisitorsSince(double date) = 0;
    // The visitors ListVisitorsSince lists, in the same order, without their
    // node names or keys (FirstVisitorKey reads the first key of the rows
    // shown): a visitor whose atom links a key index counts as one with a
    // key, since the counter makes that index in the hit that stores its
    // first key. A visitor that cannot be read notes "Error14!" and is left
    // out.
    virtual TVisitorEntries ListVisitorEntries(double date) = 0;
};

class TVisitorCollection : public IVisitorCollection {
public:
    // The visitor store in root: a writable root gets the links it lacks
    // (a new store: indexes 1 and 2, zeroed counters 0; an older one: the
    // counted returns 3, starting from the 30-day counter). A set link 1 or
    // 2 that holds no index raises EQmzError 152; a null root ENilObject.
    static Ref<IVisitorCollection> Create(const Ref<IVirtualAtom>& root);

    bool RegisterHit(std::string& visitorId, int32_t key, bool isNewVisitor, bool isNewVisit,
                     double time) override;
    TReturnCounters GetReturnCounters() override;
    int32_t GetReturnCount() override;
    TVisitHistogram GetVisitHistogram() override;
    double GetVisitorNodeTime(std::string_view node, std::string_view visitorId) override;
    void SetVisitorNodeTime(std::string_view node, std::string_view visitorId, double time) override;
    std::vector<std::string> ListVisitorNodes(std::string_view visitorId) override;
    int32_t DeleteVisitorsOfDay(double date) override;
    TVisitorList ListVisitorsSince(double date) override;
    TVisitorEntries ListVisitorEntries(double date) override;

private:
    friend class RefMaker;
    explicit TVisitorCollection(Ref<IVirtualAtom> root) : root_(std::move(root)) {}

    Ref<IVirtualAtom> FindVisitor(const TGUID& id);
    Ref<IVirtualAtom> RecordAtom(int32_t link, int32_t size);
    void AddFirstSeen(int32_t key, const TGUID& id);
    void CountHistogram(int32_t visits);
    void CountReturn(double elapsed);
    bool ReadRow(IVirtualAtom& visitor, double date, TVObject& row);
    // Walks the visitor index, giving each visitor's GUID and its atom
    // opened with mode; a visitor that cannot be opened notes "Error14!".
    template <class Visit>
    void WalkVisitors(uint8_t mode, Visit visit);

    Ref<IVirtualAtom> root_;
};

// The first key of an entry's visitor, its 4 bytes reversed (Keys.front()
// of its ListVisitorsSince row), read once; nothing when it has no key. A
// key index that cannot be read notes "Error14!" and gives nothing.
std::optional<int32_t> FirstVisitorKey(TVisitorEntry& entry);

// The GUID of a visitor id text; std::invalid_argument when it is none.
TGUID VisitorGuid(std::string_view visitorId);

// The new bucket counts after a visitor's visit count became visits.
TVisitHistogram StepVisitHistogram(TVisitHistogram histogram, int32_t visits);

// The counters after a return elapsed days after the previous hit.
TReturnCounters StepReturnCounters(TReturnCounters counters, double elapsed);

}  // namespace tlvx
