// The statistics queries over one node's records.
//
// Every query reads the stored records afresh and changes nothing, so they
// all work on a read-only database; a missing link reads as empty. Periods
// are walked from their first day with a cursor over the day index, and
// every atom, index and cursor opened here is released before returning.
#include "model/node_info.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "model/byte_order.h"
#include "model/error_notes.h"
#include "model/need.h"
#include "model/node_atoms.h"
#include "model/node_day_lists.h"
#include "model/node_period_walk.h"
#include "model/time_split.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "store/access_modes.h"

namespace tlvx {

namespace {

constexpr std::string_view kUnknownSource = "UNKNOWN";

// The link's atom opened for reading, null when the link is empty.
Ref<IVirtualAtom> ReadLink(IVirtualAtom& atom, int32_t link) {
    if (!atom.HasLink(link)) return nullptr;
    return atom.OpenLinkWithMode(link, amRead);
}

template <class TRecord>
TRecord ReadRecord(IVirtualAtom& atom) {
    uint8_t bytes[TRecord::kSize] = {};
    int32_t n = atom.Read(0, bytes, TRecord::kSize);
    return TRecord::FromBytes(bytes, size_t(std::max(n, 0)));
}

template <class TRecord>
TRecord ReadLinkedRecord(IVirtualAtom& atom, int32_t link) {
    Ref<IVirtualAtom> target = ReadLink(atom, link);
    return target ? ReadRecord<TRecord>(*target) : TRecord{};
}

double ReadDouble(IVirtualAtom& atom) {
    uint8_t bytes[8] = {};
    atom.Read(0, bytes, 8);
    return GetDouble(bytes);
}

// The source a name means where empty or blank text stands for "UNKNOWN".
std::string SourceKey(std::string_view source) {
    if (TrimBytes(source).empty()) return std::string(kUnknownSource);
    return std::string(source);
}

Ref<IVirtualAtom> FindEntry(IIndexer* index, std::string_view key) {
    Ref<IVirtualAtom> entry;
    if (!index || !index->FindWithMode(key, amRead, entry)) return nullptr;
    return entry;
}

// Calls visit for every key of index in ascending order with the cursor on
// it; the cursor is released before returning.
template <class F>
void ForEachKey(IIndexer* index, F visit) {
    if (!index) return;
    Ref<IIndexerCursor> cursor;
    if (!index->GetCursor(cursor) || !cursor || cursor->IsEmpty()) return;
    do visit(*cursor);
    while (cursor->Next());
}

// The rows of a day's source or transition list, empty when it has none.
std::vector<TSourceDayRow> DaySourceRows(IVirtualAtom& day, int32_t link) {
    Ref<IVirtualAtom> list = ReadLink(day, link);
    return list ? ReadSourceDayRows(*list) : std::vector<TSourceDayRow>{};
}

// The day's row of one source; zero counters when there is none.
TSourceDayRow DaySourceRow(IVirtualAtom& day, int32_t link, uint64_t number) {
    TSourceDayRow row;
    Ref<IVirtualAtom> list = ReadLink(day, link);
    if (list) FindSourceDayRow(*list, number, row);
    return row;
}

int32_t DayVisitorCounter(IVirtualAtom& day) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    day.ReadLinkData(dlVisitorCount, 0, bytes, 4);
    return static_cast<int32_t>(GetU32(bytes));
}

TCObjectList Sorted(TCObjectList list, TListOrder order) {
    SortCObjects(list, order);
    return list;
}

// Names of source entries by atom number, for the day lists, which name a
// source by its entry's number. Each entry is opened once per query; one
// that cannot be opened is noted and its rows are skipped.
class TSourceNames {
public:
    explicit TSourceNames(Ref<IVirtualStorage> storage) : storage_(std::move(storage)) {}

    const std::string* Find(uint64_t number) {
        auto [it, fresh] = names_.try_emplace(number);
        if (fresh) it->second = Open(number);
        return it->second ? &*it->second : nullptr;
    }

private:
    std::optional<std::string> Open(uint64_t number) {
        try {
            if (number > 0xFFFFFFFFull) throw std::out_of_range("Source number beyond an atom number");
            TAtomID id{storage_->GetStorageID(), static_cast<uint32_t>(number), 0};
            Ref<IVirtualAtom> entry = storage_->OpenAtomWithMode(id, amRead);
            return Need(entry, "source entry").GetAsString();
        } catch (...) {
            NoteError(kNoteDaySources);
            return std::nullopt;
        }
    }

    Ref<IVirtualStorage> storage_;
    std::unordered_map<uint64_t, std::optional<std::string>> names_;
};

// Appends the day's sources to list in row order, each row as a line with
// its counters (number 0 names no source).
template <class F>
void ForEachDaySource(IVirtualAtom& day, TSourceNames& names, F visit) {
    for (const TSourceDayRow& row : DaySourceRows(day, dlSourceList)) {
        if (row.Number == 0) continue;
        if (const std::string* name = names.Find(row.Number)) visit(*name, row);
    }
}

}  // namespace

// The sum of one counter of the day records over a period, wrapping as the
// stored 32-bit counters do.
int32_t TNodeInfo::SumDayField(double fromDate, double toDate, int32_t TNodeDayRecord::*field) {
    int32_t sum = 0;
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDayBytes(days.get(), DayRangeOf(fromDate, toDate), TNodeDayRecord::kSize,
                 [&](int32_t, const uint8_t* bytes, size_t size) {
                     sum = WrapAdd(sum, TNodeDayRecord::FromBytes(bytes, size).*field);
                 });
    return sum;
}

void TNodeInfo::AddDayFigures(const TDayRange& range, std::map<int32_t, TDayFigures>& figures) {
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), range, [&](int32_t day, IVirtualAtom& dayAtom) {
        const TNodeDayRecord record = ReadRecord<TNodeDayRecord>(dayAtom);
        TDayFigures& f = figures[day];
        f.Day = day;
        f.Hits = WrapAdd(f.Hits, record.Hits);
        f.Visits = WrapAdd(f.Visits, record.Visits);
        f.NewVisitors = WrapAdd(f.NewVisitors, record.NewVisitors);
        f.Visitors = WrapAdd(f.Visitors, DayVisitorCounter(dayAtom));
    });
}

int32_t TNodeInfo::GetDayHits(double fromDate, double toDate) {
    return SumDayField(fromDate, toDate, &TNodeDayRecord::Hits);
}

int32_t TNodeInfo::GetDayVisits(double fromDate, double toDate) {
    return SumDayField(fromDate, toDate, &TNodeDayRecord::Visits);
}

int32_t TNodeInfo::GetDayNewVisitors(double fromDate, double toDate) {
    return SumDayField(fromDate, toDate, &TNodeDayRecord::NewVisitors);
}

int32_t TNodeInfo::GetDayVisitors(double fromDate, double toDate) {
    int32_t sum = 0;
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), DayRangeOf(fromDate, toDate),
             [&](int32_t, IVirtualAtom& day) { sum = WrapAdd(sum, DayVisitorCounter(day)); });
    return sum;
}

int32_t TNodeInfo::GetDayVisitorCount(double day) {
    int64_t number = 0;
    if (!ClampedDay(day, number)) return 0;
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    Ref<IVirtualAtom> dayAtom = FindDay(days.get(), number);
    return dayAtom ? DayVisitorCounter(*dayAtom) : 0;
}

double TNodeInfo::GetLastDay() {
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    int32_t day = 0;
    return LastStoredDay(days.get(), day) ? double(day) : Counters().Created;
}

// The keys of the index at a link of the info atom, in index order.
StringArray TNodeInfo::KeysOfIndexLink(int32_t link) {
    StringArray names;
    Ref<IIndexer> index = OpenIndexLink(link);
    ForEachKey(index.get(), [&](IIndexerCursor& c) { names.push_back(c.GetKey()); });
    return names;
}

StringArray TNodeInfo::GetSourceNames() { return KeysOfIndexLink(ilSources); }

TCObjectList TNodeInfo::GetSourceList(TListOrder order) {
    TCObjectList list;
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    ForEachKey(sources.get(), [&](IIndexerCursor& c) {
        Ref<IVirtualAtom> entry = c.GetValueWithMode(amRead);
        TSourceRecord r = entry ? ReadLinkedRecord<TSourceRecord>(*entry, slRecord) : TSourceRecord{};
        list.push_back({c.GetKey(), TCObject(r.Hits, r.Visits, r.Visitors, r.LastTime)});
    });
    if (list.empty()) return list;
    return Sorted(std::move(list), order);
}

StringArray TNodeInfo::GetPrevNodeNames() { return KeysOfIndexLink(ilPrevNodes); }

TCObjectList TNodeInfo::GetPrevNodeList(TListOrder order) {
    TCObjectList list;
    Ref<IIndexer> prev = OpenIndexLink(ilPrevNodes);
    ForEachKey(prev.get(), [&](IIndexerCursor& c) {
        Ref<IVirtualAtom> count = c.GetValueWithMode(amRead);
        list.push_back({c.GetKey(), TCObject(count ? ReadInt32(*count) : 0, 0, 0)});
    });
    if (list.empty()) return list;
    return Sorted(std::move(list), order == TListOrder::Hits ? order : TListOrder::Text);
}

int32_t TNodeInfo::GetPrevNodeCount(std::string_view prevNode) {
    Ref<IIndexer> prev = OpenIndexLink(ilPrevNodes);
    Ref<IVirtualAtom> count = FindEntry(prev.get(), prevNode);
    if (!count) return -1;
    return ReadInt32(*count);
}

int32_t TNodeInfo::GetSourceTransitions(std::string_view source) {
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), SourceKey(source));
    if (!entry) return -1;
    return ReadLinkedRecord<TSourceWeekdays>(*entry, slWeekdays).Counts[0];
}

int32_t TNodeInfo::GetSourceDaySum(std::string_view source, int32_t kind, double fromDate, double toDate) {
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), source);
    if (!entry) return 0;
    uint64_t number = AtomNumberOf(entry);
    entry.reset();
    sources.reset();
    int32_t sum = 0;
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), DayRangeOf(fromDate, toDate), [&](int32_t, IVirtualAtom& day) {
        TSourceDayRow row = DaySourceRow(day, dlSourceList, number);
        sum = WrapAdd(sum, kind == 1 ? row.Visits : kind == 2 ? row.Visitors : row.Hits);
    });
    return sum;
}

int32_t TNodeInfo::GetSourceDayTransitions(std::string_view source, double fromDate, double toDate) {
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), source);
    if (!entry) return 0;
    uint64_t number = AtomNumberOf(entry);
    entry.reset();
    sources.reset();
    int32_t sum = 0;
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), DayRangeOf(fromDate, toDate), [&](int32_t, IVirtualAtom& day) {
        sum = WrapAdd(sum, DaySourceRow(day, dlTransitionList, number).Hits);
    });
    return sum;
}

int32_t TNodeInfo::CountSourcesUsedAfter(double day) {
    int32_t count = 0;
    const double limit = WholeDay(day);
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    ForEachKey(sources.get(), [&](IIndexerCursor& c) {
        Ref<IVirtualAtom> entry = c.GetValueWithMode(amRead);
        if (!entry) return;
        if (WholeDay(ReadLinkedRecord<TSourceRecord>(*entry, slRecord).LastTime) > limit) ++count;
    });
    return count;
}

int32_t TNodeInfo::CountSourcesUsefulBefore(double day) {
    int32_t count = 0;
    const double limit = WholeDay(day);
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    ForEachKey(sources.get(), [&](IIndexerCursor& c) {
        Ref<IVirtualAtom> entry = c.GetValueWithMode(amRead);
        if (!entry) return;
        Ref<IVirtualAtom> since = ReadLink(*entry, slUsefulSince);
        if (since && WholeDay(ReadDouble(*since)) < limit) ++count;
    });
    return count;
}

int32_t TNodeInfo::CountSourcesFirstSeen(double fromDate, double toDate) {
    int32_t count = 0;
    const TDayRange range = DayRangeOf(fromDate, toDate);
    if (range.Empty()) return 0;
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    ForEachKey(sources.get(), [&](IIndexerCursor& c) {
        if (c.GetKey() == kUnknownSource) return;
        Ref<IVirtualAtom> entry = c.GetValueWithMode(amRead);
        if (!entry) return;
        const double first = WholeDay(ReadLinkedRecord<TSourceRecord>(*entry, slRecord).FirstTime);
        if (first >= double(range.First) && first <= double(range.Last)) ++count;
    });
    return count;
}

// One walk over the period's day lists gives what asking every source for
// every day gives: each day's rows are matched against the numbers of the
// sources the index holds (rows naming no source count nowhere).
FloatArray TNodeInfo::GetUnknownShares(double fromDate) {
    int64_t first = 0, today = 0;
    if (!ClampedDay(fromDate, first) || !ClampedDay(Clock().Now(), today) || first >= today) return {};
    FloatArray shares(size_t(today - first), 0.0);

    std::unordered_set<uint64_t> known;
    uint64_t unknown = 0;
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    ForEachKey(sources.get(), [&](IIndexerCursor& c) {
        // Mode 0 reads only the entry's number and holds nothing open.
        Ref<IVirtualAtom> entry = c.GetValueWithMode(0);
        if (!entry) return;
        uint64_t number = AtomNumberOf(entry);
        known.insert(number);
        if (c.GetKey() == kUnknownSource) unknown = number;
    });
    sources.reset();
    if (known.empty()) return shares;

    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), TDayRange{first, today - 1}, [&](int32_t day, IVirtualAtom& dayAtom) {
        int32_t all = 0, ofUnknown = 0;
        uint64_t previous = 0;
        for (const TSourceDayRow& row : DaySourceRows(dayAtom, dlSourceList)) {
            // A source's row is the first with its number; the list is sorted.
            if (row.Number == 0 || row.Number == previous || !known.count(row.Number)) continue;
            previous = row.Number;
            all = WrapAdd(all, row.Hits);
            if (row.Number == unknown) ofUnknown = WrapAdd(ofUnknown, row.Hits);
        }
        double share = all == 0 ? (ofUnknown > 0 ? 100.0 : 0.0) : double(ofUnknown) / double(all) * 100;
        shares[size_t(day - first)] = share;
    });
    return shares;
}

// The address a 4-byte key of the IP index names (the key is the address
// big-endian); false for a key of another length.
bool AddressKey(IIndexerCursor& cursor, uint32_t& ip) {
    uint8_t key[5];
    if (cursor.ReadKey(key, 5) != 4) return false;
    ip = GetU32BE(key);
    return true;
}

TIPArray TNodeInfo::GetIPRecords() {
    Ref<IIndexer> ips = OpenIndexLink(ilIPs);
    if (!ips) return {};
    Ref<IIndexerCursor> cursor;
    if (!ips->GetCursor(cursor) || !cursor || cursor->IsEmpty()) return {};
    TIPArray rows(size_t(std::max(cursor->GetKeyCount(), 0)));
    size_t filled = 0;
    do {
        if (filled >= rows.size()) break;
        uint8_t bytes[TIPRecord::kSize] = {};
        uint32_t ip = 0;
        int32_t read = -1;
        try {
            ip = FromBigEndianKey32(cursor->GetKey());
            read = cursor->ReadValue(0, bytes, TIPRecord::kSize);
        } catch (...) {
            NoteError(kNoteAddressEntry);
            continue;
        }
        if (read < 0) {
            NoteError(kNoteAddressRecord);  // a key without its record
            continue;
        }
        TIPRecord r = TIPRecord::FromBytes(bytes, size_t(read));
        rows[filled++] = TIPRow{ip, r.Hits, r.Visits, r.NewDays, r.LastHit};
    } while (cursor->Next());
    return rows;
}

// The period's address lists summed per address into rows sorted by
// address, then one walk over the IP index, whose keys come in the same
// order: no table is looked up per address.
TIPArray TNodeInfo::GetIPStatsForPeriod(double fromDate, double toDate) {
    // Every day's list first, then one array of the right size for all
    // their rows: large arrays are memory touched for the first time.
    std::vector<std::vector<TIPDayRow>> lists;
    size_t total = 0;
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), DayRangeOf(fromDate, toDate), [&](int32_t, IVirtualAtom& day) {
        Ref<IVirtualAtom> list = ReadLink(day, dlIPList);
        if (!list) return;
        lists.push_back(ReadIPDayRows(*list));
        total += lists.back().size();
    });
    days.reset();
    std::vector<TIPDayRow> sums;
    sums.reserve(total);
    for (const std::vector<TIPDayRow>& rows : lists) {
        for (size_t i = 0; i < rows.size(); ++i) {
            // An address's row of a day is its first (the list is sorted).
            if (i > 0 && rows[i].IP == rows[i - 1].IP) continue;
            sums.push_back(rows[i]);
        }
    }
    lists.clear();
    std::stable_sort(sums.begin(), sums.end(), [](const TIPDayRow& a, const TIPDayRow& b) { return a.IP < b.IP; });
    size_t kept = 0;
    for (size_t i = 0; i < sums.size(); ++i) {
        if (kept > 0 && sums[kept - 1].IP == sums[i].IP) {
            TIPDayRow& into = sums[kept - 1];
            into.Hits = WrapAdd(into.Hits, sums[i].Hits);
            into.Visits = WrapAdd(into.Visits, sums[i].Visits);
            into.NewDays = WrapAdd(into.NewDays, sums[i].NewDays);
        } else {
            sums[kept++] = sums[i];
        }
    }
    sums.resize(kept);

    TIPArray result;
    size_t next = 0;
    Ref<IIndexer> ips = OpenIndexLink(ilIPs);
    // One allocation for the rows: a growing array of a few hundred thousand
    // rows would touch about twice their memory afresh.
    if (ips) result.reserve(size_t(std::max(ips->NewCursor()->GetKeyCount(), 0)));
    ForEachKey(ips.get(), [&](IIndexerCursor& c) {
        TIPRow row;
        if (!AddressKey(c, row.IP)) return;
        while (next < sums.size() && sums[next].IP < row.IP) ++next;
        if (next < sums.size() && sums[next].IP == row.IP)
            row.Hits = sums[next].Hits, row.Visits = sums[next].Visits, row.NewDays = sums[next].NewDays;
        result.push_back(row);
    });
    return result;
}

double TNodeInfo::GetSourceFirstTime(std::string_view source) {
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), SourceKey(source));
    return entry ? ReadLinkedRecord<TSourceRecord>(*entry, slRecord).FirstTime : 0.0;
}

double TNodeInfo::GetSourceLastTime(std::string_view source) {
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), SourceKey(source));
    return entry ? ReadLinkedRecord<TSourceRecord>(*entry, slRecord).LastTime : 0.0;
}

trefarray TNodeInfo::GetSourceDayRows(std::string_view source, double fromDate, double toDate) {
    const TDayRange range = DayRangeOf(fromDate, toDate);
    trefarray rows(size_t(range.Days()));
    if (rows.empty()) return rows;
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), SourceKey(UpperAscii(source)));
    if (!entry) return rows;
    uint64_t number = AtomNumberOf(entry);
    entry.reset();
    sources.reset();
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), range, [&](int32_t day, IVirtualAtom& dayAtom) {
        TSourceDayRow row = DaySourceRow(dayAtom, dlSourceList, number);
        row.Number = number;
        rows[size_t(day - range.First)] = row;
    });
    return rows;
}

TSourceDayRow TNodeInfo::GetSourceTotals(std::string_view source, double fromDate, double toDate) {
    TSourceDayRow totals;
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), source);
    if (!entry) return totals;
    uint64_t number = AtomNumberOf(entry);
    entry.reset();
    sources.reset();
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), DayRangeOf(fromDate, toDate), [&](int32_t, IVirtualAtom& day) {
        TSourceDayRow row = DaySourceRow(day, dlSourceList, number);
        totals.Hits = WrapAdd(totals.Hits, row.Hits);
        totals.Visits = WrapAdd(totals.Visits, row.Visits);
        totals.Visitors = WrapAdd(totals.Visitors, row.Visitors);
    });
    return totals;
}

void TNodeInfo::GetSourceStats(std::string_view source, int32_t& hits, int32_t& visits, int32_t& visitors,
                               int32_t& transitions, double& lastTime, double& firstTime) {
    Ref<IIndexer> sources = OpenIndexLink(ilSources);
    Ref<IVirtualAtom> entry = FindEntry(sources.get(), source);
    TSourceRecord r = entry ? ReadLinkedRecord<TSourceRecord>(*entry, slRecord) : TSourceRecord{};
    hits = r.Hits;
    visits = r.Visits;
    visitors = r.Visitors;
    transitions = r.Transitions;
    lastTime = r.LastTime;
    firstTime = r.FirstTime;
}

void TNodeInfo::GetTopSource(int32_t& count, int32_t& percent, std::string& name, bool includeUnknown,
                             double day, std::string_view exclude) {
    TCObjectList candidates;
    if (WholeDay(day) >= 1) {
        candidates = Sorted(GetDaySourceList(day), TListOrder::Hits);
    } else {
        Ref<IIndexer> sources = OpenIndexLink(ilSources);
        ForEachKey(sources.get(), [&](IIndexerCursor& c) {
            Ref<IVirtualAtom> entry = c.GetValueWithMode(amRead);
            int32_t hits = entry ? ReadLinkedRecord<TSourceRecord>(*entry, slRecord).Hits : 0;
            candidates.push_back({c.GetKey(), TCObject(hits, 0, 0)});
        });
    }
    count = 0;
    name.clear();
    int64_t total = 0;
    for (const TCObjectLine& line : candidates) {
        bool eligible = line.Text != exclude && (line.Text != kUnknownSource || includeUnknown);
        if (eligible && line.Object.Hits > count) {
            count = line.Object.Hits;
            name = line.Text;
        }
        total += line.Object.Hits;
    }
    if (total == 0) percent = count >= 1 ? 100 : 0;
    else percent = static_cast<int32_t>(std::nearbyint(double(count) / double(total) * 100));
}

TCObjectList TNodeInfo::GetDaySourceList(double day) {
    TCObjectList list;
    int64_t number = 0;
    if (!ClampedDay(day, number)) return list;
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    Ref<IVirtualAtom> dayAtom = FindDay(days.get(), number);
    if (!dayAtom) return list;
    TSourceNames names(StorageOf(*atom_));
    ForEachDaySource(*dayAtom, names, [&](const std::string& source, const TSourceDayRow& row) {
        list.push_back({source, TCObject(row.Hits, row.Visits, row.Visitors)});
    });
    return list;
}

TCObjectList TNodeInfo::GetPeriodSourceList(double fromDate, double toDate) {
    TCObjectList list;
    std::unordered_map<std::string, size_t> lineOf;
    TSourceNames names(StorageOf(*atom_));
    Ref<IIndexer> days = OpenIndexLink(ilDays);
    WalkDays(days.get(), DayRangeOf(fromDate, toDate), [&](int32_t, IVirtualAtom& dayAtom) {
        ForEachDaySource(dayAtom, names, [&](const std::string& source, const TSourceDayRow& row) {
            auto [it, fresh] = lineOf.try_emplace(source, list.size());
            if (fresh) {
                list.push_back({source, TCObject(row.Hits, row.Visits, row.Visitors)});
                return;
            }
            TCObject& o = list[it->second].Object;
            o.Hits = WrapAdd(o.Hits, row.Hits);
            o.Visits = WrapAdd(o.Visits, row.Visits);
            o.Visitors = WrapAdd(o.Visitors, row.Visitors);
        });
    });
    return Sorted(std::move(list), TListOrder::Hits);
}

TWeekdayTotals TNodeInfo::GetWeekdayTotals() {
    TWeekHourBlock block = GetWeekHourBlock();
    TWeekdayTotals totals{};
    totals[0] = block.AllDays.Total;
    for (int32_t d = 1; d <= 7; ++d) totals[size_t(d)] = block.Day(d).Total;
    return totals;
}

TWeekHourBlock TNodeInfo::GetWeekHourBlock() { return ReadLinkedRecord<TWeekHourBlock>(*atom_, ilWeekHours); }

}  // namespace tlvx
