// Counting one hit in a node's records (TNodeInfo::AddHit) and the last hit
// of an address. Each stage runs in its own guard: a failure is noted (which
// rolls the request back) and the next stage still runs.
#include <exception>

#include "model/byte_order.h"
#include "platform/byte_codec.h"
#include "model/error_notes.h"
#include "model/need.h"
#include "model/node_atoms.h"
#include "model/node_day_lists.h"
#include "model/node_info.h"
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

}  // namespace

void TNodeInfo::AddHit(uint32_t ip, std::string_view referrer, double when, std::string_view prevNode,
                       std::string_view sessionRef, bool newVisit, bool newDay, bool newVisitor,
                       std::string_view /*extra*/) {
    try {
        const int32_t nv = newVisit ? 1 : 0, nd = newDay ? 1 : 0, nr = newVisitor ? 1 : 0;
        const std::string dayKey = DayKey(when);
        const int32_t weekday = IsoDayOfWeek(when);
        const int32_t hour = HourOfDay(when);
        const bool hourValid = hour >= 0 && hour <= 23;

        Ref<IIndexer> days, ips, prevNodes, sources;
        Ref<IVirtualAtom> weekHours;
        Guarded(kNoteNodeIndexes, [&] {
            days = OpenIndexLink(ilDays);
            ips = OpenIndexLink(ilIPs);
            prevNodes = OpenIndexLink(ilPrevNodes);
            sources = OpenIndexLink(ilSources);
            weekHours = atom_->OpenLink(ilWeekHours);
            NeedIndex(days);
            NeedIndex(ips);
            NeedIndex(prevNodes);
            NeedIndex(sources);
            Need(weekHours, "week-hour block");
        });

        Guarded(kNoteNodeWeekHours, [&] {
            IVirtualAtom& atom = Need(weekHours, "week-hour block");
            TWeekHourBlock block = ReadRecord<TWeekHourBlock>(atom);
            if (hourValid) {
                THourRow& all = block.AllDays;
                THourRow& day = block.Day(weekday);
                all.Hours[size_t(hour)] = WrapAdd(all.Hours[size_t(hour)], 1);
                all.Total = WrapAdd(all.Total, 1);
                day.Total = WrapAdd(day.Total, 1);
                day.Hours[size_t(hour)] = WrapAdd(day.Hours[size_t(hour)], 1);
            }
            std::vector<uint8_t> bytes = block.ToBytes();
            atom.Write(0, bytes.data(), TWeekHourBlock::kSize);
        });

        Ref<IVirtualAtom> dayAtom;
        bool dayFound = false;
        Guarded(kNoteNodeDayLookup, [&] { dayFound = NeedIndex(days).Find(dayKey, dayAtom); });

        Guarded(kNoteNodeDayRecord, [&] {
            if (!dayFound) {
                dayAtom = NeedIndex(days).Insert(dayKey);
                TNodeDayRecord record;
                record.Hits = 1;
                record.Visits = nv;
                if (hourValid) {
                    record.HourRow.Total = 1;
                    record.HourRow.Hours[size_t(hour)] = 1;
                }
                record.NewVisitors = nr;
                WriteRecord(Need(dayAtom, "day record"), record);
                return;
            }
            IVirtualAtom& record = Need(dayAtom, "day record");
            bool hasNewVisitors = record.GetSize() > TNodeDayRecord::kLegacySize;
            AddInt32At(record, TNodeDayRecord::kHitsOffset, 1);
            if (hourValid) {
                AddInt32At(record, TNodeDayRecord::kHourRowOffset + 4 + 4 * hour, 1);
                AddInt32At(record, TNodeDayRecord::kHourRowOffset, 1);
            }
            if (hasNewVisitors) AddInt32At(record, TNodeDayRecord::kNewVisitorsOffset, nr);
            else WriteInt32(record, nr, TNodeDayRecord::kNewVisitorsOffset);
            if (newVisit) AddInt32At(record, TNodeDayRecord::kVisitsOffset, 1);
        });

        Guarded(kNoteNodeDayAtoms, [&] {
            IVirtualAtom& day = Need(dayAtom, "day record");
            Ref<IVirtualAtom> visitors = LinkOrNewZero(day, dlVisitorCount);
            if (newDay) AddInt32At(*visitors, 0, 1);
            LinkOrNewZero(day, dlIPList);
        });

        if (ip != 0) {
            Guarded(kNoteNodeAddress, [&] {
                IIndexer& index = NeedIndex(ips);
                std::string key = BigEndianKey32(ip);
                Ref<IVirtualAtom> recordAtom;
                if (index.Find(key, recordAtom)) {
                    IVirtualAtom& atom = Need(recordAtom, "address record");
                    TIPRecord record = ReadRecord<TIPRecord>(atom);
                    record.Hits = WrapAdd(record.Hits, 1);
                    record.Visits = WrapAdd(record.Visits, nv);
                    record.NewDays = WrapAdd(record.NewDays, nd);
                    record.LastHit = when;
                    auto bytes = record.ToBytes();
                    atom.Write(0, bytes.data(), 20);  // FirstHit stays as it is
                } else {
                    recordAtom = index.Insert(key);
                    TIPRecord record{1, nv, when, nd, Clock().Now()};
                    WriteRecord(Need(recordAtom, "address record"), record);
                }
                Ref<IVirtualAtom> list = OpenNeededLink(Need(dayAtom, "day record"), dlIPList, "day IP list");
                AddToIPDayRow(*list, ip, 1, nv, nd);
            });
        }

        Guarded(kNoteNodeSource, [&] {
            if (!prevNode.empty()) {
                IIndexer& index = NeedIndex(prevNodes);
                Ref<IVirtualAtom> count;
                if (index.Find(prevNode, count)) AddInt32At(Need(count, "previous-page count"), 0, 1);
                else WriteInt32(Need(index.Insert(prevNode), "previous-page count"), 1);
            }

            std::string_view key = referrer;
            if (referrer.empty() && prevNode.empty()) key = kUnknownSource;

            if (!sessionRef.empty()) {
                Ref<IVirtualAtom> entry;
                if (!NeedIndex(sources).Find(sessionRef, entry)) return;
                IVirtualAtom& source = Need(entry, "source entry");
                Ref<IVirtualAtom> recordAtom = SourceRecordAtom(source, when);
                TSourceRecord record = ReadRecord<TSourceRecord>(*recordAtom);
                record.Hits = WrapAdd(record.Hits, 1);
                record.Visits = WrapAdd(record.Visits, nv);
                record.Visitors = WrapAdd(record.Visitors, nr);
                WriteRecord(*recordAtom, record);
                Ref<IVirtualAtom> list = LinkOrNewZero(Need(dayAtom, "day record"), dlSourceList);
                AddToSourceDayRow(*list, AtomNumberOf(entry), 1, nv, nr);
                return;
            }
            if (key.empty()) return;

            IIndexer& index = NeedIndex(sources);
            Ref<IVirtualAtom> entry;
            if (!index.Find(key, entry)) {
                entry = index.Insert(key);
                IVirtualAtom& source = Need(entry, "source entry");
                source.SetAsString(key);
                TSourceWeekdays weekdays;
                weekdays.Counts[0] = 1;
                weekdays.Counts[size_t(weekday)] = 1;
                Ref<IVirtualAtom> weekdaysAtom = StorageOf(source)->CreateAtom();
                WriteRecord(*weekdaysAtom, weekdays);
                source.SetLink(slWeekdays, weekdaysAtom);
                Ref<IVirtualAtom> recordAtom = StorageOf(source)->CreateAtom();
                WriteRecord(*recordAtom, TSourceRecord{1, nv, when, nr, Clock().Now(), 1});
                source.SetLink(slRecord, recordAtom);
            } else {
                IVirtualAtom& source = Need(entry, "source entry");
                Ref<IVirtualAtom> weekdaysAtom = source.OpenLink(slWeekdays);
                if (!weekdaysAtom) {
                    weekdaysAtom = StorageOf(source)->CreateAtom();
                    source.SetLink(slWeekdays, weekdaysAtom);
                }
                TSourceWeekdays weekdays = ReadRecord<TSourceWeekdays>(*weekdaysAtom);
                weekdays.Counts[0] = WrapAdd(weekdays.Counts[0], 1);
                weekdays.Counts[size_t(weekday)] = WrapAdd(weekdays.Counts[size_t(weekday)], 1);
                WriteRecord(*weekdaysAtom, weekdays);
                Ref<IVirtualAtom> recordAtom = SourceRecordAtom(source, when);
                TSourceRecord record = ReadRecord<TSourceRecord>(*recordAtom);
                record.Hits = WrapAdd(record.Hits, 1);
                record.Visits = WrapAdd(record.Visits, nv);
                record.Visitors = WrapAdd(record.Visitors, nr);
                record.LastTime = when;
                record.Transitions = WrapAdd(record.Transitions, 1);
                WriteRecord(*recordAtom, record);
                if (newVisit && !source.HasLink(slUsefulSince)) {
                    Ref<IVirtualAtom> since = StorageOf(source)->CreateAtom();
                    uint8_t bytes[8];
                    PutDouble(bytes, when);
                    since->Write(0, bytes, 8);
                    source.SetLink(slUsefulSince, since);
                }
            }
            uint32_t number = AtomNumberOf(entry);
            IVirtualAtom& day = Need(dayAtom, "day record");
            AddToSourceDayRow(*LinkOrNewZero(day, dlTransitionList), number, 1, 0, 0);
            AddToSourceDayRow(*LinkOrNewZero(day, dlSourceList), number, 1, nv, nr);
        });
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
