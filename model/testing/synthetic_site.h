// A synthetic web site for tests and benchmarks of the node statistics: a
// three-level tree of pages, a population of visitors that come back, and a
// day-by-day stream of hits with the flags the counter program's hit road
// would pass (new visit, new day, new visitor, entry, exit, referrer,
// previous page and the session's referrer).
//
// Header only: it is not part of the model library. Everything comes from a
// seeded generator of its own, so a given set of parameters always yields
// the same hits on every platform.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/node_interfaces.h"

namespace tlvx::synthetic {

// One counted page request, as the hit road records it on a node and on the
// whole site.
struct THit {
    std::string Path;  // dotted path of the node
    uint32_t IP = 0;
    double When = 0;  // local date-time
    std::string Referrer;
    std::string PrevNode;
    std::string SessionRef;
    bool NewVisit = false;
    bool IsEntry = false;
    bool IsExit = false;
    bool NewDay = false;
    bool NewVisitor = false;
    // The same request as the whole site sees it.
    bool SiteNewVisit = false;
    bool SiteNewVisitor = false;

    // The facts RecordNodeHit and RecordSiteHit take; they point into this hit.
    THitFacts NodeFacts() const {
        return {.ip = IP, .when = When, .referrer = Referrer, .prevNode = PrevNode,
                .sessionRef = SessionRef, .newVisit = NewVisit, .isEntry = IsEntry, .isExit = IsExit,
                .newDay = NewDay, .newVisitor = NewVisitor};
    }
    THitFacts SiteFacts() const {
        THitFacts facts = NodeFacts();
        facts.newVisit = SiteNewVisit;
        facts.newVisitor = SiteNewVisitor;
        return facts;
    }
};

struct TSiteShape {
    int TopNodes = 8;       // level 1
    int SecondPerTop = 4;   // level 2 under each top node
    int LeavesPerSecond = 5;  // level 3 under each second-level node
    int Hosts = 50;         // external referrer hosts
    int VisitorsPerDay = 1000;  // distinct visitors a day
    int HitsPerVisitor = 5;
    int NewVisitorPercent = 30;  // share of a day's visitors never seen before
    int ExternalPercent = 60;    // sessions that begin with a referrer
    // Odd cases the hit road can produce, in per mille of hits.
    int ZeroIPPerMille = 0;         // an address that did not parse as 0
    int UnknownSessionPerMille = 0;  // a session referrer the node never saw
    uint64_t Seed = 1;
};

// SplitMix64: small, fast and the same everywhere.
class TRandom {
public:
    explicit TRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (n > 0).
    uint32_t Below(uint32_t n) { return uint32_t(Next() % n); }
    bool PerMille(int p) { return p > 0 && Below(1000) < uint32_t(p); }

private:
    uint64_t state_;
};

// The dotted paths of the site's nodes, each parent before its children.
inline std::vector<std::string> NodePaths(const TSiteShape& shape) {
    std::vector<std::string> paths;
    for (int t = 0; t < shape.TopNodes; ++t) {
        // Built by appending: GCC 12 warns falsely on "literal" + string here.
        std::string top("s");
        top.append(std::to_string(t));
        paths.push_back(top);
        for (int s = 0; s < shape.SecondPerTop; ++s) {
            std::string second = top;
            second.append(".g").append(std::to_string(s));
            paths.push_back(second);
            for (int l = 0; l < shape.LeavesPerSecond; ++l) {
                std::string leaf = second;
                leaf.append(".p").append(std::to_string(l));
                paths.push_back(leaf);
            }
        }
    }
    return paths;
}

inline std::string HostName(int i) {
    std::string name("HOST");
    return name.append(std::to_string(i)).append(".EXAMPLE.COM");
}

// Produces the hits of one day after another; visitors persist between days.
class TSiteGenerator {
public:
    explicit TSiteGenerator(const TSiteShape& shape)
        : shape_(shape), random_(shape.Seed), paths_(NodePaths(shape)) {}

    const std::vector<std::string>& Paths() const { return paths_; }

    // The hits of day (a day number), in time order, for visitors distinct
    // visitors (the shape's count when 0).
    std::vector<THit> Day(int32_t day, int visitors = 0) {
        if (visitors <= 0) visitors = shape_.VisitorsPerDay;
        std::vector<int> today = PickVisitors(visitors);
        struct TPlanned {
            double When;
            int Visitor;
            int Step;
        };
        std::vector<TPlanned> plan;
        plan.reserve(size_t(visitors) * size_t(shape_.HitsPerVisitor));
        for (int v : today) {
            // A session of HitsPerVisitor pages a few minutes apart, started
            // at a whole minute plus a half, so no hit lies on an hour's edge.
            int minutes = int(random_.Below(24 * 60 - 2 * shape_.HitsPerVisitor - 1));
            for (int k = 0; k < shape_.HitsPerVisitor; ++k) {
                double minute = minutes + 0.5 + 1.5 * k;
                plan.push_back({day + minute / 1440.0, v, k});
            }
        }
        std::stable_sort(plan.begin(), plan.end(),
                         [](const TPlanned& a, const TPlanned& b) { return a.When < b.When; });
        std::vector<THit> hits;
        hits.reserve(plan.size());
        for (const TPlanned& p : plan) hits.push_back(MakeHit(visitors_[size_t(p.Visitor)], p.When, p.Step, day));
        return hits;
    }

private:
    struct TVisitor {
        uint32_t IP = 0;
        bool Seen = false;  // counted on the site before
        int32_t LastDay = -1;
        double LastSiteHit = -1e9;
        std::unordered_map<size_t, double> LastNodeHit;  // node index -> time
        std::string SessionRef;
        std::string LastPath;
    };

    std::vector<int> PickVisitors(int count) {
        std::vector<int> chosen;
        std::unordered_map<int, bool> taken;
        int fresh = int(int64_t(count) * shape_.NewVisitorPercent / 100);
        if (visitors_.empty()) fresh = count;
        for (int i = 0; i < count; ++i) {
            int v;
            if (i < fresh || int(visitors_.size()) <= count) {
                v = NewVisitor();
            } else {
                do v = int(random_.Below(uint32_t(visitors_.size())));
                while (taken.count(v));
            }
            taken[v] = true;
            chosen.push_back(v);
        }
        return chosen;
    }

    int NewVisitor() {
        TVisitor v;
        do v.IP = uint32_t(random_.Next());
        while (v.IP == 0);
        visitors_.push_back(std::move(v));
        return int(visitors_.size()) - 1;
    }

    THit MakeHit(TVisitor& v, double when, int step, int32_t day) {
        THit h;
        // Mostly leaves, sometimes the pages of the upper levels.
        size_t node = random_.Below(uint32_t(paths_.size()));
        h.Path = paths_[node];
        h.IP = random_.PerMille(shape_.ZeroIPPerMille) ? 0 : v.IP;
        h.When = when;
        h.NewDay = v.LastDay != day;
        v.LastDay = day;
        if (step == 0) {
            v.SessionRef.clear();
            v.LastPath.clear();
            if (int(random_.Below(100)) < shape_.ExternalPercent) h.Referrer = HostName(int(random_.Below(uint32_t(shape_.Hosts))));
            h.IsEntry = true;
        } else {
            h.PrevNode = v.LastPath;
            h.SessionRef = v.SessionRef;
            if (random_.PerMille(shape_.UnknownSessionPerMille)) h.SessionRef = "NEVER.SEEN.HOST";
        }
        if (step == 0) v.SessionRef = h.Referrer;
        h.IsExit = true;
        auto last = v.LastNodeHit.find(node);
        h.NewVisit = last == v.LastNodeHit.end() || when - last->second > 720.0 / 1440.0;
        h.NewVisitor = last == v.LastNodeHit.end();
        v.LastNodeHit[node] = when;
        h.SiteNewVisit = when - v.LastSiteHit > 720.0 / 1440.0;
        h.SiteNewVisitor = !v.Seen;
        v.Seen = true;
        v.LastSiteHit = when;
        v.LastPath = h.Path;
        return h;
    }

    TSiteShape shape_;
    TRandom random_;
    std::vector<std::string> paths_;
    std::vector<TVisitor> visitors_;
};

}  // namespace tlvx::synthetic
