// The statistics queries over a node and the nodes below it.
#include "model/node.h"

#include <stdexcept>

namespace tlvx {

int32_t TNode::GetDayHits(bool, double, double) { throw std::logic_error("not built"); }
int32_t TNode::GetDayVisits(bool, double, double) { throw std::logic_error("not built"); }
int32_t TNode::GetDayNewVisitors(bool, double, double) { throw std::logic_error("not built"); }
int32_t TNode::GetDayVisitors(bool, double, double) { throw std::logic_error("not built"); }
double TNode::GetLastDay(bool) { throw std::logic_error("not built"); }
TIPArray TNode::GetIPStatsForPeriod(bool, double, double) { throw std::logic_error("not built"); }
TIPArray TNode::GetIPRecords(bool) { throw std::logic_error("not built"); }
int32_t TNode::GetReloads() { throw std::logic_error("not built"); }
TWeekdayTotals TNode::GetWeekdayTotals(bool) { throw std::logic_error("not built"); }
TWeekHourBlock TNode::GetWeekHourBlock(bool) { throw std::logic_error("not built"); }

}  // namespace tlvx
