#include "webstat/distribution_frame.h"

#include <algorithm>

#include "platform/format_float.h"
#include "platform/integer_ratio.h"
#include "webstat/report_queries.h"
#include "webstat/ui_tables.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// The end of a cell's style: its top border by the row's place, and the
// bottom border that closes a run.
void WriteRunBorders(THtmlBuilder& html, TRunPlace place) {
    html.Add("border-top:1px solid ");
    if (place.First) html.Add("#CFCFCF;");
    else html.Add("#F1F1F1;");
    if (place.Last) html.Add("border-bottom:1px solid #CFCFCF;");
}

// One framed selection form: the paths as options of "nodename", the hidden
// fields that keep the page (and the group flag, and the view) on submit.
void WriteChoiceForm(THtmlBuilder& html, const TReportContext& context, THtmlLiteral pageValue,
                     const std::string* kind, bool group, const StringArray& paths) {
    html.Line("<form action=\"").Attr(context.ScriptName).Add("\">");
    html.Line("<input type=hidden name=id value=").Attr(context.Id).Add(">");
    if (kind) html.Line("<input type=hidden name=kind value=\"").Attr(*kind).Add("\">");
    html.Line("<input type=hidden name=page value=\"").Add(pageValue).Add("\">");
    if (group) html.Line("<input type=hidden name=group value=\"1\">");
    html.Line("<select name=nodename style=\"width:250px;\">");
    for (const std::string& path : paths) html.Line("<option value=").Attr(path).Add(">").Text(path);
    html.Line("</select>");
    html.Line("<br>");
    html.Line("<p align=right><input type=submit value=\"")
        .Trusted(UiText("Show"))
        .Add("\" style=\"width:200px; background-color:white; border:1px solid black;\"></p>");
    html.Line("</form>");
}

}  // namespace

TDistributionNode ChooseDistributionNode(const TReportContext& context) {
    TDistributionNode choice;
    choice.Name = context.Query("nodename");
    choice.Group = !context.Query("group").empty();
    Ref<INodeCollection> nodes = context.Counter->GetNodes();
    if (!nodes) return choice;
    if (!choice.Name.empty() && nodes->NodeExists(choice.Name)) {
        choice.Node = nodes->FindNode(choice.Name, false);
        choice.Found = choice.Node != nullptr;
        choice.Subtree = choice.Group && choice.Found;
    }
    if (!choice.Node) choice.Node = nodes->GetRoot();
    return choice;
}

void WriteDistributionHeading(THtmlBuilder& html, const TDistributionNode& choice, const THeadingTexts& texts) {
    html.Add("<h1>");
    if (choice.Group && !choice.Name.empty()) html.Trusted(texts.Group).Text(choice.Name);
    else if (!choice.Name.empty()) html.Trusted(texts.Page).Text(choice.Name);
    else html.Trusted(texts.Site);
    html.Add("</h1>");
}

void WriteNodeChoice(THtmlBuilder& html, const TReportContext& context, THtmlLiteral pageValue,
                     const std::string* kind) {
    const StringArray paths = ListAllNodePaths(*context.Counter);
    const StringArray groups = ListGroupPaths(*context.Counter, paths);

    html.Line("<p class=\"navig2\"><a class=\"navig2\" href=\"");
    PageHref(html, context, "page=").Add(pageValue).Add("\">").Trusted(UiText("For all site")).Add("</a></p>");
    html.Line("<table cellspacing=0 cellpadding=0 border=0><tr><td>");
    html.Trusted(FormBoxOpen).Trusted(UiText("For group:")).Trusted(FormBoxBody);
    WriteChoiceForm(html, context, pageValue, kind, true, groups);
    html.Trusted(FormBoxClose);
    html.Line("</td><td width=10>&nbsp</td><td align=right>");
    html.Line().Trusted(FormBoxOpen).Trusted(UiText("For page:")).Trusted(FormBoxBody);
    WriteChoiceForm(html, context, pageValue, kind, false, paths);
    html.Line().Trusted(FormBoxClose);
    html.Line("</td></tr></table>");
    html.Line("<br>");
}

void WriteDistributionTableHead(THtmlBuilder& html, std::initializer_list<THtmlLiteral> captions) {
    html.Line("<table cellspacing=0 cellpadding=3 border=0>");
    html.Line("<tr bgcolor=#BDCFE3>");
    for (THtmlLiteral caption : captions)
        html.Line("<td style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">")
            .Trusted(caption)
            .Add("</p></td>");
    html.Line("</tr>");
}

void WriteLabelCell(THtmlBuilder& html, THtmlLiteral label, TRunPlace place) {
    html.Line("<td style=\"border-left:1px solid #CFCFCF; ");
    WriteRunBorders(html, place);
    html.Add("\"><p class=\"tableleft\">").Trusted(label).Add("</td>");
}

void WriteLabelCell(THtmlBuilder& html, const THtmlBuilder& label, TRunPlace place) {
    html.Line("<td style=\"border-left:1px solid #CFCFCF; ");
    WriteRunBorders(html, place);
    html.Add("\"><p class=\"tableleft\">").Append(label).Add("</td>");
}

THtmlBuilder HourLabel(int32_t hour) {
    THtmlBuilder label;
    label.Int(hour).Add("-").Int(hour + 1);
    return label;
}

void WriteNumberCell(THtmlBuilder& html, std::optional<int64_t> count, TRunPlace place, THtmlLiteral none) {
    html.Line("<td style=\"border-left:1px solid #F1F1F1; ");
    WriteRunBorders(html, place);
    html.Add("\" align=center><p class=\"tabletext\">");
    if (count) html.Int(*count);
    else html.Add(none);
    html.Add("</p></td>");
}

void WriteFloatCell(THtmlBuilder& html, THtmlLiteral pattern, double value, TRunPlace place) {
    html.Line("<td style=\"border-left:1px solid #F1F1F1; ");
    WriteRunBorders(html, place);
    html.Add("\" align=center><p class=\"tabletext\">").Float(pattern, value).Add("</p></td>");
}

void WriteBarCell(THtmlBuilder& html, std::optional<int64_t> count, int64_t maximum, TRunPlace place) {
    html.Line("<td style=\"border-right:1px solid #CFCFCF; border-left:1px solid #CFCFCF; ");
    WriteRunBorders(html, place);
    html.Add("\"  bgcolor=white valign=middle align=left>");
    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr>");
    if (count)
        html.Line("<td height=10 bgcolor=#63AB7D><img height=10 width=")
            .Int(std::max<int64_t>(0, RoundShare(*count, maximum, 400)))
            .Add(" src=\"\"></td><td width=100%></td>");
    else
        html.Line("<td height=10 width=100%></td>");
    html.Line("</tr>");
    html.Line("</table>");
    html.Line("</td>");
}

void WriteCountCells(THtmlBuilder& html, int64_t count, int64_t total, int64_t maximum, TRunPlace place) {
    WriteNumberCell(html, count, place);
    if (total > 0) {
        html.Line("<td style=\"border-left:1px solid #F1F1F1; ");
        WriteRunBorders(html, place);
        html.Add("\" align=center><p class=\"tabletext\">")
            .Float("0.00%", ShareValue(count, total, 100))
            .Add("</p></td>");
    } else {
        html.Line("<td style=\"border-left:1px solid #CFCFCF; ");
        WriteRunBorders(html, place);
        html.Add("\" align=center><p class=\"tabletext\">&nbsp</p></td>");
    }
    WriteBarCell(html, count, maximum, place);
}

}  // namespace tlvx
