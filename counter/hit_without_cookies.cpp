#include <iostream>

#include "counter/hit_roads.h"
#include "counter/hit_rules.h"
#include "model/error_notes.h"
#include "model/host.h"
#include "model/ipv4.h"
#include "platform/clock.h"

namespace tlvx {
namespace {

// The counter's own address: the server's URL variable where it sets one,
// else the address the request was sent to (CGI/1.1 servers set no URL).
std::string OwnURL(const TWebRequest& request) {
    if (!request.URL().empty()) return request.URL();
    return "http://" + request.Host() + request.ScriptName();
}

}  // namespace

void HitWithoutCookies(const TWebRequest& request, TWebResponse&, ICounter2& counter, bool,
                       const TBaseConf&) {
    // Guarded like the cookie road: a hit half recorded is rolled back,
    // never committed.
    try {
        const TWebFields& query = request.QueryFields();
        const std::string node = query.Value("node");
        SetDefaultMainNode(node, counter);
        if (node.empty()) return;
        const uint32_t ip = ParseClientIPv4(request.RemoteAddr());
        if (counter.GetSkipList()->IsSkipped(int32_t(ip))) return;

        std::string referrer = NormaliseHost(query.Value("referer"));
        if (referrer.empty()) referrer = NormaliseHost(request.Referer());
        const double now = Clock().Now();
        // A referrer of the site's own host is the page before this one: a
        // step inside the site, no entry and no outside source.
        const bool inside = !referrer.empty() && referrer == NormaliseHost(OwnURL(request));
        const std::string prevNode = inside ? referrer : std::string();
        if (inside) referrer.clear();

        Ref<INodeCollection> nodes = counter.GetNodes();
        TCounterSettings settings = counter.GetSettings();
        const double nodeLast = nodes->GetIPLastHit(ip, node);
        const double siteLast = nodes->GetIPLastHit(ip, "");
        // An interval never set falls back to the database's default, as on
        // the cookie road.
        const int32_t nodeInterval =
            OrDefaultInterval(nodes->GetNodeInterval(node), settings.DefaultInterval);
        const int32_t siteInterval =
            OrDefaultInterval(nodes->GetNodeInterval(""), settings.DefaultInterval);

        const bool newSiteVisit = OlderThan(siteLast, siteInterval, now);
        const bool newNodeVisit = OlderThan(nodeLast, nodeInterval, now);
        // 0 for a node not there yet, -1 for an address never seen. The
        // address's first hit is a new visitor and its first hit of today a
        // visitor of the day, as the cookie road marks a visitor, so the
        // day's visitors, the root's and the site's total agree.
        const bool firstSite = siteLast <= 0;
        const bool firstNode = nodeLast <= 0;
        const bool canCreate = settings.CanAddNode != 0;

        THitFacts hit{.ip = ip, .when = now, .referrer = referrer, .prevNode = prevNode,
                      .newVisit = newNodeVisit, .isEntry = !inside, .newDay = BeforeToday(nodeLast, now),
                      .newVisitor = firstNode};
        nodes->RecordNodeHit(node, canCreate, hit);
        hit.newVisit = newSiteVisit;
        hit.isEntry = false;
        hit.newDay = BeforeToday(siteLast, now);
        hit.newVisitor = firstSite;
        nodes->RecordSiteHit(hit);
        settings = counter.GetSettings();
        settings.TotalHits += 1;
        if (firstSite) settings.TotalVisitors += 1;
        if (newSiteVisit) settings.TotalVisits += 1;
        counter.SetSettings(settings);

        const std::string language = GetFirstAcceptLanguage(request);
        if (!language.empty()) {
            nodes->CountLanguage(language);
            nodes->CountNodeLanguage(node, language);
        }
        nodes->CountBrowser(request.UserAgent(), node, canCreate);
        nodes->CountBrowser(request.UserAgent(), "", false);
    } catch (const std::exception& e) {
        std::cerr << "warning: hit not recorded: " << e.what() << "\n";
        NoteError(kNoteCookieHit);
    }
}

}  // namespace tlvx
