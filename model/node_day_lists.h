// The sorted row lists under a day atom: int32 Count, then Count rows in
// ascending unsigned order of their leading key (the 32-bit IP of a
// TIPDayRow, the 64-bit number of a TSourceDayRow). The atom may be longer
// than its rows; only Count says how many there are.
//
// Rows are found by binary search reading single keys. Changing a row's
// counters writes those 12 bytes in place; inserting a row rewrites the
// list, first adding room for ten rows when the atom is full.
#pragma once

#include <cstdint>
#include <vector>

#include "model/node_records.h"
#include "store/virtual_atom.h"

namespace tlvx {

// Reading. A Count below 0 or beyond the atom's rows raises
// std::runtime_error (a damaged list).
int32_t DayListCount(IVirtualAtom& list, int32_t rowSize);
std::vector<TIPDayRow> ReadIPDayRows(IVirtualAtom& list);
std::vector<TSourceDayRow> ReadSourceDayRows(IVirtualAtom& list);
// The row of key, false when the list has none.
bool FindIPDayRow(IVirtualAtom& list, uint32_t ip, TIPDayRow& row);
bool FindSourceDayRow(IVirtualAtom& list, uint64_t number, TSourceDayRow& row);

// Adds the three counters to the row of key, inserting (key, a, b, c) in
// key order when there is none.
void AddToIPDayRow(IVirtualAtom& list, uint32_t ip, int32_t hits, int32_t visits, int32_t newDays);
void AddToSourceDayRow(IVirtualAtom& list, uint64_t number, int32_t hits, int32_t visits,
                       int32_t visitors);

// A new empty list atom holds Count 0 (4 bytes).
void InitDayList(IVirtualAtom& list);

}  // namespace tlvx
