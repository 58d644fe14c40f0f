// The prepared request: everything the report program works out for one
// request before its page, made once by TMainM::PrepareRequest and handed
// as it is to the page builder, the image road and the frame.
//
// A builder is a free function over this record that returns the HTML of
// the page's content area (the frame around it is the module's). It reads
// the query through Query(), statistics through Counter, and writes every
// request or database value through THtmlBuilder's escaping calls.
#pragma once

#include <string>
#include <string_view>

#include "model/base_conf.h"
#include "model/counter2.h"
#include "model/program_start.h"
#include "platform/html_builder.h"
#include "platform/web_fields.h"

namespace tlvx {

struct TReportContext {
    TWebFields QueryFields;       // the request's query
    double Now = 0;               // the clock, read once for the request
    std::string Id;               // the query's id as given, unescaped
    std::string ScriptName;       // SCRIPT_NAME: the target of every link
    std::string Host;             // the request's host, normalised (model/host.h)
    bool ConfLoaded = false;      // Conf is the configuration block of Id
    TBaseConf Conf;
    std::string ImagesDirectory;  // where the pages' GIF files lie, ending in '/'
    std::string ImagesURL;
    std::string DataBasePath;     // "" until the road needs the database
    // The counter database, opened read-only; null when there is none to
    // read. Mutable for ReleaseDatabase only: letting the database go early
    // is the one change a builder makes to the request.
    mutable Ref<ICounter2> Counter;
    // HTML the preparation made for the frame ("" when the road does not
    // show them).
    std::string LinksBlock;
    std::string ImportantPanel;
    std::string TimePanel;

    // A query field as given ("" when absent).
    std::string Query(std::string_view name) const { return QueryFields.Value(name); }
    // A builder that has read all it needs lets the database go before it
    // formats a long page: a hit waiting for the database then waits for the
    // reading only. Every collection taken from Counter must be dropped
    // before and not used after.
    void ReleaseDatabase() const noexcept { ReleaseCounterDatabase(Counter); }
};

using TPageBuilder = std::string (*)(const TReportContext& context);

// The href of another report request: script + "?id=" + id + "&" + args,
// the script name and the id escaped. Continue with .Url(value) for values
// in args: PageHref(html, ctx, "page=times&nodename=").Url(node).
THtmlBuilder& PageHref(THtmlBuilder& html, const TReportContext& context, THtmlLiteral args);
THtmlBuilder& PageHref(THtmlBuilder& html, std::string_view scriptName, std::string_view id,
                       THtmlLiteral args);

}  // namespace tlvx
