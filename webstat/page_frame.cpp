#include "webstat/page_frame.h"

#include "platform/text.h"
#include "platform/html_builder.h"
#include "platform/page_producer.h"
#include "webstat/page_table.h"
#include "webstat/page_templates.h"
#include "webstat/report_context.h"
#include "webstat/ui_tables.h"

namespace tlvx {
namespace {

// The colours every bar template asks for; "" for any other tag.
std::string BarColour(std::string_view tag) {
    if (tag == "headerbgcolor") return std::string(HeaderBgColor);
    if (tag == "threaddark") return std::string(ThreadDarkColor);
    if (tag == "threadlight") return std::string(ThreadLightColor);
    if (tag == "light") return std::string(LightColor);
    return "";
}

// The producers of one page and their tag handlers (HeadHTMLTag,
// BodyHTMLTag, HeaderHTMLTag, importantHTMLTag, contentandmenuHTMLTag,
// contentHTMLTag, menuHTMLTag, footerHTMLTag).
class TFrame {
public:
    TFrame(const TReportContext& request, const TFramePage& page) : r_(request), p_(page) {}

    std::string Generate() const {
        return Produce(kHeadTemplate, &TFrame::HeadTag) + Produce(kBodyTemplate, &TFrame::BodyTag);
    }

private:
    using THandler = std::string (TFrame::*)(std::string_view tag) const;

    std::string Produce(std::string_view text, THandler handler) const {
        return ExpandTags(text, [this, handler](std::string_view tag, const TTagParams&) {
            return (this->*handler)(tag);
        });
    }

    std::string HeadTag(std::string_view tag) const {
        if (tag == "instyle") return std::string(p_.StyleSheet);
        if (tag == "titlestring") return std::string(PageOfCode(p_.PageCode).Title);
        return "";
    }

    std::string BodyTag(std::string_view tag) const {
        if (tag == "headerbgcolor") return std::string(HeaderBgColor);
        if (tag == "importantbgcolor") return std::string(ImportantBgColor);
        if (tag == "contentbgcolor") return std::string(ContentBgColor);
        if (tag == "footerbgcolor") return std::string(FooterBgColor);
        if (tag == "header") return Produce(kHeaderTemplate, &TFrame::HeaderTag);
        if (tag == "important") return Produce(kImportantTemplate, &TFrame::ImportantTag);
        if (tag == "contentandmenu") return Produce(kContentAndMenuTemplate, &TFrame::ContentAndMenuTag);
        if (tag == "footer") return Produce(kFooterTemplate, &TFrame::FooterTag);
        if (tag == "headfooter") return Produce(kHeadFooterTemplate, &TFrame::HeaderTag);
        return "";
    }

    std::string HeaderTag(std::string_view tag) const {
        if (tag == "logo") return ImageSource("?img=1&imgind=12&id=");
        if (tag == "name") return ImageSource("?img=1&imgind=13&id=");
        if (tag == "version") return std::string(VersionBanner);
        return BarColour(tag);
    }

    std::string ImportantTag(std::string_view tag) const {
        if (tag == "important") return r_.ImportantPanel;
        if (tag == "links") return r_.LinksBlock;
        return BarColour(tag);
    }

    std::string ContentAndMenuTag(std::string_view tag) const {
        if (tag == "content") return Produce(kContentTemplate, &TFrame::ContentTag);
        if (tag == "menu") return Produce(MenuTemplate(), &TFrame::MenuTag);
        if (tag == "timestring") return r_.TimePanel;
        return BarColour(tag);
    }

    std::string ContentTag(std::string_view tag) const {
        return tag == "contentmain" ? std::string(p_.Content) : "";
    }

    std::string FooterTag(std::string_view tag) const { return BarColour(tag); }

    // A marker, link or caption tag of a menu entry.
    std::string MenuTag(std::string_view tag) const {
        if (tag == "timestring") return r_.TimePanel;
        const int32_t current = p_.PageCode == kUnlistedPageCode ? kMainPageCode : p_.PageCode;
        for (const TReportPage& page : ReportPages()) {
            if (!page.HasMenuEntry()) continue;
            if (tag == page.Menu.MarkerTag) return MenuMarker(page.Code == current);
            if (tag == page.Menu.CaptionTag) return std::string(page.Menu.Caption);
            if (tag == page.Menu.LinkTag) return PageLink(page.Value);
        }
        return "";
    }

    std::string ImageSource(THtmlLiteral query) const {
        THtmlBuilder html;
        html.Attr(r_.ScriptName).Add(query).Url(r_.Id);
        return html.Take();
    }

    // script + "?id=" + id + "&page=" + the value in lower case.
    std::string PageLink(std::string_view pageValue) const {
        THtmlBuilder html;
        PageHref(html, r_.ScriptName, r_.Id, "page=");
        html.Url(LowerAscii(pageValue));
        return html.Take();
    }

    const TReportContext& r_;
    const TFramePage& p_;
};

}  // namespace

std::string GenerateReportPage(const TReportContext& request, const TFramePage& page) {
    return TFrame(request, page).Generate();
}

std::string MenuMarker(bool current) {
    const THtmlLiteral colour = current ? CurrentMarkerColor : PlainMarkerColor;
    THtmlBuilder html;
    html.Add("<table width=9 height=9 cellspacing=0 cellpadding=0 border=0>");
    for (int row = 0; row < 3; ++row) {
        html.Add("<tr>");
        for (int column = 0; column < 3; ++column) {
            const bool coloured = (row == 0 && column != 1) || row == column;
            html.Add("<td width=3 height=3");
            if (coloured) html.Add(" bgcolor=").Trusted(colour);
            html.Add("><img src=\"\" width=3 height=3></td>");
        }
        html.Add("</tr>");
    }
    html.Add("</table>");
    return html.Take();
}

}  // namespace tlvx
