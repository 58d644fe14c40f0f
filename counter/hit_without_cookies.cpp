#include "counter/hit_roads.h"
#include "counter/hit_rules.h"
#include "counter/hit_stages.h"
#include "model/error_notes.h"
#include "model/host.h"

namespace tlvx {
namespace {

// The counter's own address: the server's URL variable where it sets one,
// else the address the request was sent to (CGI/1.1 servers set no URL).
std::string OwnURL(const TWebRequest& request) {
    if (!request.URL().empty()) return request.URL();
    return "http://" + request.Host() + request.ScriptName();
}

// A referrer of the site's own host is the page before this one: a step
// inside the site, no entry and no outside source.
THitSources FindSources(const THit& h) {
    std::string referrer = ReadReferrers(h.Request).First();
    const bool inside = !referrer.empty() && referrer == NormaliseHost(OwnURL(h.Request));
    if (inside) return {.PrevNode = std::move(referrer), .Entry = false};
    return {.Referrer = std::move(referrer), .Entry = true};
}

// The address's last hits on the node and on the site tell the news: 0 for
// a node not there yet, -1 for an address never seen. The address's first
// hit is a new visitor and its first hit of today a visitor of the day, as
// the cookie road marks a visitor, so the day's visitors, the root's and
// the site's total agree.
TVisitorNews AddressNews(const THit& h, INodeCollection& nodes, const TCounterSettings& settings) {
    const double nodeLast = nodes.GetIPLastHit(h.IP, h.Node);
    const double siteLast = nodes.GetIPLastHit(h.IP, "");
    const THitIntervals intervals = ReadIntervals(h, nodes, settings);
    return {.NewSiteVisit = OlderThan(siteLast, intervals.Site, h.Now),
            .NewVisitor = siteLast <= 0,
            .NewNodeVisit = OlderThan(nodeLast, intervals.Node, h.Now),
            .FirstNodeVisit = nodeLast <= 0,
            .NewDayNode = BeforeToday(nodeLast, h.Now),
            .NewDaySite = BeforeToday(siteLast, h.Now)};
}

// Everything the hit changes in the database; nothing past the main node
// for a hit without a node or from a skipped address.
void CountAddressHit(const THit& h) {
    NameMainNode(h);
    if (h.Node.empty() || InSkipList(h)) return;
    const THitSources sources = FindSources(h);
    Ref<INodeCollection> nodes = h.Counter.GetNodes();
    const TCounterSettings settings = h.Counter.GetSettings();
    const TVisitorNews news = AddressNews(h, *nodes, settings);
    const bool canCreate = CanCreateNodes(h, settings);
    RecordNodeAndSite(h, *nodes, sources, news, canCreate, false);
    CountTotals(h.Counter, news);
    CountLanguage(h, *nodes);
    CountBrowsers(h, *nodes, canCreate);
}

}  // namespace

void HitWithoutCookies(const TWebRequest& request, TWebResponse&, ICounter2& counter, bool,
                       const TBaseConf& conf) {
    // This road consults no configuration: its intervals and node rule are
    // the database's own.
    const THit h = MakeHit(request, counter, false, conf);
    RecordGuarded("hit without cookies", kNoteAddressHit, [&] { CountAddressHit(h); });
}

}  // namespace tlvx
