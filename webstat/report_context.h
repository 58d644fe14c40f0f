// What a page builder is given: one record of the request being answered.
//
// A builder is a free function over this record that returns the HTML of
// the page's content area (the frame around it is the module's). It reads
// the query through Query(), statistics through Counter, and writes every
// request or database value through THtmlBuilder's escaping calls.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "model/base_conf.h"
#include "model/counter2.h"
#include "platform/html_builder.h"
#include "platform/web_request.h"

namespace tlvx {

struct TReportContext {
    // The counter database, opened read-only. Null only for a builder of a
    // page that reads no statistics (TReportPage::NeedsDatabase false) when
    // the counter has no database yet.
    ICounter2* Counter = nullptr;
    const TWebRequest& Request;
    std::string ScriptName;       // SCRIPT_NAME: the target of every link
    std::string Id;               // the query's id as given, unescaped
    std::string ImagesDirectory;  // where the pages' GIF files lie, ending in '/'
    std::string Host;             // the request's host, normalised (model/host.h)
    bool ConfLoaded = false;      // Conf is the configuration block of Id
    const TBaseConf& Conf;
    // Lets the database go (see ReleaseDatabase); nothing when empty.
    std::function<void()> DoneReading = {};

    // A query field as given ("" when absent).
    std::string Query(std::string_view name) const { return Request.QueryFields().Value(name); }
    // A builder that has read all it needs lets the database go before it
    // formats a long page: a hit waiting for the database then waits for the
    // reading only. Counter, and every collection taken from it, must be
    // dropped before and not used after.
    void ReleaseDatabase() const {
        if (DoneReading) DoneReading();
    }
};

using TPageBuilder = std::string (*)(const TReportContext& context);

// The href of another report request: script + "?id=" + id + "&" + args,
// the script name and the id escaped. Continue with .Url(value) for values
// in args: PageHref(html, ctx, "page=times&nodename=").Url(node).
THtmlBuilder& PageHref(THtmlBuilder& html, const TReportContext& context, THtmlLiteral args);
THtmlBuilder& PageHref(THtmlBuilder& html, std::string_view scriptName, std::string_view id,
                       THtmlLiteral args);

}  // namespace tlvx
