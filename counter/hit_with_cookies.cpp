#include <cmath>
#include <iostream>
#include <vector>

#include "counter/hit_roads.h"
#include "counter/hit_rules.h"
#include "counter/visitor_cookies.h"
#include "model/error_notes.h"
#include "model/host.h"
#include "model/ipv4.h"
#include "model/text.h"
#include "platform/clock.h"

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

}  // namespace

void HitWithCookies(const TWebRequest& request, TWebResponse& response, ICounter2& counter,
                    bool confLoaded, const TBaseConf& conf) {
    const TWebFields& query = request.QueryFields();
    const std::string node = query.Value("node");
    const uint32_t ip = ParseClientIPv4(request.RemoteAddr());
    bool cookiesRead = false;
    std::string databaseGuid;
    TVisitorCookies cookies;
    TGUID sessionGuid{};
    std::string referrer, outsideReferrer;
    double now = Clock().Now();

    try {
        if (confLoaded && !conf.MainNodeName.empty())
            counter.SetMainNodeName(conf.MainNodeName);
        else
            SetDefaultMainNode(node, counter);

        // Hits the site does not count: no address, or a skipped one.
        if (request.RemoteAddr().empty() || IsInSkipNetworks(ip, conf)) return;
        Ref<INodeCollection> nodes = counter.GetNodes();
        if (counter.GetSkipList()->IsSkipped(int32_t(ip))) return;

        databaseGuid = counter.GetDatabaseGUIDString();
        cookies = ReadCookies(databaseGuid, request.CookieFields());
        cookiesRead = true;

        // A reload within the session, or the next page of its path.
        const TGUID session = *StrToGuid(cookies.SessionId);
        Ref<IPathCollection> paths = counter.GetPaths();
        if (node == paths->GetLastNode(session)) {
            if (Ref<INode> found = nodes->FindNode(node, false)) {
                found->GetInfo()->AddReloads(1);
                nodes->GetRoot()->GetInfo()->AddReloads(1);
            }
        } else {
            paths->SetLastNode(session, node);
            std::string path = paths->GetPath(session);
            paths->SetPath(session, path.empty() ? node : path + "->" + node);
        }
        paths.reset();
        sessionGuid = session;
        const bool entry = cookies.LastVisitedNode.empty();

        TCounterSettings settings = counter.GetSettings();
        const int32_t siteInterval = OrDefaultInterval(
            confLoaded ? conf.HostInterval : nodes->GetNodeInterval(""), settings.DefaultInterval);
        const int32_t nodeInterval =
            OrDefaultInterval(confLoaded ? GetConfiguredInterval(node, conf)
                                         : nodes->GetNodeInterval(node),
                              settings.DefaultInterval);

        bool newSiteVisit = false, newVisitor = false, newNodeVisit = false,
             firstNodeVisit = false, newDayNode = false, newDaySite = false;
        Ref<IVisitorCollection> visitors = counter.GetVisitors();
        if (visitors) {
            newSiteVisit = OlderThan(cookies.LastDate, siteInterval, now);
            const std::string before = cookies.UserId;
            visitors->RegisterHit(cookies.UserId, int32_t(ip), false, newSiteVisit, now);
            newVisitor = cookies.UserId != before;
            const double nodeLast = visitors->GetVisitorNodeTime(node, cookies.UserId);
            newNodeVisit = OlderThan(nodeLast, nodeInterval, now);
            firstNodeVisit = nodeLast == 0;
            if (!newVisitor) newVisitor = cookies.LastDate == 0;
            const double today = std::floor(now);
            newDayNode = today > nodeLast;
            newDaySite = today > cookies.LastDate;
        }

        // The outside referrer of the hit: none inside a session, none from
        // the session's own start, none when the page came from itself.
        const std::string queryReferrer = NormaliseHost(query.Value("referer"));
        const std::string headerReferrer = NormaliseHost(request.Referer());
        referrer = queryReferrer.empty() ? headerReferrer : queryReferrer;
        now = Clock().Now();
        std::string prevNode;
        if (!cookies.LastVisitedNode.empty()) {
            prevNode = cookies.LastVisitedNode;
            referrer.clear();
        }
        outsideReferrer = NormaliseHost(cookies.OutsideReferrer);
        if (!outsideReferrer.empty()) referrer.clear();
        if (UpperAscii(queryReferrer) == UpperAscii(headerReferrer)) referrer.clear();

        // The same rule for every node this hit may create.
        const bool canCreate = confLoaded ? conf.CanAddNode : settings.CanAddNode != 0;
        if (!node.empty())
            nodes->RecordNodeHit(node, ip, now, canCreate, referrer, prevNode, outsideReferrer,
                                 newNodeVisit, entry, true, newDayNode, firstNodeVisit, "");
        nodes->RecordSiteHit(ip, referrer, now, prevNode, outsideReferrer, newSiteVisit, false,
                             false, newDaySite, newVisitor, "");
        // Every hit counts as an exit until the session's next hit takes it
        // back, from the same page too (a reload). A hit without a node is
        // no page: it neither exits nor takes the last page's exit away.
        if (!cookies.LastVisitedNode.empty() && !node.empty())
            AddExitsOf(*nodes, cookies.LastVisitedNode, -1);

        if (visitors) {
            const TParentWork work{*visitors, *nodes, cookies.UserId, node, confLoaded, conf,
                                   !query.Value("id").empty(), settings.DefaultInterval, now};
            if (newNodeVisit) CountParentVisits(work);
            if (firstNodeVisit) CountParentVisitors(work);
            visitors->SetVisitorNodeTime(node, cookies.UserId, Clock().Now());
        }
        visitors.reset();

        settings = counter.GetSettings();
        settings.TotalHits += 1;
        if (newVisitor) settings.TotalVisitors += 1;
        if (newSiteVisit) settings.TotalVisits += 1;
        counter.SetSettings(settings);

        // With an empty node the root is the node: count it once.
        if (!node.empty()) nodes->CountBrowser(request.UserAgent(), node, canCreate);
        nodes->CountBrowser(request.UserAgent(), "", false);
        const std::string language = GetFirstAcceptLanguage(request);
        if (!language.empty()) {
            nodes->CountLanguage(language);
            nodes->CountNodeLanguage(node, language);
        }
        if (outsideReferrer.empty()) outsideReferrer = NormaliseHost(referrer);
    } catch (const std::exception& e) {
        std::cerr << "warning: hit not recorded: " << e.what() << "\n";
        NoteError(kNoteCookieHit);
    }

    if (!cookiesRead) return;
    const std::optional<TGUID> user = StrToGuid(cookies.UserId);
    if (!user) return;
    // The log is optional: its failure costs the log record, never the hit,
    // the cookies or the picture.
    try {
        LogHit(conf, *user, sessionGuid, ip, ParseIPv4(request.ForwardedFor()), referrer,
               request.Referer(), node, request.UserAgent());
    } catch (const std::exception& e) {
        std::cerr << "warning: hit log " << conf.BinaryLog << ": " << e.what() << "\n";
    }
    if (!node.empty())
        WriteCookies(response, databaseGuid, cookies.SessionId, now, cookies.UserId,
                     outsideReferrer, node);
}

}  // namespace tlvx
