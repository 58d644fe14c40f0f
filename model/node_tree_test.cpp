#include <gtest/gtest.h>

#include "model/node_collection.h"
#include "model/node_path.h"
#include "model/testing/node_store.h"
#include "store/errors.h"

namespace tlvx {
namespace {

using Names = std::vector<std::string>;

TEST(NodePath, SplitTrimsBlanksDotsAndEmptyNames) {
    EXPECT_EQ(SplitNodePath("news.sport"), (Names{"news", "sport"}));
    EXPECT_EQ(SplitNodePath(""), Names{});
    EXPECT_EQ(SplitNodePath("."), Names{});
    EXPECT_EQ(SplitNodePath("..."), Names{});
    EXPECT_EQ(SplitNodePath("a..b"), (Names{"a", "b"}));
    EXPECT_EQ(SplitNodePath(" \t.news.\r\n"), Names{"news"});
    EXPECT_EQ(SplitNodePath("a . b"), (Names{"a ", " b"}));
    EXPECT_EQ(SplitNodePath("News.news"), (Names{"News", "news"}));
    EXPECT_EQ(TrimNodePathDots("..a.b."), "a.b.");
    EXPECT_EQ(TrimNodePathDots(".a."), "a");
}

using NodeTreeTest = test::NodeTreeStoreTest;

TEST_F(NodeTreeTest, DottedPathsFindCreateAndSurviveReopen) {
    NewTree();
    EXPECT_FALSE(nodes_->FindNode("", true));
    EXPECT_FALSE(nodes_->FindNode(".", true));
    EXPECT_FALSE(nodes_->FindNode("..", true));
    EXPECT_FALSE(nodes_->FindNode("news", false));
    ASSERT_TRUE(nodes_->FindNode("news.sport.day1", true));
    ASSERT_TRUE(nodes_->GetNodeInfo("news.world", true));
    ASSERT_TRUE(nodes_->FindNode("about", true));
    EXPECT_EQ(nodes_->GetRoot()->GetChildCount(), 2);
    CommitTree();

    OpenTree("readonly");
    EXPECT_EQ(nodes_->GetNodeName(".news."), "news");
    EXPECT_EQ(nodes_->GetNodeName("news..sport"), "sport");
    EXPECT_EQ(nodes_->GetNodeName(" news.sport.day1 "), "day1");
    EXPECT_EQ(nodes_->GetChildNames("news"), (Names{"sport", "world"}));
    EXPECT_EQ(nodes_->GetChildCount("news"), 2);
    EXPECT_EQ(nodes_->GetChildCount("nothing.here"), 0);
    EXPECT_EQ(nodes_->GetLinkCount("nothing"), 0);
    EXPECT_TRUE(nodes_->GetChildren("nothing").empty());
    EXPECT_FALSE(nodes_->GetNodeInfo("nothing", false));
    EXPECT_EQ(nodes_->GetCreated("nothing"), 0.0);
    EXPECT_EQ(nodes_->GetCreated("news"), clock_.now);
    EXPECT_EQ(nodes_->GetAllLinkPaths(),
              (Names{"about", "news", "news.sport", "news.sport.day1", "news.world"}));
    // A top-level node has no link; below it, the link is the parent's path.
    EXPECT_EQ(nodes_->GetLinkCount("news"), 0);
    EXPECT_EQ(nodes_->GetLinkNames("news.sport.day1"), Names{"news.sport"});
    Ref<INode> day1 = nodes_->FindNode("news.sport.day1", false);
    EXPECT_EQ(day1->GetLinkPaths(), Names{"news.sport.day1"});
    TNodes parents = day1->GetLinkedNodes();
    ASSERT_EQ(parents.size(), 1u);
    EXPECT_EQ(parents[0]->GetName(), "sport");
    CloseTree();
}

TEST_F(NodeTreeTest, NodeExistsNeverCreates) {
    NewTree();
    nodes_->FindNode("a", true);
    EXPECT_TRUE(nodes_->NodeExists("a"));
    EXPECT_FALSE(nodes_->NodeExists("a.b.c"));
    EXPECT_FALSE(nodes_->NodeExists(""));
    EXPECT_FALSE(nodes_->NodeExists("b"));
    EXPECT_EQ(nodes_->GetChildCount("a"), 0);
    EXPECT_EQ(nodes_->GetRoot()->GetChildCount(), 1);
    CommitTree();
}

// Handles found through the collection must be dropped before the same node
// is found again: two live views of one node break the store's one-writer rule.
TEST_F(NodeTreeTest, TwoLiveViewsOfOneNodeAreRefused) {
    NewTree();
    Ref<INode> held = nodes_->FindNode("news", true);
    try {
        nodes_->FindNode("news", false);
        FAIL() << "a second writer on one node was allowed";
    } catch (const EQmzError& e) {
        EXPECT_EQ(e.ErrorCode(), ecShareViolation);
    }
    held.reset();
    EXPECT_TRUE(nodes_->FindNode("news", false));
    CommitTree();
}

TEST_F(NodeTreeTest, AttachUnderTwoParentsGivesOnePathPerParent) {
    NewTree();
    {
        Ref<INode> x = nodes_->FindNode("a", true)->NewChild("x", false);
        ASSERT_TRUE(x);
        EXPECT_EQ(x->GetLinkCount(), 0);
        Ref<INode> c = nodes_->FindNode("b.c", true);
        c->AttachChild("x", x, false);
        x->AddLinks(nodes_->FindNode("a", false));
        EXPECT_EQ(x->GetLinkPaths(), (Names{"a.x", "b.c.x"}));
        // An existing entry is replaced only when asked.
        Ref<INode> other = nodes_->FindNode("z", true);
        c->AttachChild("x", other, false);
        EXPECT_EQ(other->GetLinkCount(), 0);
        EXPECT_FALSE(c->NewChild("x", false));
    }
    CommitTree();
    OpenTree("readonly");
    // x is reached under a and under b.c and gives both its paths each time.
    EXPECT_EQ(nodes_->GetAllLinkPaths(),
              (Names{"a", "a.x", "b.c.x", "b", "b.c", "a.x", "b.c.x", "z"}));
    CloseTree();
}

TEST_F(NodeTreeTest, CascadeDeleteRemovesTheChildFromEveryParentWithoutReopening) {
    NewTree();
    {
        nodes_->FindNode("a.x", true);
        Ref<INode> x = nodes_->FindNode("a.x", false);
        nodes_->FindNode("b", true)->AttachChild("x", x, false);
        nodes_->FindNode("c", true)->AttachChild("y", x, false);
    }
    CommitTree();
    OpenTree();
    nodes_->FindNode("a", false)->DeleteChild("x", true);
    EXPECT_FALSE(nodes_->NodeExists("a.x"));
    EXPECT_FALSE(nodes_->NodeExists("b.x"));
    EXPECT_TRUE(nodes_->NodeExists("c.y"));  // another name stays
    CommitTree();
    OpenTree();
    EXPECT_TRUE(nodes_->NodeExists("c.y"));
    EXPECT_FALSE(nodes_->NodeExists("b.x"));
    CommitTree();
}

TEST_F(NodeTreeTest, DeleteNodeFromItsFirstParentOrFromTheRoot) {
    NewTree();
    nodes_->FindNode("news.sport", true);
    nodes_->FindNode("about", true);
    nodes_->DeleteNode("news.sport", false);
    EXPECT_FALSE(nodes_->NodeExists("news.sport"));
    EXPECT_TRUE(nodes_->NodeExists("news"));
    nodes_->DeleteNode("about", true);
    EXPECT_FALSE(nodes_->NodeExists("about"));
    nodes_->DeleteNode("nothing", true);
    EXPECT_EQ(nodes_->GetAllLinkPaths(), Names{"news"});
    CommitTree();
}

TEST_F(NodeTreeTest, CyclesEndTheWalksInWritableAndReadOnlyDatabases) {
    NewTree();
    {
        Ref<INode> a = nodes_->FindNode("a", true);
        Ref<INode> b = a->GetChild("b", true);
        b->AttachChild("back", a, false);  // a hangs under its own child
    }
    // a's only link is now its child b; the walk does not go round again.
    EXPECT_EQ(nodes_->GetAllLinkPaths(), (Names{"a.b.a", "a.b"}));
    CommitTree();
    OpenTree("readonly");
    StringArray paths;
    nodes_->FindNode("a", false)->CollectLinkPaths(paths);
    EXPECT_EQ(paths, (Names{"a.b.a", "a.b"}));
    CloseTree();
}

TEST_F(NodeTreeTest, ReplacedChildGetsAFreshNode) {
    NewTree();
    nodes_->FindNode("a.b.c", true);
    {
        Ref<INode> b = nodes_->GetRoot()->GetChild("a", false)->NewChild("b", true);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->GetChildCount(), 0);
        EXPECT_EQ(b->GetLinkCount(), 0);
    }
    EXPECT_FALSE(nodes_->NodeExists("a.b.c"));
    CommitTree();
}

}  // namespace
}  // namespace tlvx
