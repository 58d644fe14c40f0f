// The node views of a read-only database keep what they open (the
// collection's node memo, each node's indexes, counters and names read on
// first use) and the store opens read-only atoms without transaction images:
// over a real storage file every answer must equal the writable views'
// answers, asked once or many times, and nothing may be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "model/testing/node_store.h"
#include "model/testing/synthetic_site.h"

namespace tlvx {
namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ReadOnlyViewsTest : public test::NodeTreeStoreTest {
protected:
    // Forty days of a small site, committed.
    void Build() {
        NewTree();
        synthetic::TSiteShape shape;
        shape.TopNodes = 3, shape.SecondPerTop = 2, shape.LeavesPerSecond = 3;
        shape.VisitorsPerDay = 12, shape.HitsPerVisitor = 3, shape.Hosts = 6, shape.Seed = 41;
        synthetic::TSiteGenerator generator(shape);
        paths_ = generator.Paths();
        first_ = int32_t(EncodeDateTime(2025, 6, 2));
        for (int32_t day = first_; day < first_ + 40; ++day) {
            for (const synthetic::THit& h : generator.Day(day)) {
                clock_.now = h.When;
                nodes_->RecordNodeHit(h.Path, true, h.NodeFacts());
                nodes_->RecordSiteHit(h.SiteFacts());
            }
        }
        CommitTree();
        clock_.now = first_ + 40.5;
    }

    // Everything a report asks of the tree, as text: every node by its path
    // with its counters, children and figures over several periods, own and
    // subtree, the root's sources.
    std::string Answers() {
        std::ostringstream out;
        StringArray all = nodes_->GetAllLinkPaths();
        for (const std::string& p : all) out << p << ' ';
        out << '\n';
        const double periods[][2] = {{first_ + 39.0, first_ + 39.9}, {first_ + 33.0, first_ + 39.0},
                                     {first_ + 9.0, first_ + 39.0}, {first_ - 5.0, first_ + 80.0}};
        std::vector<std::string> paths{""};
        paths.insert(paths.end(), all.begin(), all.end());
        paths.push_back("no.such.node");
        for (const std::string& path : paths) {
            Ref<INode> node = path.empty() ? nodes_->GetRoot() : nodes_->FindNode(path, false);
            out << path << (nodes_->NodeExists(path) ? " +" : " -");
            if (!node) {
                out << '\n';
                continue;
            }
            Ref<INodeInfo> info = node->GetInfo();
            TNodeCounters c = info->GetCounters();
            out << ' ' << info->GetName() << ' ' << c.Hits << ' ' << c.Visits << ' ' << c.GroupHits << ' '
                << c.Created << ' ' << info->GetExits() << ' ' << node->GetChildCount() << ' '
                << node->GetLinkCount() << ' ' << node->GetLastDay(true) << ' ' << node->GetReloads();
            for (const std::string& name : node->GetChildNames()) out << " c:" << name;
            for (const std::string& link : node->GetLinkPaths()) out << " l:" << link;
            for (const auto& range : periods) {
                for (bool subtree : {false, true})
                    out << ' ' << node->GetDayHits(subtree, range[0], range[1]) << '/'
                        << node->GetDayVisits(subtree, range[0], range[1]) << '/'
                        << node->GetDayNewVisitors(subtree, range[0], range[1]) << '/'
                        << node->GetDayVisitors(subtree, range[0], range[1]);
                out << ' ' << info->GetSourceDayTransitions(synthetic::HostName(1), range[0], range[1]);
            }
            out << ' ' << node->GetWeekHourBlock(true).AllDays.Total << ' ' << info->GetLastDay();
            out << '\n';
        }
        Ref<INodeInfo> root = nodes_->GetRoot()->GetInfo();
        for (const TCObjectLine& line : root->GetSourceList(TListOrder::Hits))
            out << line.Text << ':' << line.Object.Hits << ' ';
        for (double share : root->GetUnknownShares(first_ + 30)) out << share << ' ';
        return out.str();
    }

    StringArray paths_;
    int32_t first_ = 0;
};

TEST_F(ReadOnlyViewsTest, ReadOnlyAnswersEqualWritableOnesAndWriteNothing) {
    Build();
    OpenTree("open");
    const std::string writable = Answers();
    CloseTree();
    const std::string before = FileBytes(path_);

    OpenTree("readonly");
    EXPECT_EQ(Answers(), writable);
    // Asked again, the kept nodes and indexes answer the same.
    EXPECT_EQ(Answers(), writable);
    EXPECT_FALSE(ErrorFlag());
    CloseTree();
    EXPECT_EQ(FileBytes(path_), before);
}

TEST_F(ReadOnlyViewsTest, ReaderKeepsOneObjectPerNodeAndItsNodesOutliveTheCollection) {
    Build();
    const std::string leaf = paths_.back();
    const std::string parent = leaf.substr(0, leaf.rfind('.'));

    OpenTree("readonly");
    Ref<INode> once = nodes_->FindNode(leaf, false);
    EXPECT_EQ(nodes_->FindNode(leaf, false), once);
    // The same node reached by a walk below its parent is the same object.
    Ref<INode> up = nodes_->FindNode(parent, false);
    bool met = false;
    for (const Ref<INode>& child : up->GetChildren()) met = met || child == once;
    EXPECT_TRUE(met);
    const int32_t hits = once->GetInfo()->GetHits();
    const int32_t children = up->GetChildCount();
    // Dropping the collection leaves the nodes handed out working.
    nodes_.reset();
    EXPECT_EQ(once->GetInfo()->GetHits(), hits);
    EXPECT_EQ(up->GetChildCount(), children);
    EXPECT_EQ(int32_t(up->GetChildren().size()), children);
    once.reset();
    up.reset();
    Abandon();

    // A writer gets a fresh object for each find, as the share rule needs.
    OpenTree("open");
    Ref<INode> a = nodes_->FindNode(parent, false);
    a.reset();
    Ref<INode> b = nodes_->FindNode(parent, false);
    EXPECT_TRUE(b);
    b.reset();
    CloseTree();
}

}  // namespace
}  // namespace tlvx
