#include <iostream>
#include <vector>

#include "counter/hit_roads.h"
#include "counter/hit_rules.h"
#include "counter/hit_stages.h"
#include "counter/visitor_cookies.h"
#include "model/error_notes.h"
#include "model/host.h"
#include "model/ipv4.h"
#include "platform/text.h"

namespace tlvx {
namespace {

// The proper prefixes of a dotted node: "a.b.c" gives "a" and "a.b".
std::vector<std::string> ParentPrefixes(std::string_view node) {
    std::vector<std::string> prefixes;
    for (size_t dot = node.find('.'); dot != std::string_view::npos; dot = node.find('.', dot + 1))
        prefixes.emplace_back(node.substr(0, dot));
    return prefixes;
}

struct TParentWork {
    IVisitorCollection& Visitors;
    INodeCollection& Nodes;
    const std::string& UserId;
    const std::string& Node;
    bool ConfLoaded;
    const TBaseConf& Conf;
    bool HasId;  // the query named a counter id
    int32_t DefaultInterval;
    double Now;
};

// A parent counts a new group visit when the visitor's latest hit on any
// node under it is older than the interval.
void CountParentVisits(const TParentWork& w) {
    for (const std::string& prefix : ParentPrefixes(w.Node)) {
        double latest = 0;
        for (const std::string& name : w.Visitors.ListVisitorNodes(w.UserId))
            if (StartsWithText(name, prefix, true))
                latest = std::max(latest, w.Visitors.GetVisitorNodeTime(name, w.UserId));
        try {
            if (!w.Nodes.NodeExists(prefix)) continue;
            Ref<INode> parent = w.Nodes.FindNode(prefix, false);
            if (!parent) continue;
            Ref<INodeInfo> info = parent->GetInfo();
            // The hit's own node's configured interval, as the counter
            // always did, not the parent's.
            int32_t interval = w.ConfLoaded && w.HasId ? GetConfiguredInterval(w.Node, w.Conf)
                                                       : info->GetInterval();
            if (OlderThan(latest, OrDefaultInterval(interval, w.DefaultInterval), w.Now))
                info->IncGroupVisits();
        } catch (const std::exception& e) {
            std::cerr << "warning: group visit of " << prefix << ": " << e.what() << "\n";
            NoteError(kNoteParentVisits);
        }
    }
}

// A parent counts a new group visitor when the visitor never hit a node
// under it.
void CountParentVisitors(const TParentWork& w) {
    for (const std::string& prefix : ParentPrefixes(w.Node)) {
        try {
            bool seen = false;
            for (const std::string& name : w.Visitors.ListVisitorNodes(w.UserId))
                if (StartsWithText(name, prefix, true) &&
                    w.Visitors.GetVisitorNodeTime(name, w.UserId) != 0)
                    seen = true;
            if (seen || !w.Nodes.NodeExists(prefix)) continue;
            if (Ref<INode> parent = w.Nodes.FindNode(prefix, false))
                parent->GetInfo()->IncGroupVisitors();
        } catch (const std::exception& e) {
            std::cerr << "warning: group visitor of " << prefix << ": " << e.what() << "\n";
            NoteError(kNoteParentVisitors);
        }
    }
}

// The hit and what its stages learn of the visitor, in that order.
struct TCookieHit : THit {
    std::string DatabaseGuid{};
    TVisitorCookies Cookies{};
    bool CookiesRead = false;
    TGUID Session{};
    THitSources Sources{};
};

// The visitor's cookies (new ones when they are missing or belong to
// another database), then the session's path: a reload of the session's
// last page is counted as one, any other page is the next step of the path.
void ReadVisitor(TCookieHit& h, INodeCollection& nodes) {
    h.DatabaseGuid = h.Counter.GetDatabaseGUIDString();
    h.Cookies = ReadCookies(h.DatabaseGuid, h.Request.CookieFields());
    h.CookiesRead = true;

    const TGUID session = *StrToGuid(h.Cookies.SessionId);
    Ref<IPathCollection> paths = h.Counter.GetPaths();
    if (h.Node == paths->GetLastNode(session)) {
        if (Ref<INode> found = nodes.FindNode(h.Node, false)) {
            found->GetInfo()->AddReloads(1);
            nodes.GetRoot()->GetInfo()->AddReloads(1);
        }
    } else {
        paths->SetLastNode(session, h.Node);
        std::string path = paths->GetPath(session);
        paths->SetPath(session, path.empty() ? h.Node : path + "->" + h.Node);
    }
    h.Session = session;
}

// Registers the hit with the visitor collection and tells what is new.
TVisitorNews CountVisitor(TCookieHit& h, IVisitorCollection& visitors, const THitIntervals& intervals) {
    TVisitorNews news;
    news.NewSiteVisit = OlderThan(h.Cookies.LastDate, intervals.Site, h.Now);
    const std::string before = h.Cookies.UserId;
    visitors.RegisterHit(h.Cookies.UserId, int32_t(h.IP), false, news.NewSiteVisit, h.Now);
    news.NewVisitor = h.Cookies.UserId != before;
    const double nodeLast = visitors.GetVisitorNodeTime(h.Node, h.Cookies.UserId);
    news.NewNodeVisit = OlderThan(nodeLast, intervals.Node, h.Now);
    news.FirstNodeVisit = nodeLast == 0;
    if (!news.NewVisitor) news.NewVisitor = h.Cookies.LastDate == 0;
    news.NewDayNode = BeforeToday(nodeLast, h.Now);
    news.NewDaySite = BeforeToday(h.Cookies.LastDate, h.Now);
    return news;
}

// The outside referrer of the hit: none inside a session, none from the
// session's own start, none when the page came from itself.
void FindSources(TCookieHit& h) {
    const TRequestReferrers referrers = ReadReferrers(h.Request);
    THitSources& s = h.Sources;
    s.Referrer = referrers.First();
    s.Entry = h.Cookies.LastVisitedNode.empty();
    if (!s.Entry) {
        s.PrevNode = h.Cookies.LastVisitedNode;
        s.Referrer.clear();
    }
    s.SessionRef = NormaliseHost(h.Cookies.OutsideReferrer);
    if (!s.SessionRef.empty()) s.Referrer.clear();
    if (UpperAscii(referrers.Query) == UpperAscii(referrers.Header)) s.Referrer.clear();
}

// Every hit counts as an exit until the session's next hit takes it back,
// from the same page too (a reload). A hit without a node is no page: it
// neither exits nor takes the last page's exit away.
void TakeBackLastExit(const TCookieHit& h, INodeCollection& nodes) {
    if (h.Cookies.LastVisitedNode.empty() || h.Node.empty()) return;
    if (Ref<INode> found = nodes.FindNode(h.Cookies.LastVisitedNode, false))
        found->GetInfo()->AddExits(-1);
}

// Group visits and visitors of the dotted parents, then the visitor's time
// on this node.
void CountParents(const TCookieHit& h, IVisitorCollection& visitors, INodeCollection& nodes,
                  const TVisitorNews& news, int32_t defaultInterval) {
    const TParentWork work{visitors, nodes, h.Cookies.UserId, h.Node, h.ConfLoaded, h.Conf,
                           !h.Request.QueryFields().Value("id").empty(), defaultInterval, h.Now};
    if (news.NewNodeVisit) CountParentVisits(work);
    if (news.FirstNodeVisit) CountParentVisitors(work);
    visitors.SetVisitorNodeTime(h.Node, h.Cookies.UserId, h.Now);
}

// Everything the hit changes in the database; nothing past the main node
// when the site does not count the hit (no address, or a skipped one).
void CountHit(TCookieHit& h) {
    NameMainNode(h);
    if (h.Request.RemoteAddr().empty() || IsInSkipNetworks(h.IP, h.Conf)) return;
    Ref<INodeCollection> nodes = h.Counter.GetNodes();
    if (InSkipList(h)) return;

    ReadVisitor(h, *nodes);
    const TCounterSettings settings = h.Counter.GetSettings();
    const THitIntervals intervals = ReadIntervals(h, *nodes, settings);
    Ref<IVisitorCollection> visitors = h.Counter.GetVisitors();
    const TVisitorNews news = visitors ? CountVisitor(h, *visitors, intervals) : TVisitorNews{};
    FindSources(h);
    const bool canCreate = CanCreateNodes(h, settings);
    RecordNodeAndSite(h, *nodes, h.Sources, news, canCreate, true);
    TakeBackLastExit(h, *nodes);
    if (visitors) CountParents(h, *visitors, *nodes, news, settings.DefaultInterval);
    visitors.reset();

    CountTotals(h.Counter, news);
    CountBrowsers(h, *nodes, canCreate);
    CountLanguage(h, *nodes);
    if (h.Sources.SessionRef.empty()) h.Sources.SessionRef = NormaliseHost(h.Sources.Referrer);
}

// The log record and the renewed cookies, for a hit that read the cookies
// and knows its visitor. The log is optional: its failure costs the log
// record, never the hit, the cookies or the picture.
void CloseHit(const TCookieHit& h, TWebResponse& response) {
    if (!h.CookiesRead) return;  // a skipped hit read no cookies and writes none
    const std::optional<TGUID> user = StrToGuid(h.Cookies.UserId);
    if (!user) return;
    try {
        LogHit(h.Conf, *user, h.Session, h.Now, h.IP, ParseIPv4(h.Request.ForwardedFor()),
               h.Sources.Referrer, h.Request.Referer(), h.Node, h.Request.UserAgent());
    } catch (const std::exception& e) {
        std::cerr << "warning: hit log " << h.Conf.BinaryLog << ": " << e.what() << "\n";
    }
    if (!h.Node.empty())
        WriteCookies(response, h.DatabaseGuid, h.Cookies.SessionId, h.Now, h.Cookies.UserId,
                     h.Sources.SessionRef, h.Node);
}

}  // namespace

void HitWithCookies(const TWebRequest& request, TWebResponse& response, ICounter2& counter,
                    bool confLoaded, const TBaseConf& conf) {
    TCookieHit h{MakeHit(request, counter, confLoaded, conf)};
    RecordGuarded("hit", kNoteCookieHit, [&] { CountHit(h); });
    CloseHit(h, response);
}

}  // namespace tlvx
