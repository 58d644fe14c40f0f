// The three pieces of HTML the preparation builds for every page: the
// site-links block, the summary ("important") panel with the day's figures,
// and the server-time panel. Each piece of each is a line: CR LF, then its
// text.
//
// Request and database values are escaped; the configuration's own texts
// (site name, addresses, captions) are the site owner's and go in as they
// stand, HTML included.
#pragma once

#include <string>
#include <string_view>

#include "model/base_conf.h"
#include "model/counter2.h"
#include "webstat/report_math.h"

namespace tlvx {

// The links block. With a configuration: the site name; the link to
// SiteURL, or to the request's host when no SiteURL is set; the mail links
// of WebMasterMail and SiteAdminMail when set. A pair with an address and
// no caption shows the address as its caption. Without a configuration: the
// host of the request's URL, then a link to the request's host captioned
// with it.
std::string BuildLinksBlock(bool confLoaded, const TBaseConf& conf, std::string_view host,
                            std::string_view requestUrl);

// The summary panel for the local date and time now: total, yesterday's
// and today's hits, site views and visitors of the whole site (the root node
// without its subtree), the week growth of each (the average day-to-day
// change over the seven days ending yesterday), and today's hot page and
// hot referral (host is the own host, left out of the referrals).
std::string BuildImportantPanel(ICounter2& counter, std::string_view host, double now);

// The server-time panel: table rows with the date, weekday and time of now
// and the offset from GMT.
std::string BuildTimePanel(double now, const TGmtOffset& offset);

}  // namespace tlvx
