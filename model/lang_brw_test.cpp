#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/brw_collection.h"
#include "model/error_notes.h"
#include "model/lang_collection.h"
#include "model/need.h"
#include "model/node_atoms.h"
#include "model/testing/node_store.h"

namespace tlvx {
namespace {

struct TAgentCase {
    const char* agent;
    TBrowserKind kind;
};

// Agents as browsers and tools really send them, old and current.
const TAgentCase kAgents[] = {
    {"Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)", bkMSIE4},
    {"Mozilla/4.0 (compatible; msie   4.5; Mac_PowerPC)", bkMSIE4},
    {"Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)", bkMSIE5},
    {"Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90)", bkMSIE5},
    {"Mozilla/4.0 (compatible; MSIE 5.0; Windows 98) Opera 6.0  [en]", bkMSIE5},
    {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)", bkMSIEOther},
    {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; en) Opera 8.50", bkMSIEOther},
    {"Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; Trident/6.0)", bkMSIEOther},
    {"Mozilla/4.0 (compatible; MSIE", bkMSIEOther},
    {"Opera/9.80 (Windows NT 6.1; U; en) Presto/2.10.289 Version/12.02", bkOpera},
    {"Opera/6.05 (Windows 2000; U)  [en]", bkOpera},
    {"Lynx/2.8.9rel.1 libwww-FM/2.14 SSL-MM/1.4.1 OpenSSL/1.1.1d", bkLynx},
    {"Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0", bkMozilla},
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
     "Chrome/120.0.0.0 Safari/537.36",
     bkMozilla},
    // Current Opera and Edge name themselves OPR/Edg, not Opera.
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
     "Chrome/120.0.0.0 Safari/537.36 OPR/106.0.0.0",
     bkMozilla},
    {"Mozilla/5.0 (Windows NT 10.0; Trident/7.0; rv:11.0) like Gecko", bkMozilla},
    {"Mozilla/4.76 [en] (X11; U; Linux 2.4.2 i686)", bkMozilla},
    {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 "
     "(KHTML, like Gecko) Version/17.1 Mobile/15E148 Safari/604.1",
     bkMozilla},
    {"Wget/1.21.3", bkOther},
    {"curl/8.4.0", bkOther},
    {"Links (2.29; Linux 6.1.0 x86_64; GNU C 12.2; text)", bkOther},
    {"", bkOther},
};

TEST(BrowserKind, RealAgentsClassifyFirstMatchWins) {
    for (const TAgentCase& c : kAgents) EXPECT_EQ(ClassifyUserAgent(c.agent), c.kind) << c.agent;
}

TEST(BrowserKind, KindsLandInTheirLinksAndSetBits) {
    const int32_t links[kBrowserKindCount] = {0, 1, 2, 4, 5, 3, 6};
    for (int32_t k = 0; k < kBrowserKindCount; ++k) {
        EXPECT_EQ(BrowserKindLink(static_cast<TBrowserKind>(k)), links[k]);
        EXPECT_EQ(BrowserSetOf(static_cast<TBrowserKind>(k)), 1 << k);
    }
}

class BrwLangStoreTest : public test::NodeStoreTest {};

TEST_F(BrwLangStoreTest, RegisteredAgentsCountInTheKindsLinksAfterReopen) {
    Begin();
    {
        Ref<IVirtualAtom> root = Root();
        Ref<IVirtualAtom> brw = tr_->CreateAtom();
        root->SetLink(10, brw);
        Ref<TIBrwCollection> c = TIBrwCollection::CreateNew(brw);
        for (const TAgentCase& a : kAgents) c->RegisterAgent(a.agent);
    }
    Commit();
    Begin("readonly");
    {
        Ref<IVirtualAtom> brw = Root()->OpenLink(10);
        ASSERT_EQ(brw->GetLinkCount(), 7);
        std::vector<int32_t> stored;
        for (int32_t l = 0; l < 7; ++l) {
            Ref<IVirtualAtom> counter = brw->OpenLink(l);
            EXPECT_EQ(counter->GetSize(), 4);
            stored.push_back(ReadInt32(*counter));
        }
        // links: MSIE4, MSIE5, MSIE other, Mozilla, Opera, Lynx, other
        EXPECT_EQ(stored, (std::vector<int32_t>{2, 3, 4, 6, 2, 1, 4}));
        Ref<TIBrwCollection> c = TIBrwCollection::Open(brw);
        EXPECT_EQ(c->Count(BrowserSetOf(bkOpera) | BrowserSetOf(bkLynx) | BrowserSetOf(bkMozilla)), 9);
        EXPECT_EQ(c->Count(0x7F), 22);
        EXPECT_EQ(c->Count(0), 0);
    }
    Abandon();
    Begin();
    {
        Ref<TIBrwCollection> c = TIBrwCollection::Open(Root()->OpenLink(10));
        c->Reset();
        EXPECT_EQ(c->Count(0x7F), 0);
    }
    Commit();
}

TEST_F(BrwLangStoreTest, BrowserAtomWithoutCountersReadsZeroAndRefusesToCount) {
    Begin();
    Ref<IVirtualAtom> brw = tr_->CreateAtom();
    Ref<TIBrwCollection> c = TIBrwCollection::Open(brw);
    EXPECT_EQ(c->Count(0x7F), 0);
    EXPECT_THROW(c->RegisterAgent("Lynx/2.8"), ENilObject);
    Ref<TIBrwCollection> none = TIBrwCollection::Open(nullptr);
    EXPECT_EQ(none->Count(0x7F), 0);
    EXPECT_THROW(none->Reset(), ENilObject);
    EXPECT_THROW(TIBrwCollection::CreateNew(nullptr), ENilObject);
}

TEST_F(BrwLangStoreTest, LanguagesFromAcceptLanguageFirstEntries) {
    // First entries of real Accept-Language headers, as the hit road passes them.
    const char* firsts[] = {"ru-RU", "ru", "en-US", "ru-ru", "de-DE", "en-us", "zh-CN", "ru"};
    Begin();
    {
        Ref<IVirtualAtom> langAtom = tr_->CreateAtom();
        Root()->SetLink(11, langAtom);
        TLangCollection langs(langAtom);
        ASSERT_TRUE(langs.HasIndex());
        for (const char* f : firsts) langs.Add(f);
    }
    Commit();
    EXPECT_FALSE(ErrorFlag());
    Begin("readonly");
    {
        TLangCollection langs(Root()->OpenLink(11));
        EXPECT_EQ(langs.GetCodes(), (StringArray{"DE-DE", "EN-US", "RU", "RU-RU", "ZH-CN"}));
        EXPECT_EQ(langs.GetCount("ru-RU"), 2);
        EXPECT_EQ(langs.GetCount("RU"), 2);
        EXPECT_EQ(langs.GetCount("en-US"), 2);
        EXPECT_EQ(langs.GetCount("fr-CH"), 0);
    }
    Abandon();
    Begin();
    {
        TLangCollection langs(Root()->OpenLink(11));
        langs.Delete("en-us");
        EXPECT_EQ(langs.GetCount("EN-US"), 0);
        EXPECT_EQ(langs.GetCodes().size(), 4u);
        langs.Clear();
        EXPECT_TRUE(langs.GetCodes().empty());
    }
    Commit();
}

TEST_F(BrwLangStoreTest, ReadOnlyLanguageAtomWithoutIndexStaysEmptyAndUnchanged) {
    Begin();
    Root()->SetLink(11, tr_->CreateAtom());
    Commit();
    Begin("readonly");
    {
        Ref<IVirtualAtom> langAtom = Root()->OpenLink(11);
        TLangCollection langs(langAtom);
        EXPECT_FALSE(langs.HasIndex());
        EXPECT_EQ(langs.GetCount("en"), 0);
        EXPECT_TRUE(langs.GetCodes().empty());
        EXPECT_NO_THROW(langs.Add("en"));
        EXPECT_FALSE(langAtom->HasLink(1));
    }
    Abandon();
    EXPECT_FALSE(ErrorFlag());
}

TEST_F(BrwLangStoreTest, LinkThatIsNoIndexIsNotedAndReplacedOnlyWhenWritable) {
    Begin();
    {
        Ref<IVirtualAtom> langAtom = tr_->CreateAtom();
        Root()->SetLink(11, langAtom);
        Ref<IVirtualAtom> junk = tr_->CreateAtom();
        junk->SetAsString("not an index");
        langAtom->SetLink(1, junk);
    }
    Commit();
    Begin("readonly");
    {
        TLangCollection langs(Root()->OpenLink(11));
        EXPECT_FALSE(langs.HasIndex());
        EXPECT_TRUE(ErrorFlag());
    }
    Abandon();
    ResetErrorNotes();
    Begin();
    {
        TLangCollection langs(Root()->OpenLink(11));
        EXPECT_TRUE(ErrorFlag());
        ASSERT_TRUE(langs.HasIndex());
        langs.Add("en");
        EXPECT_EQ(langs.GetCount("EN"), 1);
    }
    Abandon();
}

}  // namespace
}  // namespace tlvx
