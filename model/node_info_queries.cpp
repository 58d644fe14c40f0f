// The statistics queries over one node's records.
#include "model/node_info.h"

#include <stdexcept>

namespace tlvx {

int32_t TNodeInfo::GetDayHits(double, double) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetDayVisits(double, double) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetDayNewVisitors(double, double) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetDayVisitors(double, double) { throw std::logic_error("not built"); }
StringArray TNodeInfo::GetSourceNames() { throw std::logic_error("not built"); }
TCObjectList TNodeInfo::GetSourceList(int32_t) { throw std::logic_error("not built"); }
StringArray TNodeInfo::GetPrevNodeNames() { throw std::logic_error("not built"); }
TCObjectList TNodeInfo::GetPrevNodeList(int32_t) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetSourceTransitions(std::string_view) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetPrevNodeCount(std::string_view) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetSourceDaySum(std::string_view, int32_t, double, double) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetSourceDayTransitions(std::string_view, double, double) { throw std::logic_error("not built"); }
int32_t TNodeInfo::CountSourcesUsedAfter(double) { throw std::logic_error("not built"); }
int32_t TNodeInfo::CountSourcesUsefulBefore(double) { throw std::logic_error("not built"); }
FloatArray TNodeInfo::GetUnknownShares(double) { throw std::logic_error("not built"); }
double TNodeInfo::GetLastDay() { throw std::logic_error("not built"); }
TIPArray TNodeInfo::GetIPRecords() { throw std::logic_error("not built"); }
double TNodeInfo::GetSourceFirstTime(std::string_view) { throw std::logic_error("not built"); }
double TNodeInfo::GetSourceLastTime(std::string_view) { throw std::logic_error("not built"); }
TIPArray TNodeInfo::GetIPStatsForPeriod(double, double) { throw std::logic_error("not built"); }
trefarray TNodeInfo::GetSourceDayRows(std::string_view, double, double) { throw std::logic_error("not built"); }
TSourceDayRow TNodeInfo::GetSourceTotals(std::string_view, double, double) { throw std::logic_error("not built"); }
void TNodeInfo::GetSourceStats(std::string_view, int32_t&, int32_t&, int32_t&, int32_t&, double&, double&) { throw std::logic_error("not built"); }
void TNodeInfo::GetTopSource(int32_t&, int32_t&, std::string&, bool, double, std::string_view) { throw std::logic_error("not built"); }
TCObjectList TNodeInfo::GetDaySourceList(double) { throw std::logic_error("not built"); }
TCObjectList TNodeInfo::GetPeriodSourceList(double, double) { throw std::logic_error("not built"); }
int32_t TNodeInfo::GetDayVisitorCount(double) { throw std::logic_error("not built"); }
TWeekdayTotals TNodeInfo::GetWeekdayTotals() { throw std::logic_error("not built"); }
TWeekHourBlock TNodeInfo::GetWeekHourBlock() { throw std::logic_error("not built"); }

}  // namespace tlvx
