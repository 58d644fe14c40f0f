#include "model/visitor_collection.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "model/byte_order.h"
#include "model/collection_atoms.h"
#include "model/error_notes.h"
#include "model/need.h"
#include "model/node_atoms.h"
#include "model/time_split.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "store/access_modes.h"

namespace tlvx {

namespace {

// Links of the visitors root.
constexpr int32_t kReturnCountersLink = 0;
constexpr int32_t kVisitorIndexLink = 1;
constexpr int32_t kFirstSeenLink = 2;
constexpr int32_t kCountedReturnsLink = 3;
constexpr int32_t kHistogramLink = 4;
// Links of a visitor atom.
constexpr int32_t kNodeTimesLink = 1;
constexpr int32_t kKeyRecordsLink = 2;

// The key-index key as a report row shows it: its 4 bytes reversed.
int32_t ReversedKey(const std::string& key) {
    std::array<uint8_t, 4> bytes{};
    for (size_t i = 0; i < bytes.size() && i < key.size(); ++i) bytes[i] = uint8_t(key[i]);
    ReverseBytes(bytes.data(), 4);
    return int32_t(GetU32(bytes.data()));
}

}  // namespace

TGUID VisitorGuid(std::string_view visitorId) {
    if (std::optional<TGUID> id = StrToGuid(visitorId)) return *id;
    throw std::invalid_argument("'" + std::string(visitorId) + "' is not a valid GUID value");
}

TVisitHistogram StepVisitHistogram(TVisitHistogram h, int32_t visits) {
    // The bucket a count enters with, and the one it leaves.
    int enter;
    switch (visits) {
        case 1: enter = 0; break;
        case 2: enter = 1; break;
        case 3: enter = 2; break;
        case 4: enter = 3; break;
        case 6: enter = 4; break;
        case 11: enter = 5; break;
        default: return h;
    }
    int32_t& into = h.Visitors[size_t(enter)];
    into = WrapAdd(into, 1);
    if (enter > 0 && h.Visitors[size_t(enter - 1)] > 0) --h.Visitors[size_t(enter - 1)];
    return h;
}

TReturnCounters StepReturnCounters(TReturnCounters r, double elapsed) {
    if (elapsed <= 1.0 / 24) r.Within1Hour = WrapAdd(r.Within1Hour, 1);
    if (elapsed <= 1) r.Within1Day = WrapAdd(r.Within1Day, 1);
    if (elapsed <= 7) r.Within7Days = WrapAdd(r.Within7Days, 1);
    if (elapsed <= 30) r.Within30Days = WrapAdd(r.Within30Days, 1);
    return r;
}

Ref<IVisitorCollection> TVisitorCollection::Create(const Ref<IVirtualAtom>& root) {
    Need(root, "visitors root");
    Ref<TVisitorCollection> visitors = MakeRef<TVisitorCollection>(root);
    if (!IsReadOnlyAtom(*root)) {
        for (int32_t link : {kVisitorIndexLink, kFirstSeenLink})
            if (!root->HasLink(link)) CreateIndexAt(*root, link);
        visitors->RecordAtom(kReturnCountersLink, kReturnCountersSize);
        if (!root->HasLink(kCountedReturnsLink)) {
            // A store made before returns were counted starts from the
            // 30-day counter.
            int32_t start = visitors->GetReturnCounters().Within30Days;
            WriteInt32(*visitors->RecordAtom(kCountedReturnsLink, 4), start);
        }
    }
    for (int32_t link : {kVisitorIndexLink, kFirstSeenLink}) OpenIndexAt(*root, link);
    return visitors;
}

Ref<IVirtualAtom> TVisitorCollection::RecordAtom(int32_t link, int32_t size) {
    if (Ref<IVirtualAtom> atom = OpenLinkAt(*root_, link)) return atom;
    if (IsReadOnlyAtom(*root_)) return nullptr;
    Ref<IVirtualAtom> atom = OpenOrCreateLinkAt(*root_, link);
    std::vector<uint8_t> zeros(size_t(size), 0);
    atom->Write(0, zeros.data(), size);
    return atom;
}

Ref<IVirtualAtom> TVisitorCollection::FindVisitor(const TGUID& id) {
    Ref<IIndexer> index = OpenIndexAt(*root_, kVisitorIndexLink);
    if (!index) return nullptr;
    Ref<IVirtualAtom> visitor;
    if (!index->Find(GuidKey(id), visitor)) return nullptr;
    Need(visitor, "visitor atom");
    return visitor;
}

void TVisitorCollection::AddFirstSeen(int32_t key, const TGUID& id) {
    Ref<IIndexer> firstSeen = OpenOrCreateIndexAt(*root_, kFirstSeenLink);
    Ref<IVirtualAtom> entry = FindOrInsert(*firstSeen, LittleEndianKey32(uint32_t(key)));
    auto bytes = id.ToBytes();
    entry->Write(entry->GetSize(), bytes.data(), int32_t(bytes.size()));
}

void TVisitorCollection::CountHistogram(int32_t visits) {
    Ref<IVirtualAtom> atom = RecordAtom(kHistogramLink, kVisitHistogramSize);
    Need(atom, "visit histogram");
    WriteVisitHistogram(*atom, StepVisitHistogram(ReadVisitHistogram(*atom), visits));
}

void TVisitorCollection::CountReturn(double elapsed) {
    Ref<IVirtualAtom> counters = RecordAtom(kReturnCountersLink, kReturnCountersSize);
    Need(counters, "return counters");
    WriteReturnCounters(*counters, StepReturnCounters(ReadReturnCounters(*counters), elapsed));
    Ref<IVirtualAtom> counted = RecordAtom(kCountedReturnsLink, 4);
    Need(counted, "counted returns");
    WriteInt32(*counted, WrapAdd(ReadInt32(*counted), 1));
}

bool TVisitorCollection::RegisterHit(std::string& visitorId, int32_t key, bool isNewVisitor, bool isNewVisit,
                                     double time) {
    bool known = false;
    try {
        if (visitorId.empty()) {
            visitorId = GuidToStr(NewGuid());
            isNewVisitor = true;
        }
        const TGUID id = VisitorGuid(visitorId);
        RequireChange(*root_);
        const double now = Clock().Now();

        Ref<IVirtualAtom> visitor;
        {
            Ref<IIndexer> index = OpenOrCreateIndexAt(*root_, kVisitorIndexLink);
            bool inserted = false;
            visitor = FindOrInsert(*index, GuidKey(id), &inserted);
            known = !inserted;
        }
        TVisitorRecord record;
        if (known) {
            record = ReadVisitorRecord(*visitor);
        } else {
            record.LastHit = time;
            record.FirstVisit = time;
            WriteVisitorRecord(*visitor, record);
            AddFirstSeen(key, id);
        }
        const double previousHit = record.LastHit;
        record.LastHit = time;
        record.Hits = WrapAdd(record.Hits, 1);
        WriteVisitorRecord(*visitor, record);

        {
            Ref<IIndexer> keys = OpenOrCreateIndexAt(*visitor, kKeyRecordsLink);
            bool inserted = false;
            Ref<IVirtualAtom> entry = FindOrInsert(*keys, LittleEndianKey32(uint32_t(key)), &inserted);
            TVisitorKeyRecord k;
            if (inserted) k.LastTime = k.FirstTime = now;
            else k = ReadVisitorKeyRecord(*entry);
            k.Hits = WrapAdd(k.Hits, 1);
            if (isNewVisit) k.Visits = WrapAdd(k.Visits, 1);
            k.LastTime = now;  // the clock, not the hit's time
            WriteVisitorKeyRecord(*entry, k);
        }

        if (isNewVisit) {
            record.Visits = WrapAdd(record.Visits, 1);
            WriteVisitorRecord(*visitor, record);
            CountHistogram(record.Visits);
            // Only a visitor the store knew has a previous hit to measure
            // the return from.
            if (!isNewVisitor && known) CountReturn(time - previousHit);
        }
    } catch (...) {
        NoteError(kNoteVisitorHit);
    }
    return known;
}

TReturnCounters TVisitorCollection::GetReturnCounters() {
    Ref<IVirtualAtom> atom = OpenLinkAt(*root_, kReturnCountersLink);
    return atom ? ReadReturnCounters(*atom) : TReturnCounters{};
}

int32_t TVisitorCollection::GetReturnCount() {
    Ref<IVirtualAtom> atom = OpenLinkAt(*root_, kCountedReturnsLink);
    return atom ? ReadInt32(*atom) : 0;
}

TVisitHistogram TVisitorCollection::GetVisitHistogram() {
    Ref<IVirtualAtom> atom = RecordAtom(kHistogramLink, kVisitHistogramSize);
    return atom ? ReadVisitHistogram(*atom) : TVisitHistogram{};
}

double TVisitorCollection::GetVisitorNodeTime(std::string_view node, std::string_view visitorId) {
    Ref<IVirtualAtom> visitor = FindVisitor(VisitorGuid(visitorId));
    if (!visitor) return 0;
    Ref<IIndexer> times = !IsReadOnlyAtom(*visitor) ? OpenOrCreateIndexAt(*visitor, kNodeTimesLink)
                                              : OpenIndexAt(*visitor, kNodeTimesLink);
    if (!times) return 0;
    Ref<IVirtualAtom> entry = FindForReading(*times, node);
    return entry ? ReadDateTimeAtom(*entry) : 0;
}

void TVisitorCollection::SetVisitorNodeTime(std::string_view node, std::string_view visitorId, double time) {
    const TGUID id = VisitorGuid(visitorId);
    RequireChange(*root_);
    Ref<IVirtualAtom> visitor = FindVisitor(id);
    if (!visitor) return;
    Ref<IIndexer> times = OpenOrCreateIndexAt(*visitor, kNodeTimesLink);
    WriteDateTimeAtom(*FindOrInsert(*times, node), time);
}

std::vector<std::string> TVisitorCollection::ListVisitorNodes(std::string_view visitorId) {
    Ref<IVirtualAtom> visitor = FindVisitor(VisitorGuid(visitorId));
    if (!visitor) return {};
    Ref<IIndexer> times = OpenIndexAt(*visitor, kNodeTimesLink);
    return times ? IndexKeys(*times) : std::vector<std::string>{};
}

int32_t TVisitorCollection::DeleteVisitorsOfDay(double date) {
    RequireChange(*root_);
    if (date == 0) {
        for (int32_t link : {kVisitorIndexLink, kFirstSeenLink})
            if (Ref<IIndexer> index = OpenIndexAt(*root_, link)) index->Clear();
        return 0;
    }
    Ref<IIndexer> index = OpenIndexAt(*root_, kVisitorIndexLink);
    if (!index) return 0;
    std::vector<std::string> doomed;
    {
        // The cursor holds its path of nodes open: it goes before the first
        // delete.
        Ref<IIndexerCursor> cursor;
        if (index->GetCursor(cursor)) {
            do {
                Ref<IVirtualAtom> visitor = cursor->GetValueWithMode(amRead);
                if (WholeDay(ReadVisitorRecord(Need(visitor, "visitor atom")).FirstVisit) == WholeDay(date))
                    doomed.push_back(cursor->GetKey());
            } while (cursor->Next());
        }
    }
    for (const std::string& key : doomed) index->Delete(key);
    return int32_t(doomed.size());
}

namespace {

// The record as the visitor list reads it: negative counts as 0, a missing
// last hit as the first visit. False for a visitor first seen before date's
// day or without both times.
bool ReadListedRecord(IVirtualAtom& visitor, double date, TVisitorRecord& record) {
    record = ReadVisitorRecord(visitor);
    if (record.LastHit == 0) record.LastHit = record.FirstVisit;
    record.Hits = std::max(record.Hits, 0);
    record.Visits = std::max(record.Visits, 0);
    return record.LastHit > 0 && record.FirstVisit > 0 && WholeDay(record.FirstVisit) >= WholeDay(date);
}

}  // namespace

bool TVisitorCollection::ReadRow(IVirtualAtom& visitor, double date, TVObject& row) {
    TVisitorRecord record;
    if (!ReadListedRecord(visitor, date, record)) return false;
    row.Hits = record.Hits;
    row.Visits = record.Visits;
    row.LastTime = record.LastHit;
    row.FirstTime = record.FirstVisit;
    try {
        if (Ref<IIndexer> times = OpenIndexAt(visitor, kNodeTimesLink)) {
            Ref<IIndexerCursor> cursor;
            if (times->GetCursor(cursor)) {
                do row.Nodes.push_back(cursor->GetKey());
                while (cursor->Next());
            }
        }
    } catch (...) {
        NoteError(kNoteVisitorNodes);
    }
    if (Ref<IIndexer> keys = OpenIndexAt(visitor, kKeyRecordsLink))
        for (const std::string& key : IndexKeys(*keys)) row.Keys.push_back(ReversedKey(key));
    return !row.Keys.empty();
}

template <class Visit>
void TVisitorCollection::WalkVisitors(uint8_t mode, Visit visit) {
    Ref<IIndexer> index = OpenIndexAt(*root_, kVisitorIndexLink);
    Ref<IIndexerCursor> cursor;
    if (!index || !index->GetCursor(cursor)) return;
    do {
        try {
            std::string key = cursor->GetKey();
            if (key.size() != 16) throw std::runtime_error("Visitor key is not a GUID");
            const TGUID id = TGUID::FromBytes(reinterpret_cast<const uint8_t*>(key.data()));
            Ref<IVirtualAtom> visitor = cursor->GetValueWithMode(mode);
            Need(visitor, "visitor atom");
            visit(id, visitor);
        } catch (...) {
            NoteError(kNoteVisitorRow);
        }
    } while (cursor->Next());
}

TVisitorList TVisitorCollection::ListVisitorsSince(double date) {
    TVisitorList list;
    WalkVisitors(amRead, [&](const TGUID& id, const Ref<IVirtualAtom>& visitor) {
        TVObject row;
        row.VisitorId = id;
        if (ReadRow(*visitor, date, row)) list.push_back({GuidToStr(id), std::move(row)});
    });
    return list;
}

TVisitorEntries TVisitorCollection::ListVisitorEntries(double date) {
    TVisitorEntries entries;
    WalkVisitors(amRead, [&](const TGUID& id, const Ref<IVirtualAtom>& visitor) {
        TVisitorRecord record;
        if (!ReadListedRecord(*visitor, date, record) || !visitor->HasLink(kKeyRecordsLink)) return;
        TVisitorEntry entry;
        entry.VisitorId = id;
        entry.Hits = record.Hits;
        entry.Visits = record.Visits;
        entry.LastTime = record.LastHit;
        entry.FirstTime = record.FirstVisit;
        entry.Atom = visitor;
        entries.push_back(std::move(entry));
    });
    return entries;
}

std::optional<int32_t> FirstVisitorKey(TVisitorEntry& entry) {
    if (entry.KeyRead) return entry.FirstKey;
    entry.KeyRead = true;
    try {
        Ref<IIndexer> keys = OpenIndexAt(Need(entry.Atom, "visitor atom"), kKeyRecordsLink);
        Ref<IIndexerCursor> cursor;
        if (keys && keys->GetCursor(cursor)) entry.FirstKey = ReversedKey(cursor->GetKey());
    } catch (...) {
        NoteError(kNoteVisitorRow);
    }
    return entry.FirstKey;
}

}  // namespace tlvx
