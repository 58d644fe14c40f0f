#include <iostream>
#include <vector>

#include "counter/hit_roads.h"
#include "counter/hit_rules.h"
#include "counter/visitor_cookies.h"
#include "model/error_notes.h"
#include "model/host.h"
#include "model/ipv4.h"
#include "platform/clock.h"
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

void AddExitsOf(INodeCollection& nodes, std::string_view node, int32_t delta) {
    if (Ref<INode> found = nodes.FindNode(node, false)) found->GetInfo()->AddExits(delta);
}

// The request and what the stages of a hit learn of it, in that order.
struct TCookieHit {
    const TWebRequest& Request;
    ICounter2& Counter;
    bool ConfLoaded;
    const TBaseConf& Conf;
    std::string Node;
    uint32_t IP;
    double Now;
    std::string DatabaseGuid{};
    TVisitorCookies Cookies{};
    bool CookiesRead = false;
    TGUID Session{};
    std::string Referrer{}, OutsideReferrer{}, PrevNode{};
};

// What the visitor collection tells of the visitor before this hit.
struct TVisitorNews {
    bool NewSiteVisit = false;
    bool NewVisitor = false;
    bool NewNodeVisit = false;
    bool FirstNodeVisit = false;  // the visitor never hit this node
    bool NewDayNode = false;
    bool NewDaySite = false;
};

void NameMainNode(const TCookieHit& h) {
    if (h.ConfLoaded && !h.Conf.MainNodeName.empty())
        h.Counter.SetMainNodeName(h.Conf.MainNodeName);
    else
        SetDefaultMainNode(h.Node, h.Counter);
}

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
TVisitorNews CountVisitor(TCookieHit& h, IVisitorCollection& visitors, int32_t siteInterval,
                          int32_t nodeInterval) {
    TVisitorNews news;
    news.NewSiteVisit = OlderThan(h.Cookies.LastDate, siteInterval, h.Now);
    const std::string before = h.Cookies.UserId;
    visitors.RegisterHit(h.Cookies.UserId, int32_t(h.IP), false, news.NewSiteVisit, h.Now);
    news.NewVisitor = h.Cookies.UserId != before;
    const double nodeLast = visitors.GetVisitorNodeTime(h.Node, h.Cookies.UserId);
    news.NewNodeVisit = OlderThan(nodeLast, nodeInterval, h.Now);
    news.FirstNodeVisit = nodeLast == 0;
    if (!news.NewVisitor) news.NewVisitor = h.Cookies.LastDate == 0;
    news.NewDayNode = BeforeToday(nodeLast, h.Now);
    news.NewDaySite = BeforeToday(h.Cookies.LastDate, h.Now);
    return news;
}

// The outside referrer of the hit: none inside a session, none from the
// session's own start, none when the page came from itself.
void FindSources(TCookieHit& h) {
    const TWebFields& query = h.Request.QueryFields();
    const std::string queryReferrer = NormaliseHost(query.Value("referer"));
    const std::string headerReferrer = NormaliseHost(h.Request.Referer());
    h.Referrer = queryReferrer.empty() ? headerReferrer : queryReferrer;
    h.Now = Clock().Now();
    if (!h.Cookies.LastVisitedNode.empty()) {
        h.PrevNode = h.Cookies.LastVisitedNode;
        h.Referrer.clear();
    }
    h.OutsideReferrer = NormaliseHost(h.Cookies.OutsideReferrer);
    if (!h.OutsideReferrer.empty()) h.Referrer.clear();
    if (UpperAscii(queryReferrer) == UpperAscii(headerReferrer)) h.Referrer.clear();
}

// The hit on its node and on the site, then the exit it takes back from the
// session's last page.
void RecordNodeAndSite(const TCookieHit& h, INodeCollection& nodes, const TVisitorNews& news,
                       bool canCreate) {
    const bool entry = h.Cookies.LastVisitedNode.empty();
    THitFacts hit{.ip = h.IP, .when = h.Now, .referrer = h.Referrer, .prevNode = h.PrevNode,
                  .sessionRef = h.OutsideReferrer};
    if (!h.Node.empty()) {
        hit.newVisit = news.NewNodeVisit;
        hit.isEntry = entry;
        hit.isExit = true;
        hit.newDay = news.NewDayNode;
        hit.newVisitor = news.FirstNodeVisit;
        nodes.RecordNodeHit(h.Node, canCreate, hit);
    }
    hit.newVisit = news.NewSiteVisit;
    hit.isEntry = false;
    hit.isExit = false;
    hit.newDay = news.NewDaySite;
    hit.newVisitor = news.NewVisitor;
    nodes.RecordSiteHit(hit);
    // Every hit counts as an exit until the session's next hit takes it
    // back, from the same page too (a reload). A hit without a node is no
    // page: it neither exits nor takes the last page's exit away.
    if (!h.Cookies.LastVisitedNode.empty() && !h.Node.empty())
        AddExitsOf(nodes, h.Cookies.LastVisitedNode, -1);
}

// Group visits and visitors of the dotted parents, then the visitor's time
// on this node.
void CountParents(const TCookieHit& h, IVisitorCollection& visitors, INodeCollection& nodes,
                  const TVisitorNews& news, int32_t defaultInterval) {
    const TParentWork work{visitors, nodes, h.Cookies.UserId, h.Node, h.ConfLoaded, h.Conf,
                           !h.Request.QueryFields().Value("id").empty(), defaultInterval, h.Now};
    if (news.NewNodeVisit) CountParentVisits(work);
    if (news.FirstNodeVisit) CountParentVisitors(work);
    visitors.SetVisitorNodeTime(h.Node, h.Cookies.UserId, Clock().Now());
}

void CountTotals(ICounter2& counter, const TVisitorNews& news) {
    TCounterSettings settings = counter.GetSettings();
    settings.TotalHits += 1;
    if (news.NewVisitor) settings.TotalVisitors += 1;
    if (news.NewSiteVisit) settings.TotalVisits += 1;
    counter.SetSettings(settings);
}

void CountBrowserAndLanguage(const TCookieHit& h, INodeCollection& nodes, bool canCreate) {
    // With an empty node the root is the node: count it once.
    if (!h.Node.empty()) nodes.CountBrowser(h.Request.UserAgent(), h.Node, canCreate);
    nodes.CountBrowser(h.Request.UserAgent(), "", false);
    const std::string language = GetFirstAcceptLanguage(h.Request);
    if (!language.empty()) {
        nodes.CountLanguage(language);
        nodes.CountNodeLanguage(h.Node, language);
    }
}

// Everything the hit changes in the database; nothing past the main node
// when the site does not count the hit (no address, or a skipped one).
void CountHit(TCookieHit& h) {
    NameMainNode(h);
    if (h.Request.RemoteAddr().empty() || IsInSkipNetworks(h.IP, h.Conf)) return;
    Ref<INodeCollection> nodes = h.Counter.GetNodes();
    if (h.Counter.GetSkipList()->IsSkipped(int32_t(h.IP))) return;

    ReadVisitor(h, *nodes);
    const TCounterSettings settings = h.Counter.GetSettings();
    const int32_t siteInterval = OrDefaultInterval(
        h.ConfLoaded ? h.Conf.HostInterval : nodes->GetNodeInterval(""), settings.DefaultInterval);
    const int32_t nodeInterval =
        OrDefaultInterval(h.ConfLoaded ? GetConfiguredInterval(h.Node, h.Conf)
                                       : nodes->GetNodeInterval(h.Node),
                          settings.DefaultInterval);

    Ref<IVisitorCollection> visitors = h.Counter.GetVisitors();
    const TVisitorNews news =
        visitors ? CountVisitor(h, *visitors, siteInterval, nodeInterval) : TVisitorNews{};
    FindSources(h);
    // The same rule for every node this hit may create.
    const bool canCreate = h.ConfLoaded ? h.Conf.CanAddNode : settings.CanAddNode != 0;
    RecordNodeAndSite(h, *nodes, news, canCreate);
    if (visitors) CountParents(h, *visitors, *nodes, news, settings.DefaultInterval);
    visitors.reset();

    CountTotals(h.Counter, news);
    CountBrowserAndLanguage(h, *nodes, canCreate);
    if (h.OutsideReferrer.empty()) h.OutsideReferrer = NormaliseHost(h.Referrer);
}

}  // namespace

void HitWithCookies(const TWebRequest& request, TWebResponse& response, ICounter2& counter,
                    bool confLoaded, const TBaseConf& conf) {
    TCookieHit h{.Request = request,
                 .Counter = counter,
                 .ConfLoaded = confLoaded,
                 .Conf = conf,
                 .Node = request.QueryFields().Value("node"),
                 .IP = ParseClientIPv4(request.RemoteAddr()),
                 .Now = Clock().Now()};
    try {
        CountHit(h);
    } catch (const std::exception& e) {
        std::cerr << "warning: hit not recorded: " << e.what() << "\n";
        NoteError(kNoteCookieHit);
    }

    // A skipped hit read no cookies and writes none.
    if (!h.CookiesRead) return;
    const std::optional<TGUID> user = StrToGuid(h.Cookies.UserId);
    if (!user) return;
    // The log is optional: its failure costs the log record, never the hit,
    // the cookies or the picture.
    try {
        LogHit(conf, *user, h.Session, h.IP, ParseIPv4(request.ForwardedFor()), h.Referrer,
               request.Referer(), h.Node, request.UserAgent());
    } catch (const std::exception& e) {
        std::cerr << "warning: hit log " << conf.BinaryLog << ": " << e.what() << "\n";
    }
    if (!h.Node.empty())
        WriteCookies(response, h.DatabaseGuid, h.Cookies.SessionId, h.Now, h.Cookies.UserId,
                     h.OutsideReferrer, h.Node);
}

}  // namespace tlvx
