// The invariants every report page keeps: every page value of the page
// table (and unlisted ones) over every fixture database, with hostile and
// boundary values in the id and in every query field a page reads. Pages
// that join the table later are swept without a change here.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "webstat/testing/html_scan.h"
#include "webstat/testing/hostile_values.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

using test::TReportAnswer;
using test::TReportFixture;
using test::TReportSite;

// What must hold of every answer; the failures, each with what was asked.
void CheckAnswer(const TReportAnswer& answer, const std::string& what, std::vector<std::string>& failures) {
    auto fail = [&](const std::string& why) { failures.push_back(what + ": " + why); };
    if (answer.ExitCode != 0 || !answer.Err.empty()) fail("exception or warning: " + answer.Err);
    if (answer.Status != 200) fail("status " + std::to_string(answer.Status));
    if (answer.Header("Content-Type") != "text/html") fail("content type " + answer.Header("Content-Type"));
    for (const auto& [name, value] : answer.Headers)
        if (name != "Status" && name != "Content-Type" && name != "Content-Length") fail("header " + name);
    for (const std::string& fault : test::PageFaults(answer.Body)) fail(fault);
}

// One fixture a case, so that the runner can take them side by side.
class ReportSweep : public ::testing::TestWithParam<TReportFixture> {};

TEST_P(ReportSweep, EveryPageKeepsItsInvariants) {
    const TReportFixture fixture = GetParam();
    const std::vector<std::string> hostile = test::HostileValues();
    std::vector<std::string> failures;
    const TReportSite site(fixture);
    const std::string database = test::FileBytes(site.Database());
    const std::string defaultDatabase = test::FileBytes(site.DefaultDatabase());
    for (const std::string& page : test::PageValuesToVisit()) {
        for (size_t v = 0; v < hostile.size(); ++v) {
            const std::string what = "page=" + page + " value #" + std::to_string(v);
            // The counter's own id, then the value as the id too (the
            // history without a configuration block answers it).
            const std::string query = test::QueryWithEveryField(test::kFixtureId, page, hostile[v]);
            const TReportAnswer first = site.Get(query);
            CheckAnswer(first, what, failures);
            if (site.Get(query).Out != first.Out) failures.push_back(what + ": differs on a second run");
            CheckAnswer(site.Get(test::QueryWithEveryField(hostile[v], page, hostile[v])), what + " as id", failures);
        }
    }
    if (test::FileBytes(site.Database()) != database || test::FileBytes(site.DefaultDatabase()) != defaultDatabase)
        failures.push_back("a database file changed");
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, the first: " << failures.front();
}

INSTANTIATE_TEST_SUITE_P(EveryFixture, ReportSweep, ::testing::ValuesIn(test::kAllReportFixtures),
                         [](const ::testing::TestParamInfo<TReportFixture>& info) {
                             std::string name(test::FixtureName(info.param));
                             std::erase(name, '-');
                             return name;
                         });

}  // namespace
}  // namespace tlvx
