// Counting one hit in a node's records (TNodeInfo::AddHit) and the last hit
// of an address. Each stage runs in its own guard: a failure is noted (which
// rolls the request back) and the next stage still runs.
#include <exception>

#include "model/byte_order.h"
#include "model/error_notes.h"
#include "model/need.h"
#include "model/node_atoms.h"
#include "model/node_day_lists.h"
#include "model/node_info.h"
#include "model/time_split.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"

namespace tlvx {

namespace {

constexpr std::string_view kUnknownSource = "UNKNOWN";

template <class Stage>
void Guarded(std::string_view note, Stage stage) {
    try {
        stage();
    } catch (...) {
        NoteError(note);
    }
}

IIndexer& NeedIndex(const Ref<IIndexer>& index) { return Need(index, "node statistics index"); }

// The link's atom, made with 4 zero bytes (a zero count, an empty list) when
// the link is empty.
Ref<IVirtualAtom> LinkOrNewZero(IVirtualAtom& parent, int32_t link) {
    if (Ref<IVirtualAtom> atom = parent.OpenLink(link)) return atom;
    Ref<IVirtualAtom> atom = StorageOf(parent)->CreateAtom();
    WriteInt32(*atom, 0);
    parent.SetLink(link, atom);
    return atom;
}

void AddInt32At(IVirtualAtom& atom, int32_t offset, int32_t delta) {
    WriteInt32(atom, WrapAdd(ReadInt32(atom, offset), delta), offset);
}

template <class Record>
Record ReadRecord(IVirtualAtom& atom) {
    std::vector<uint8_t> bytes = atom.GetAsBytes();
    return Record::FromBytes(bytes.data(), bytes.size());
}

template <class Record>
void WriteRecord(IVirtualAtom& atom, const Record& record) {
    auto bytes = record.ToBytes();
    atom.Write(0, bytes.data(), int32_t(bytes.size()));
}

// The source entry's record at link 2, made as {0, 0, LastTime = when} when
// missing.
Ref<IVirtualAtom> SourceRecordAtom(IVirtualAtom& entry, double when) {
    if (Ref<IVirtualAtom> atom = entry.OpenLink(slRecord)) return atom;
    Ref<IVirtualAtom> atom = StorageOf(entry)->CreateAtom();
    TSourceRecord record;
    record.LastTime = when;
    WriteRecord(*atom, record);
    entry.SetLink(slRecord, atom);
    return atom;
}

// One hit on its way through a node's records: the facts, the keys the
// records are filed under, and the indexes and day record the stages share.
// A stage finds what an earlier, failed stage left empty and fails too.
struct TNodeHit {
    explicit TNodeHit(const THitFacts& hit)
        : facts(hit),
          nv(hit.newVisit ? 1 : 0),
          nd(hit.newDay ? 1 : 0),
          nr(hit.newVisitor ? 1 : 0),
          time(SplitTime(hit.when)),
          dayKey(DayKey(hit.when)) {}

    const THitFacts& facts;
    const int32_t nv, nd, nr;  // newVisit, newDay, newVisitor as counts
    const TTimeSplit time;     // the day, hour and weekday it is counted in
    const std::string dayKey;
    Ref<IIndexer> days, ips, prevNodes, sources;
    Ref<IVirtualAtom> weekHours;
    Ref<IVirtualAtom> dayAtom;
    bool dayFound = false;
};

void CountWeekHourBlock(TNodeHit& h) {
    IVirtualAtom& atom = Need(h.weekHours, "week-hour block");
    TWeekHourBlock block = ReadRecord<TWeekHourBlock>(atom);
    const size_t hour = size_t(h.time.Hour);
    THourRow& all = block.AllDays;
    THourRow& day = block.Day(h.time.Weekday);
    all.Hours[hour] = WrapAdd(all.Hours[hour], 1);
    all.Total = WrapAdd(all.Total, 1);
    day.Total = WrapAdd(day.Total, 1);
    day.Hours[hour] = WrapAdd(day.Hours[hour], 1);
    std::vector<uint8_t> bytes = block.ToBytes();
    atom.Write(0, bytes.data(), TWeekHourBlock::kSize);
}

// The day's record, made for the day's first hit. A record written before
// new visitors were counted has no room for them yet: the count is written
// at its place instead of added.
void CountDayRecord(TNodeHit& h) {
    if (!h.dayFound) {
        h.dayAtom = NeedIndex(h.days).Insert(h.dayKey);
        TNodeDayRecord record;
        record.Hits = 1;
        record.Visits = h.nv;
        record.HourRow.Total = 1;
        record.HourRow.Hours[size_t(h.time.Hour)] = 1;
        record.NewVisitors = h.nr;
        WriteRecord(Need(h.dayAtom, "day record"), record);
        return;
    }
    IVirtualAtom& record = Need(h.dayAtom, "day record");
    bool hasNewVisitors = record.GetSize() > TNodeDayRecord::kLegacySize;
    AddInt32At(record, TNodeDayRecord::kHitsOffset, 1);
    AddInt32At(record, TNodeDayRecord::kHourRowOffset + 4 + 4 * h.time.Hour, 1);
    AddInt32At(record, TNodeDayRecord::kHourRowOffset, 1);
    if (hasNewVisitors) AddInt32At(record, TNodeDayRecord::kNewVisitorsOffset, h.nr);
    else WriteInt32(record, h.nr, TNodeDayRecord::kNewVisitorsOffset);
    if (h.facts.newVisit) AddInt32At(record, TNodeDayRecord::kVisitsOffset, 1);
}

// The day's visitor count and its (possibly empty) address list.
void CountDayVisitors(TNodeHit& h) {
    IVirtualAtom& day = Need(h.dayAtom, "day record");
    Ref<IVirtualAtom> visitors = LinkOrNewZero(day, dlVisitorCount);
    if (h.facts.newDay) AddInt32At(*visitors, 0, 1);
    LinkOrNewZero(day, dlIPList);
}

// The address's record (its first hit stays as it was) and its row in the
// day's address list.
void CountAddressRow(TNodeHit& h) {
    IIndexer& index = NeedIndex(h.ips);
    std::string key = BigEndianKey32(h.facts.ip);
    Ref<IVirtualAtom> recordAtom;
    if (index.Find(key, recordAtom)) {
        IVirtualAtom& atom = Need(recordAtom, "address record");
        TIPRecord record = ReadRecord<TIPRecord>(atom);
        record.Hits = WrapAdd(record.Hits, 1);
        record.Visits = WrapAdd(record.Visits, h.nv);
        record.NewDays = WrapAdd(record.NewDays, h.nd);
        record.LastHit = h.facts.when;
        auto bytes = record.ToBytes();
        atom.Write(0, bytes.data(), 20);  // FirstHit stays as it is
    } else {
        recordAtom = index.Insert(key);
        TIPRecord record{1, h.nv, h.facts.when, h.nd, Clock().Now()};
        WriteRecord(Need(recordAtom, "address record"), record);
    }
    Ref<IVirtualAtom> list = OpenNeededLink(Need(h.dayAtom, "day record"), dlIPList, "day IP list");
    AddToIPDayRow(*list, h.facts.ip, 1, h.nv, h.nd);
}

void CountPreviousPage(TNodeHit& h) {
    IIndexer& index = NeedIndex(h.prevNodes);
    Ref<IVirtualAtom> count;
    if (index.Find(h.facts.prevNode, count)) AddInt32At(Need(count, "previous-page count"), 0, 1);
    else WriteInt32(Need(index.Insert(h.facts.prevNode), "previous-page count"), 1);
}

// A hit later in a visit counts on the source that began it, when that
// source is known, and in the day's source list; it is no transition.
void CountSessionSource(TNodeHit& h) {
    Ref<IVirtualAtom> entry;
    if (!NeedIndex(h.sources).Find(h.facts.sessionRef, entry)) return;
    IVirtualAtom& source = Need(entry, "source entry");
    Ref<IVirtualAtom> recordAtom = SourceRecordAtom(source, h.facts.when);
    TSourceRecord record = ReadRecord<TSourceRecord>(*recordAtom);
    record.Hits = WrapAdd(record.Hits, 1);
    record.Visits = WrapAdd(record.Visits, h.nv);
    record.Visitors = WrapAdd(record.Visitors, h.nr);
    WriteRecord(*recordAtom, record);
    Ref<IVirtualAtom> list = LinkOrNewZero(Need(h.dayAtom, "day record"), dlSourceList);
    AddToSourceDayRow(*list, AtomNumberOf(entry), 1, h.nv, h.nr);
}

// A new source entry with its weekday counts and record.
Ref<IVirtualAtom> NewSourceEntry(TNodeHit& h, IIndexer& index, std::string_view key) {
    Ref<IVirtualAtom> entry = index.Insert(key);
    IVirtualAtom& source = Need(entry, "source entry");
    source.SetAsString(key);
    TSourceWeekdays weekdays;
    weekdays.Counts[0] = 1;
    weekdays.Counts[size_t(h.time.Weekday)] = 1;
    Ref<IVirtualAtom> weekdaysAtom = StorageOf(source)->CreateAtom();
    WriteRecord(*weekdaysAtom, weekdays);
    source.SetLink(slWeekdays, weekdaysAtom);
    Ref<IVirtualAtom> recordAtom = StorageOf(source)->CreateAtom();
    WriteRecord(*recordAtom, TSourceRecord{1, h.nv, h.facts.when, h.nr, Clock().Now(), 1});
    source.SetLink(slRecord, recordAtom);
    return entry;
}

// A known source's weekday counts and record; the first new visit it
// brings marks when it became useful.
void CountKnownSource(TNodeHit& h, IVirtualAtom& source) {
    Ref<IVirtualAtom> weekdaysAtom = source.OpenLink(slWeekdays);
    if (!weekdaysAtom) {
        weekdaysAtom = StorageOf(source)->CreateAtom();
        source.SetLink(slWeekdays, weekdaysAtom);
    }
    TSourceWeekdays weekdays = ReadRecord<TSourceWeekdays>(*weekdaysAtom);
    weekdays.Counts[0] = WrapAdd(weekdays.Counts[0], 1);
    weekdays.Counts[size_t(h.time.Weekday)] = WrapAdd(weekdays.Counts[size_t(h.time.Weekday)], 1);
    WriteRecord(*weekdaysAtom, weekdays);
    Ref<IVirtualAtom> recordAtom = SourceRecordAtom(source, h.facts.when);
    TSourceRecord record = ReadRecord<TSourceRecord>(*recordAtom);
    record.Hits = WrapAdd(record.Hits, 1);
    record.Visits = WrapAdd(record.Visits, h.nv);
    record.Visitors = WrapAdd(record.Visitors, h.nr);
    record.LastTime = h.facts.when;
    record.Transitions = WrapAdd(record.Transitions, 1);
    WriteRecord(*recordAtom, record);
    if (h.facts.newVisit && !source.HasLink(slUsefulSince)) {
        Ref<IVirtualAtom> since = StorageOf(source)->CreateAtom();
        uint8_t bytes[8];
        PutDouble(bytes, h.facts.when);
        since->Write(0, bytes, 8);
        source.SetLink(slUsefulSince, since);
    }
}

// The source record of the hit: the previous page's count, then the
// session's source, or else the outside referrer (UNKNOWN when the hit has
// neither referrer nor previous page) with a transition in the day's lists.
void CountSourceRecord(TNodeHit& h) {
    if (!h.facts.prevNode.empty()) CountPreviousPage(h);
    if (!h.facts.sessionRef.empty()) {
        CountSessionSource(h);
        return;
    }
    std::string_view key = h.facts.referrer;
    if (key.empty() && h.facts.prevNode.empty()) key = kUnknownSource;
    if (key.empty()) return;

    IIndexer& index = NeedIndex(h.sources);
    Ref<IVirtualAtom> entry;
    if (!index.Find(key, entry)) entry = NewSourceEntry(h, index, key);
    else CountKnownSource(h, Need(entry, "source entry"));
    uint32_t number = AtomNumberOf(entry);
    IVirtualAtom& day = Need(h.dayAtom, "day record");
    AddToSourceDayRow(*LinkOrNewZero(day, dlTransitionList), number, 1, 0, 0);
    AddToSourceDayRow(*LinkOrNewZero(day, dlSourceList), number, 1, h.nv, h.nr);
}

}  // namespace

void TNodeInfo::AddHit(const THitFacts& facts) {
    try {
        TNodeHit hit(facts);
        Guarded(kNoteNodeIndexes, [&] {
            hit.days = OpenIndexLink(ilDays);
            hit.ips = OpenIndexLink(ilIPs);
            hit.prevNodes = OpenIndexLink(ilPrevNodes);
            hit.sources = OpenIndexLink(ilSources);
            hit.weekHours = atom_->OpenLink(ilWeekHours);
            NeedIndex(hit.days);
            NeedIndex(hit.ips);
            NeedIndex(hit.prevNodes);
            NeedIndex(hit.sources);
            Need(hit.weekHours, "week-hour block");
        });
        Guarded(kNoteNodeWeekHours, [&] { CountWeekHourBlock(hit); });
        Guarded(kNoteNodeDayLookup,
                [&] { hit.dayFound = NeedIndex(hit.days).Find(hit.dayKey, hit.dayAtom); });
        Guarded(kNoteNodeDayRecord, [&] { CountDayRecord(hit); });
        Guarded(kNoteNodeDayAtoms, [&] { CountDayVisitors(hit); });
        if (facts.ip != 0) Guarded(kNoteNodeAddress, [&] { CountAddressRow(hit); });
        Guarded(kNoteNodeSource, [&] { CountSourceRecord(hit); });
    } catch (...) {
        NoteError(kNoteNodeHit);
    }
}

double TNodeInfo::GetIPLastHit(uint32_t ip) {
    Ref<IIndexer> ips = OpenIndexLink(ilIPs);
    Ref<IVirtualAtom> record;
    if (!ips || !ips->Find(BigEndianKey32(ip), record) || !record) return -1.0;
    return ReadRecord<TIPRecord>(*record).LastHit;
}

}  // namespace tlvx
