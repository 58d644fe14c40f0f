#include "webstat/testing/hostile_values.h"

#include "platform/html_escape.h"
#include "platform/text.h"
#include "webstat/page_table.h"

namespace tlvx::test {

std::vector<std::string> HostileValues() {
    return {"\"><xssprobe xssattr=1>",
            "' xssattr='1 \" xssattr=\"1 xssattr=1 `xssattr=1",
            "javascript:alert(1)",
            "x\r\nX-Injected: 1\r\n\r\n<xssprobe>",
            std::string(20000, 'A') + "<xssprobe>",
            "\xC0\xE1\xFF\x80 \xCD\xEE\xE2\xEE\xF1\xF2\xE8",
            "-1",
            "-2147483649",
            "2147483648",
            "99999999999999999999",
            "1e999",
            "-0",
            ""};
}

std::vector<std::string> PageValuesToVisit() {
    std::vector<std::string> values;
    for (const TReportPage& page : ReportPages()) values.push_back(LowerAscii(page.Value));
    values.push_back("");
    values.push_back("nosuchpage");
    return values;
}

std::string QueryArg(std::string_view value) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : UrlArg(value)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
            continue;
        }
        out += '%';
        out += hex[u >> 4];
        out += hex[u & 15];
    }
    return out;
}

std::string QueryWithEveryField(const std::string& id, const std::string& page, const std::string& value) {
    std::string query = "id=" + QueryArg(id) + "&page=" + QueryArg(page);
    const std::string encoded = QueryArg(value);
    for (const std::string_view field : kPageQueryFields) {
        query += '&';
        query += field;
        query += '=';
        query += encoded;
    }
    return query;
}

}  // namespace tlvx::test
