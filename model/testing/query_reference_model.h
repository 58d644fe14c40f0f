// A plain model of the node statistics for tests: it takes the same hits the
// hit road records and computes every figure the node queries answer, from
// nothing but the list of hits. It shares no code with the store-backed
// statistics, so a figure both agree on is right twice over.
//
// Header only, used by the tests; not part of the model library.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace tlvx::reference {

// Times are kept to the millisecond: a time is split once rounded to it, so
// 10:00:00.000 is in hour 10 and 23:59:59.9996 on the next day. (Dates
// from 1899-12-30 on.)
inline int64_t MillisecondsOf(double when) { return std::llround(when * 86'400'000.0); }
inline int32_t DayOf(double when) { return int32_t(MillisecondsOf(when) / 86'400'000); }
// 1 = Monday ... 7 = Sunday; day 0 (1899-12-30) was a Saturday.
inline int IsoWeekday(int32_t day) { return int(((int64_t(day) % 7 + 7 + 5) % 7) + 1); }
inline int HourOf(double when) { return int(MillisecondsOf(when) % 86'400'000 / 3'600'000); }

struct TCounts {
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t Third = 0;  // NewDays for addresses, Visitors for sources
    bool operator==(const TCounts&) const = default;
};

struct TAddress {
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t NewDays = 0;
    double LastHit = 0;
    double FirstHit = 0;
};

struct TSource {
    std::array<int32_t, 8> Weekdays{};
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t Visitors = 0;
    int32_t Transitions = 0;
    double LastTime = 0;
    double FirstTime = 0;
    bool HasUseful = false;
    double Useful = 0;
};

struct TDay {
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t NewVisitors = 0;
    int32_t VisitorCount = 0;
    std::array<int32_t, 24> Hours{};
    std::map<uint32_t, TCounts> Addresses;
    std::map<std::string, TCounts> Sources;  // Hits, Visits, Visitors
    std::map<std::string, int32_t> Transitions;
};

// Week block rows: [0] all days, [1..7] Monday..Sunday; each row [0] total,
// [1 + h] hour h.
using TWeek = std::array<std::array<int32_t, 25>, 8>;

struct TNodeModel {
    double Created = 0;
    int32_t Hits = 0, Visits = 0, Visitors = 0, Entries = 0, Exits = 0, GroupHits = 0;
    std::map<int32_t, TDay> Days;
    TWeek Week{};
    std::map<uint32_t, TAddress> Addresses;
    std::map<std::string, int32_t> PrevNodes;
    std::map<std::string, TSource> Sources;

    // One hit as the node's own statistics take it; now is the clock.
    void Add(uint32_t ip, double when, const std::string& referrer, const std::string& prevNode,
             const std::string& sessionRef, bool newVisit, bool newDay, bool newVisitor, double now) {
        const int32_t day = DayOf(when);
        const int wd = IsoWeekday(day);
        const int hour = HourOf(when);
        const int32_t nv = newVisit, nd = newDay, nr = newVisitor;
        ++Week[0][0], ++Week[0][1 + hour], ++Week[wd][0], ++Week[wd][1 + hour];
        TDay& d = Days[day];
        ++d.Hits, d.Visits += nv, ++d.Hours[hour], d.NewVisitors += nr, d.VisitorCount += nd;
        if (ip != 0) {
            auto [it, fresh] = Addresses.try_emplace(ip);
            if (fresh) it->second.FirstHit = now;
            ++it->second.Hits, it->second.Visits += nv, it->second.NewDays += nd;
            it->second.LastHit = when;
            TCounts& row = d.Addresses[ip];
            ++row.Hits, row.Visits += nv, row.Third += nd;
        }
        if (!prevNode.empty()) ++PrevNodes[prevNode];
        std::string key = referrer;
        if (referrer.empty() && prevNode.empty()) key = "UNKNOWN";
        if (!sessionRef.empty()) {
            auto s = Sources.find(sessionRef);
            if (s == Sources.end()) return;
            ++s->second.Hits, s->second.Visits += nv, s->second.Visitors += nr;
            TCounts& row = d.Sources[sessionRef];
            ++row.Hits, row.Visits += nv, row.Third += nr;
        } else if (!key.empty()) {
            auto [s, fresh] = Sources.try_emplace(key);
            TSource& src = s->second;
            if (fresh) {
                src.FirstTime = now;
            } else if (newVisit && !src.HasUseful) {
                src.HasUseful = true;
                src.Useful = when;
            }
            ++src.Weekdays[0], ++src.Weekdays[size_t(wd)];
            ++src.Hits, src.Visits += nv, src.Visitors += nr, ++src.Transitions;
            src.LastTime = when;
            ++d.Transitions[key];
            TCounts& row = d.Sources[key];
            ++row.Hits, row.Visits += nv, row.Third += nr;
        }
    }

    // The days of [from, to] that have a record.
    template <class F>
    void ForDays(double from, double to, F f) const {
        const int32_t a = DayOf(from), b = DayOf(to);
        if (a > b) return;
        for (auto it = Days.lower_bound(a); it != Days.end() && it->first <= b; ++it) f(it->first, it->second);
    }

    int32_t DayHits(double from, double to) const { return Sum(from, to, &TDay::Hits); }
    int32_t DayVisits(double from, double to) const { return Sum(from, to, &TDay::Visits); }
    int32_t DayNewVisitors(double from, double to) const { return Sum(from, to, &TDay::NewVisitors); }
    int32_t DayVisitors(double from, double to) const { return Sum(from, to, &TDay::VisitorCount); }
    int32_t DayVisitorCount(double day) const {
        auto it = Days.find(DayOf(day));
        return it == Days.end() ? 0 : it->second.VisitorCount;
    }
    double LastDay() const { return Days.empty() ? Created : double(Days.rbegin()->first); }

    // Source day sums: kind 1 Visits, 2 Visitors, else Hits.
    int32_t SourceDaySum(const std::string& source, int kind, double from, double to) const {
        int32_t sum = 0;
        ForDays(from, to, [&](int32_t, const TDay& d) {
            auto r = d.Sources.find(source);
            if (r == d.Sources.end()) return;
            sum += kind == 1 ? r->second.Visits : kind == 2 ? r->second.Third : r->second.Hits;
        });
        return sum;
    }
    int32_t SourceDayTransitions(const std::string& source, double from, double to) const {
        int32_t sum = 0;
        ForDays(from, to, [&](int32_t, const TDay& d) {
            auto r = d.Transitions.find(source);
            if (r != d.Transitions.end()) sum += r->second;
        });
        return sum;
    }
    // One share per day from from's day to the day before today.
    std::vector<double> UnknownShares(double from, double today) const {
        std::vector<double> shares;
        for (int32_t day = DayOf(from); day < DayOf(today); ++day) {
            int32_t unknown = SourceDaySum("UNKNOWN", 0, day, day);
            int32_t all = 0;
            for (const auto& [name, src] : Sources) all += SourceDaySum(name, 0, day, day);
            shares.push_back(all == 0 ? (unknown > 0 ? 100.0 : 0.0) : double(unknown) / all * 100);
        }
        return shares;
    }
    // Per-address sums over the range, one per known address in order.
    std::vector<std::pair<uint32_t, TCounts>> AddressesForPeriod(double from, double to) const {
        std::vector<std::pair<uint32_t, TCounts>> rows;
        for (const auto& [ip, rec] : Addresses) {
            TCounts c;
            ForDays(from, to, [&](int32_t, const TDay& d) {
                auto r = d.Addresses.find(ip);
                if (r == d.Addresses.end()) return;
                c.Hits += r->second.Hits, c.Visits += r->second.Visits, c.Third += r->second.Third;
            });
            rows.emplace_back(ip, c);
        }
        return rows;
    }
    // A period's sources merged by name in order of first appearance (days
    // ascending, each day's sources in the order of their entries' creation,
    // which is how the stored day lists are ordered).
    std::vector<std::pair<std::string, TCounts>> PeriodSources(double from, double to,
                                                               const std::vector<std::string>& creationOrder) const {
        std::vector<std::pair<std::string, TCounts>> rows;
        std::map<std::string, size_t> at;
        ForDays(from, to, [&](int32_t, const TDay& d) {
            for (const std::string& name : creationOrder) {
                auto r = d.Sources.find(name);
                if (r == d.Sources.end()) continue;
                auto [it, fresh] = at.try_emplace(name, rows.size());
                if (fresh) rows.emplace_back(name, TCounts{});
                TCounts& c = rows[it->second].second;
                c.Hits += r->second.Hits, c.Visits += r->second.Visits, c.Third += r->second.Third;
            }
        });
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return a.second.Hits > b.second.Hits; });
        return rows;
    }
    int32_t CountSourcesUsedAfter(double day) const {
        int32_t n = 0;
        for (const auto& [name, s] : Sources) n += DayOf(s.LastTime) > DayOf(day);
        return n;
    }
    int32_t CountSourcesUsefulBefore(double day) const {
        int32_t n = 0;
        for (const auto& [name, s] : Sources) n += s.HasUseful && DayOf(s.Useful) < DayOf(day);
        return n;
    }
    int32_t CountSourcesFirstSeen(double from, double to) const {
        int32_t n = 0;
        for (const auto& [name, s] : Sources)
            n += name != "UNKNOWN" && DayOf(s.FirstTime) >= DayOf(from) && DayOf(s.FirstTime) <= DayOf(to);
        return n;
    }

private:
    int32_t Sum(double from, double to, int32_t TDay::*field) const {
        int32_t sum = 0;
        ForDays(from, to, [&](int32_t, const TDay& d) { sum += d.*field; });
        return sum;
    }
};

// A whole site: the root (site-wide figures) and every node by dotted path,
// with the tree the paths make.
struct TSiteModel {
    TNodeModel Root;
    std::map<std::string, TNodeModel> Nodes;  // by dotted path
    // Source names in the order their entries were made, per node ("" for
    // the root): the order of the stored day lists.
    std::map<std::string, std::vector<std::string>> SourceOrder;

    // The node hit and the site hit of one request (flags as the hit road
    // gives them); now is the clock at the time.
    void NodeHit(const std::string& path, uint32_t ip, double when, const std::string& referrer,
                 const std::string& prevNode, const std::string& sessionRef, bool newVisit, bool isEntry,
                 bool isExit, bool newDay, bool newVisitor, double now) {
        TNodeModel& n = Node(path, now);
        Record(path, n, ip, when, referrer, prevNode, sessionRef, newVisit, newDay, newVisitor, now);
        n.Entries += isEntry, n.Exits += isExit;
        // The climb: one group hit for each ancestor below the root.
        for (size_t dot = path.rfind('.'); dot != std::string::npos; dot = path.rfind('.', dot - 1)) {
            ++Node(path.substr(0, dot), now).GroupHits;
            if (dot == 0) break;
        }
    }
    void SiteHit(uint32_t ip, double when, const std::string& referrer, const std::string& prevNode,
                 const std::string& sessionRef, bool newVisit, bool isEntry, bool isExit, bool newDay,
                 bool newVisitor, double now) {
        Record("", Root, ip, when, referrer, prevNode, sessionRef, newVisit, newDay, newVisitor, now);
        Root.Entries += isEntry, Root.Exits += isExit;
    }

    const TNodeModel& Of(const std::string& path) const { return path.empty() ? Root : Nodes.at(path); }

    // path and every node below it ("" is the root with the whole tree).
    std::vector<const TNodeModel*> Subtree(const std::string& path) const {
        std::vector<const TNodeModel*> out{&Of(path)};
        for (const auto& [p, n] : Nodes)
            if (path.empty() || (p.size() > path.size() && p.compare(0, path.size(), path) == 0 && p[path.size()] == '.'))
                out.push_back(&n);
        return out;
    }
    // The dotted paths of a node's subtree in the order a depth-first walk
    // over the children indexes meets them (children in ascending name
    // order).
    std::vector<std::string> SubtreeOrder(const std::string& path) const {
        std::vector<std::string> out{path};
        Walk(path, out);
        return out;
    }

private:
    TNodeModel& Node(const std::string& path, double now) {
        // Missing levels are made on the way down, each with the clock's time.
        for (size_t dot = path.find('.'); dot != std::string::npos; dot = path.find('.', dot + 1))
            Make(path.substr(0, dot), now);
        return Make(path, now);
    }
    TNodeModel& Make(const std::string& path, double now) {
        auto [it, fresh] = Nodes.try_emplace(path);
        if (fresh) it->second.Created = now;
        return it->second;
    }
    void Record(const std::string& path, TNodeModel& n, uint32_t ip, double when, const std::string& referrer,
                const std::string& prevNode, const std::string& sessionRef, bool newVisit, bool newDay,
                bool newVisitor, double now) {
        std::string key = referrer.empty() && prevNode.empty() ? "UNKNOWN" : referrer;
        if (sessionRef.empty() && !key.empty() && !n.Sources.count(key)) SourceOrder[path].push_back(key);
        n.Add(ip, when, referrer, prevNode, sessionRef, newVisit, newDay, newVisitor, now);
        ++n.Hits, n.Visits += newVisit, n.Visitors += newVisitor;
    }
    void Walk(const std::string& path, std::vector<std::string>& out) const {
        // Direct children of path, in the byte order of their last name.
        std::vector<std::pair<std::string, std::string>> children;
        for (const auto& [p, n] : Nodes) {
            std::string rest;
            if (path.empty()) rest = p;
            else if (p.size() > path.size() && p.compare(0, path.size(), path) == 0 && p[path.size()] == '.')
                rest = p.substr(path.size() + 1);
            else continue;
            if (rest.find('.') == std::string::npos) children.emplace_back(rest, p);
        }
        std::sort(children.begin(), children.end());
        for (const auto& [name, p] : children) {
            out.push_back(p);
            Walk(p, out);
        }
    }
};

}  // namespace tlvx::reference
