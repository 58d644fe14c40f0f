#include "counter/hit_stages.h"

#include "counter/hit_roads.h"
#include "counter/hit_rules.h"
#include "model/host.h"
#include "model/ipv4.h"
#include "platform/clock.h"

namespace tlvx {

THit MakeHit(const TWebRequest& request, ICounter2& counter, bool confLoaded, const TBaseConf& conf) {
    return THit{.Request = request,
                .Counter = counter,
                .ConfLoaded = confLoaded,
                .Conf = conf,
                .Node = request.QueryFields().Value("node"),
                .IP = ParseClientIPv4(request.RemoteAddr()),
                .Now = Clock().Now()};
}

void NameMainNode(const THit& h) {
    if (h.ConfLoaded && !h.Conf.MainNodeName.empty())
        h.Counter.SetMainNodeName(h.Conf.MainNodeName);
    else
        SetDefaultMainNode(h.Node, h.Counter);
}

bool InSkipList(const THit& h) { return h.Counter.GetSkipList()->IsSkipped(int32_t(h.IP)); }

TRequestReferrers ReadReferrers(const TWebRequest& request) {
    return {NormaliseHost(request.QueryFields().Value("referer")), NormaliseHost(request.Referer())};
}

THitIntervals ReadIntervals(const THit& h, INodeCollection& nodes, const TCounterSettings& settings) {
    const int32_t site = h.ConfLoaded ? h.Conf.HostInterval : nodes.GetNodeInterval("");
    const int32_t node =
        h.ConfLoaded ? GetConfiguredInterval(h.Node, h.Conf) : nodes.GetNodeInterval(h.Node);
    return {OrDefaultInterval(site, settings.DefaultInterval),
            OrDefaultInterval(node, settings.DefaultInterval)};
}

bool CanCreateNodes(const THit& h, const TCounterSettings& settings) {
    return h.ConfLoaded ? h.Conf.CanAddNode : settings.CanAddNode != 0;
}

void RecordNodeAndSite(const THit& h, INodeCollection& nodes, const THitSources& sources,
                       const TVisitorNews& news, bool canCreate, bool countsAsExit) {
    THitFacts hit{.ip = h.IP, .when = h.Now, .referrer = sources.Referrer,
                  .prevNode = sources.PrevNode, .sessionRef = sources.SessionRef};
    if (!h.Node.empty()) {
        hit.newVisit = news.NewNodeVisit;
        hit.isEntry = sources.Entry;
        hit.isExit = countsAsExit;
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
}

void CountTotals(ICounter2& counter, const TVisitorNews& news) {
    TCounterSettings settings = counter.GetSettings();
    settings.TotalHits += 1;
    if (news.NewVisitor) settings.TotalVisitors += 1;
    if (news.NewSiteVisit) settings.TotalVisits += 1;
    counter.SetSettings(settings);
}

void CountBrowsers(const THit& h, INodeCollection& nodes, bool canCreate) {
    if (!h.Node.empty()) nodes.CountBrowser(h.Request.UserAgent(), h.Node, canCreate);
    nodes.CountBrowser(h.Request.UserAgent(), "", false);
}

void CountLanguage(const THit& h, INodeCollection& nodes) {
    const std::string language = GetFirstAcceptLanguage(h.Request);
    if (language.empty()) return;
    nodes.CountLanguage(language);
    nodes.CountNodeLanguage(h.Node, language);
}

}  // namespace tlvx
