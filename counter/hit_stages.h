// The stages the two hit roads have in common. Each road calls them in its
// own order and learns in its own way what they take: the cookie road from
// the visitor's cookies and the visitor store, the road without cookies from
// the client address's last hits. No stage reads the clock: a hit is one
// moment, read once when the hit is made.
#pragma once

#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "model/base_conf.h"
#include "model/counter2.h"
#include "model/error_notes.h"
#include "platform/web_request.h"

namespace tlvx {

// One request's hit.
struct THit {
    const TWebRequest& Request;
    ICounter2& Counter;
    // The stages consult Conf only when ConfLoaded; the road without
    // cookies never sets it.
    bool ConfLoaded;
    const TBaseConf& Conf;
    std::string Node;
    uint32_t IP;
    double Now;  // the hit's time, for every record, log line and cookie
};

// The hit of request, at the clock's time now.
THit MakeHit(const TWebRequest& request, ICounter2& counter, bool confLoaded, const TBaseConf& conf);

// What the hit tells of the visitor, against the visitor's earlier hits.
struct TVisitorNews {
    bool NewSiteVisit = false;
    bool NewVisitor = false;
    bool NewNodeVisit = false;
    bool FirstNodeVisit = false;  // the visitor never hit this node
    bool NewDayNode = false;
    bool NewDaySite = false;
};

// Where the hit came from.
struct THitSources {
    std::string Referrer{};    // the outside page; "" for a step inside the site
    std::string PrevNode{};    // the site's page seen just before
    std::string SessionRef{};  // the outside page that began the visit
    bool Entry = false;        // the hit begins the visitor's path through the site
};

// The visit intervals in minutes, each one never set replaced by the
// database's default.
struct THitIntervals {
    int32_t Site = 0;
    int32_t Node = 0;
};

// The configured main node on every hit, else a usual start-page name when
// the database has no main node yet.
void NameMainNode(const THit& h);

// True when the database's skip list holds the client address.
bool InSkipList(const THit& h);

// The referrer the page passed in the query and the request's Referer
// header, each reduced to its host.
struct TRequestReferrers {
    std::string Query;
    std::string Header;
    // The page's own word first, the header when it gives none.
    const std::string& First() const { return Query.empty() ? Header : Query; }
};
TRequestReferrers ReadReferrers(const TWebRequest& request);

// The configuration's intervals when loaded, else the node's and the
// root's own.
THitIntervals ReadIntervals(const THit& h, INodeCollection& nodes, const TCounterSettings& settings);

// The one rule for every node the hit may create.
bool CanCreateNodes(const THit& h, const TCounterSettings& settings);

// The hit on its node (when it names one) and on the site; countsAsExit
// marks the node's hit as the visit's last until a later hit takes it back.
void RecordNodeAndSite(const THit& h, INodeCollection& nodes, const THitSources& sources,
                       const TVisitorNews& news, bool canCreate, bool countsAsExit);

// The database's totals of hits, visitors and visits.
void CountTotals(ICounter2& counter, const TVisitorNews& news);

// The browser on the node and on the site; with an empty node the root is
// the node and counts it once.
void CountBrowsers(const THit& h, INodeCollection& nodes, bool canCreate);

// The request's first language, on the site and on the node.
void CountLanguage(const THit& h, INodeCollection& nodes);

// Runs a road's database steps. A failure is noted under the road's note,
// which rolls the whole hit back at release; the answer still goes out.
template <class Steps>
void RecordGuarded(std::string_view road, std::string_view note, Steps&& steps) {
    try {
        steps();
    } catch (const std::exception& e) {
        std::cerr << "warning: " << road << " not recorded: " << e.what() << "\n";
        NoteError(note);
    }
}

}  // namespace tlvx
