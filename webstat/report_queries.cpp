#include "webstat/report_queries.h"

#include "platform/integer_ratio.h"
#include "platform/text.h"
#include "webstat/report_math.h"

namespace tlvx {
namespace {

using TDaySum = int32_t (INode::*)(bool, double, double);
using TTotal = int64_t (*)(INodeInfo&, bool);

Ref<INode> NodeOf(ICounter2& counter, std::string_view path) {
    Ref<INodeCollection> nodes = counter.GetNodes();
    if (!nodes) return nullptr;
    return path.empty() ? nodes->GetRoot() : nodes->FindNode(path, false);
}

int64_t PeriodSum(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now,
                  TDaySum daySum, TTotal total) {
    if (period < TPeriod::Today || period > TPeriod::AllTime) return 0;
    Ref<INode> node = NodeOf(counter, path);
    if (!node) return 0;
    if (period == TPeriod::AllTime) {
        Ref<INodeInfo> info = node->GetInfo();
        return info ? total(*info, subtree) : 0;
    }
    const TDayRange range = *PeriodRange(period, now);
    return ((*node).*daySum)(subtree, range.From, range.To);
}

int64_t TotalHits(INodeInfo& info, bool subtree) {
    return int64_t(info.GetHits()) + (subtree ? info.GetGroupHits() : 0);
}
int64_t TotalVisits(INodeInfo& info, bool subtree) {
    return int64_t(info.GetVisits()) + (subtree ? info.GetGroupVisits() : 0);
}
int64_t TotalVisitors(INodeInfo& info, bool subtree) {
    return int64_t(info.GetVisitors()) + (subtree ? info.GetGroupVisitors() : 0);
}

}  // namespace

int64_t PeriodHits(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now) {
    return PeriodSum(counter, period, path, subtree, now, &INode::GetDayHits, TotalHits);
}

int64_t PeriodVisits(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now) {
    return PeriodSum(counter, period, path, subtree, now, &INode::GetDayVisits, TotalVisits);
}

int64_t PeriodNewVisitors(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now) {
    return PeriodSum(counter, period, path, subtree, now, &INode::GetDayNewVisitors, TotalVisitors);
}

int64_t PeriodVisitors(ICounter2& counter, TPeriod period, std::string_view path, bool subtree, double now) {
    return PeriodSum(counter, period, path, subtree, now, &INode::GetDayVisitors, TotalVisitors);
}

THotItem HotPage(ICounter2& counter, double day) {
    THotItem best;
    Ref<INodeCollection> nodes = counter.GetNodes();
    if (!nodes) return best;
    const std::string mainNode = counter.GetMainNodeName();
    for (const std::string& path : nodes->GetAllLinkPaths()) {
        if (path == mainNode) continue;
        Ref<INodeInfo> info = nodes->GetNodeInfo(path, false);
        if (!info) continue;
        const int32_t hits = info->GetDayHits(day, day);
        if (hits > best.Count) {
            best.Count = hits;
            best.Name = path;
        }
    }
    return best;
}

THotItem HotReferral(ICounter2& counter, std::string_view ownHost, double day) {
    THotItem best;
    Ref<INode> root = NodeOf(counter, "");
    if (!root) return best;
    Ref<INodeInfo> info = root->GetInfo();
    const std::string own = UpperAscii(ownHost);
    for (const std::string& source : info->GetSourceNames()) {
        if (source == "UNKNOWN" || source == own) continue;
        const int32_t transitions = info->GetSourceDayTransitions(source, day, day);
        if (transitions > best.Count) {
            best.Count = transitions;
            best.Name = source;
        }
    }
    return best;
}

void BestEntryExitPages(ICounter2& counter, TEntryExitPages& best) {
    Ref<INodeCollection> nodes = counter.GetNodes();
    if (!nodes) return;
    const std::string mainNode = counter.GetMainNodeName();
    int32_t entryMax = 0, exitMax = 0;
    int64_t entryTotal = 0, exitTotal = 0;
    std::string entryPage, exitPage;
    for (const std::string& path : nodes->GetAllLinkPaths()) {
        Ref<INodeInfo> info = nodes->GetNodeInfo(path, false);
        if (!info) continue;
        const int32_t entries = info->GetEntries(), exits = info->GetExits();
        // The shares are of all entries and exits; the main page, where
        // most visits begin, is counted there but never named.
        entryTotal += entries;
        exitTotal += exits;
        if (path == mainNode) continue;
        if (entries > entryMax) {
            entryMax = entries;
            entryPage = path;
        }
        if (exits > exitMax) {
            exitMax = exits;
            exitPage = path;
        }
    }
    best.EntryPage = entryPage;
    best.ExitPage = exitPage;
    if (entryTotal > 0) {
        best.EntryCount = entryMax;
        best.EntryShare = int32_t(RoundShare(entryMax, entryTotal, 100));
    }
    if (exitTotal > 0) {
        best.ExitCount = exitMax;
        best.ExitShare = int32_t(RoundShare(exitMax, exitTotal, 100));
    }
}

StringArray ListAllNodePaths(ICounter2& counter) {
    Ref<INodeCollection> nodes = counter.GetNodes();
    return nodes ? nodes->GetAllLinkPaths() : StringArray();
}

StringArray ListGroupPaths(ICounter2& counter) { return ListGroupPaths(counter, ListAllNodePaths(counter)); }

StringArray ListGroupPaths(ICounter2& counter, const StringArray& allPaths) {
    Ref<INodeCollection> nodes = counter.GetNodes();
    StringArray groups;
    if (!nodes) return groups;
    for (const std::string& path : allPaths)
        if (nodes->GetChildCount(path) > 0) groups.push_back(path);
    return groups;
}

}  // namespace tlvx
