#include "webstat/geo_collection.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

#include "model/collection_atoms.h"
#include "model/ipv4.h"
#include "store/btree_factory.h"
#include "store/errors.h"
#include "store/storage_factory.h"
#include "store/testing/store_env.h"
#include "webstat/geo_text.h"

namespace tlvx {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

const std::string kClass = "{6E27C938-CE61-4829-AB29-1DC38028DF73}";

uint32_t Ip(const char* text) { return uint32_t(ParseIPv4(text)); }

TNetDescription Entry(const char* network, const char* mask, std::string country, std::string area,
                      std::string point = "", std::string memo = "") {
    return {Ip(network), Ip(mask), std::move(country), std::move(area), std::move(point), std::move(memo)};
}

// prefix + n (g++ 12 warns wrongly about "literal" + std::to_string(n)).
std::string Numbered(std::string prefix, uint32_t n) { return prefix.append(std::to_string(n)); }

void Add(IGeoCollection& geo, const TNetDescription& e) { geo.AddNetwork(e.Network, e.Mask, e); }

uint16_t GeoCodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const TGeoCollectionError& e) {
        return e.Code();
    }
    return 0xFFFF;
}

class GeoCollectionTest : public ::testing::Test {
protected:
    using TChange = std::function<void(IGeoCollection&)>;

    std::string File(const std::string& name) { return env.dir.File(name); }

    void WriteText(const std::string& name, const std::string& text) {
        WriteFileBytes(File(name), std::vector<uint8_t>(text.begin(), text.end()));
    }
    std::string ReadText(const std::string& name) {
        auto bytes = ReadFileBytes(File(name));
        return std::string(bytes.begin(), bytes.end());
    }

    // Runs change on the root of the file in one committed transaction; a
    // new file is laid out with InitNew first.
    void WithRoot(const std::string& name, const std::function<void(const Ref<IVirtualAtom>&)>& change) {
        auto storage = StorageFactory().OpenStorage(0, 0, File(name), "", "class=" + kClass);
        auto tr = storage->StartTransaction();
        change(tr->OpenRootAtom());
        tr->Commit();
    }
    void Make(const std::string& name, const TChange& fill = {}) {
        WithRoot(name, [&](const Ref<IVirtualAtom>& root) {
            auto geo = TGeoCollection::InitNew(root);
            if (fill) fill(*geo);
        });
    }
    void Change(const std::string& name, const TChange& change) {
        WithRoot(name, [&](const Ref<IVirtualAtom>& root) { change(*TGeoCollection::Create(root, false)); });
    }
    Ref<IGeoCollection> Reader(const std::string& name) {
        Ref<IGeoCollection> geo;
        EXPECT_TRUE(OpenGeoCollection(File(name), geo));
        return geo;
    }
    std::string Export(const std::string& name) {
        Reader(name)->ExportText(File(name + ".txt"));
        return ReadText(name + ".txt");
    }

    test::TStoreTestEnv env;
};

TEST_F(GeoCollectionTest, LayoutKeysAndSharedTextsAfterReopen) {
    WriteText("countries.txt", "de\tDeutschland\tGermany\r\n");
    Make("geo.orv", [&](IGeoCollection& geo) {
        Add(geo, Entry("10.1.0.0", "255.255.0.0", "DE", "Bavaria", "Munich", "office"));
        Add(geo, Entry("10.2.0.0", "255.255.0.0", "DE", "Bavaria"));
        geo.LoadCountries(File("countries.txt"));
    });

    auto storage = StorageFactory().OpenStorage(0, 0, File("geo.orv"), "", "mode=readonly");
    auto root = storage->OpenRootAtom();
    EXPECT_EQ(root->GetAsString(), "GeoCollection. Last modified at 08.12.2026 13:45:30");
    EXPECT_FALSE(root->HasLink(0));
    for (int32_t link = 1; link <= 5; ++link) EXPECT_TRUE(IndexFactory()->IsBTreeIndex(root->OpenLink(link)));
    auto index = [&](int32_t link) { return IndexFactory()->OpenIndex(root->OpenLink(link), "", ""); };

    using Keys = std::vector<std::string>;
    auto networks = index(1);
    EXPECT_EQ(IndexKeys(*networks), (Keys{std::string("\0\0\xFF\xFF\0\0\x01\x0A", 8),
                                          std::string("\0\0\xFF\xFF\0\0\x02\x0A", 8)}));
    Ref<IVirtualAtom> first, second;
    ASSERT_TRUE(networks->Find(GeoNetworkKey(Ip("10.1.0.0"), Ip("255.255.0.0")), first));
    ASSERT_TRUE(networks->Find(GeoNetworkKey(Ip("10.2.0.0"), Ip("255.255.0.0")), second));
    EXPECT_EQ(first->GetAsString(), "DE\toffice");
    EXPECT_EQ(second->GetAsString(), "DE\t");
    EXPECT_TRUE(first->OpenLink(2)->IsSameAtom(second->OpenLink(2)));
    EXPECT_EQ(first->OpenLink(3)->GetAsString(), "Munich");
    EXPECT_FALSE(second->HasLink(3));
    EXPECT_EQ(IndexKeys(*index(2)), (Keys{"Bavaria", "Munich"}));
    EXPECT_TRUE(IndexKeys(*index(3)).empty());
    Ref<IVirtualAtom> names;
    ASSERT_TRUE(index(4)->Find("DE", names));
    EXPECT_EQ(names->GetAsString(), "Deutschland=Germany");
    auto masks = index(5);
    EXPECT_EQ(IndexKeys(*masks), (Keys{std::string("\0\0\xFF\xFF", 4)}));
    Ref<IVirtualAtom> none;
    EXPECT_TRUE(masks->Find(std::string("\0\0\xFF\xFF", 4), none));
    EXPECT_FALSE(none);
}

TEST_F(GeoCollectionTest, NestedNetworksAllMatchAndTheRegionIsTheNarrowest) {
    WriteText("countries.txt", "DE\tDeutschland\tGermany\nFR\tFrance\n");
    Make("geo.orv", [&](IGeoCollection& geo) {
        Add(geo, Entry("10.0.0.0", "255.0.0.0", "DE", "wide"));
        Add(geo, Entry("10.1.0.0", "255.255.0.0", "DE", "middle"));
        Add(geo, Entry("10.1.2.0", "255.255.255.0", "DE", "narrow", "p", "m"));
        // A mask with a hole sorts last among the masks, so FindAddress
        // lists it first, though it is less specific than the /24.
        Add(geo, Entry("10.0.0.3", "255.0.0.255", "DE", "holed"));
        Add(geo, Entry("20.0.0.0", "255.0.0.0", "DE", ""));
        Add(geo, Entry("30.0.0.0", "255.0.0.0", "FR", ""));
        Add(geo, Entry("40.0.0.0", "255.0.0.0", "XX", ""));
        Add(geo, Entry("50.1.2.3", "255.255.0.0", "DE", "unaligned"));
        geo.LoadCountries(File("countries.txt"));
    });
    auto geo = Reader("geo.orv");
    TNetDescriptions found;
    ASSERT_TRUE(geo->FindAddress(Ip("10.1.2.3"), found));
    std::vector<std::string> areas;
    for (const auto& d : found) areas.push_back(d.Area);
    EXPECT_EQ(areas, (std::vector<std::string>{"holed", "narrow", "middle", "wide"}));
    EXPECT_EQ(found[1], Entry("10.1.2.0", "255.255.255.0", "DE", "narrow", "p", "m"));
    EXPECT_EQ(GeoRegionOf(Ip("10.1.2.3"), geo), "narrow");
    EXPECT_EQ(GeoRegionOf(Ip("10.200.0.3"), geo), "holed");
    EXPECT_EQ(GeoRegionOf(Ip("10.200.0.0"), geo), "wide");
    // Equal bit counts: the greater mask, the same whatever the order.
    EXPECT_EQ(GeoRegionOf(Ip("10.1.3.3"), geo), "middle");
    // Without an area the country's first name, else its only name.
    EXPECT_EQ(GeoRegionOf(Ip("20.9.9.9"), geo), "Deutschland");
    EXPECT_EQ(GeoRegionOf(Ip("30.9.9.9"), geo), "France");
    EXPECT_EQ(GeoRegionOf(Ip("40.9.9.9"), geo), "?");
    EXPECT_EQ(GeoRegionOf(Ip("50.1.2.3"), geo), "?");  // stored unaligned, never found
    EXPECT_FALSE(geo->FindAddress(Ip("50.1.0.0"), found));
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(GeoRegionOf(Ip("10.1.2.3"), nullptr), "?");
}

TEST_F(GeoCollectionTest, CountryTableLookupAndReload) {
    WriteText("c1.txt", "de\tDeutschland\tGermany\r\nno tab here\r\n\t\tx\r\nfr\tFrance\r\nFR\tLa France\r\n");
    WriteText("c2.txt", "it\tItalia\n");
    Make("geo.orv", [&](IGeoCollection& geo) { geo.LoadCountries(File("c1.txt")); });
    TNetCountry c;
    auto geo = Reader("geo.orv");
    ASSERT_TRUE(geo->FindCountry("  de ", c));
    EXPECT_EQ(c, (TNetCountry{"Deutschland", "Germany"}));
    ASSERT_TRUE(geo->FindCountry("Fr", c));
    EXPECT_EQ(c, (TNetCountry{"", "La France"}));  // the later line wins
    EXPECT_FALSE(geo->FindCountry("", c));
    EXPECT_FALSE(geo->FindCountry(std::string(70000, 'A'), c));
    geo.reset();

    // A missing file keeps the table; another file replaces it whole.
    Change("geo.orv", [&](IGeoCollection& g) { g.LoadCountries(File("missing.txt")); });
    EXPECT_TRUE(Reader("geo.orv")->FindCountry("de", c));
    Change("geo.orv", [&](IGeoCollection& g) { g.LoadCountries(File("c2.txt")); });
    geo = Reader("geo.orv");
    EXPECT_FALSE(geo->FindCountry("de", c));
    EXPECT_TRUE(geo->FindCountry("IT", c));
}

TEST_F(GeoCollectionTest, ExportImportExportIsByteIdentical) {
    Make("a.orv", [&](IGeoCollection& geo) {
        Add(geo, Entry("10.1.0.0", "255.255.0.0", "DE", "Bayern *AREA:x", "M\xFCnchen", "memo with  blanks"));
        Add(geo, Entry("10.2.0.0", "255.255.0.0", "RU", "\xCC\xEE\xF1\xEA\xE2\xE0", "", "*COUNTRY:not me"));
        Add(geo, Entry("0.0.0.0", "0.0.0.0", "", "", "", ""));
        Add(geo, Entry("1.2.3.4", "255.255.255.255", "X", "", "pt", ""));
        Add(geo, Entry("10.0.0.3", "255.0.0.255", "Y", "holed", "", "m"));
    });
    const std::string first = Export("a.orv");
    // Index order: the mask's bytes from the lowest up, then the network's.
    EXPECT_EQ(first,
              "0.0.0.0 net 0.0.0.0\t*COUNTRY:\t*AREA:\t*POINT:\t*MEMO:\r\n"
              "10.1.0.0 net 255.255.0.0\t*COUNTRY:DE\t*AREA:Bayern *AREA:x\t*POINT:M\xFCnchen"
              "\t*MEMO:memo with  blanks\r\n"
              "10.2.0.0 net 255.255.0.0\t*COUNTRY:RU\t*AREA:\xCC\xEE\xF1\xEA\xE2\xE0\t*POINT:"
              "\t*MEMO:*COUNTRY:not me\r\n"
              "10.0.0.3 net 255.0.0.255\t*COUNTRY:Y\t*AREA:holed\t*POINT:\t*MEMO:m\r\n"
              "1.2.3.4 net 255.255.255.255\t*COUNTRY:X\t*AREA:\t*POINT:pt\t*MEMO:\r\n");

    TGeoImportCounts counts;
    Make("b.orv", [&](IGeoCollection& geo) { counts = geo.ImportText(File("a.orv.txt")); });
    EXPECT_EQ(counts, (TGeoImportCounts{5, 0}));
    EXPECT_EQ(Export("b.orv"), first);
}

TEST_F(GeoCollectionTest, ImportSkipsAndCountsBadLines) {
    WriteText("in.txt",
              "10.0.0.0 net 255.0.0.0\t*COUNTRY:a\r\n"
              "\r\n"
              "   \t \n"
              "garbage\n"
              "10.0.0.0 net 255.0.0\t*COUNTRY:b\n"
              "300.0.0.0 net 255.0.0.0\t*COUNTRY:c\r"
              " 11.0.0.0 net 255.0.0.0\t*MEMO:m\t*COUNTRY:d \n"
              "12.0.0.0\n"
              "10.0.0.0 net 255.0.0.0\t*COUNTRY:last");
    TGeoImportCounts counts;
    Make("geo.orv", [&](IGeoCollection& geo) {
        counts = geo.ImportText(File("in.txt"));
        EXPECT_EQ(geo.ImportText(File("missing.txt")), TGeoImportCounts{});
    });
    EXPECT_EQ(counts, (TGeoImportCounts{3, 4}));
    EXPECT_EQ(Export("geo.orv"),
              "10.0.0.0 net 255.0.0.0\t*COUNTRY:last\t*AREA:\t*POINT:\t*MEMO:\r\n"
              "11.0.0.0 net 255.0.0.0\t*COUNTRY:d\t*AREA:\t*POINT:\t*MEMO:m\r\n");
}

// Random adds and deletes over a few networks and masks, checked after a
// commit and reopen against a std::map: the export and every lookup.
TEST_F(GeoCollectionTest, RandomChangesMatchAMap) {
    const uint32_t masks[] = {0, Ip("255.0.0.0"), Ip("255.255.0.0"), Ip("255.255.255.0"),
                              Ip("255.255.255.255"), Ip("255.0.255.0")};
    const uint32_t addresses[] = {Ip("10.1.2.3"), Ip("10.1.9.9"), Ip("10.7.2.3"), Ip("11.1.2.3"), Ip("0.0.0.0")};
    std::mt19937 rng(18);
    auto pick = [&](auto& array) { return array[rng() % std::size(array)]; };
    // Keyed as the index orders them: the key bytes.
    std::map<std::string, TNetDescription> model;
    Make("geo.orv");
    for (int round = 0; round < 6; ++round) {
        Change("geo.orv", [&](IGeoCollection& geo) {
            for (int op = 0; op < 40; ++op) {
                const uint32_t mask = pick(masks), network = pick(addresses) & mask;
                const std::string key = GeoNetworkKey(network, mask);
                if (rng() % 3 == 0) {
                    geo.DeleteNetwork(network, mask);
                    model.erase(key);
                } else {
                    TNetDescription d{network,
                                      mask,
                                      Numbered("c", rng() % 3),
                                      rng() % 2 ? Numbered("area", rng() % 3) : "",
                                      rng() % 2 ? Numbered("area", rng() % 3) : "",
                                      std::to_string(op)};
                    geo.AddNetwork(network, mask, d);
                    model[key] = d;
                }
            }
        });
        std::string want;
        for (const auto& [key, d] : model) want += FormatNetworkLine(d) + "\r\n";
        ASSERT_EQ(Export("geo.orv"), want) << "round " << round;

        auto geo = Reader("geo.orv");
        for (uint32_t address : addresses) {
            for (uint32_t probe : {address, address + 1}) {
                // Every stored mask, most significant key byte last, so the
                // reverse walk of FindAddress is the reverse key order.
                std::map<std::string, TNetDescription> matches;
                for (const auto& [key, d] : model)
                    if ((probe & d.Mask) == d.Network) matches[LittleEndianKey32(d.Mask)] = d;
                TNetDescriptions wantFound;
                for (auto it = matches.rbegin(); it != matches.rend(); ++it) wantFound.push_back(it->second);
                TNetDescriptions found;
                EXPECT_EQ(geo->FindAddress(probe, found), !wantFound.empty());
                EXPECT_EQ(found, wantFound) << IPv4ToText(probe);
            }
        }
    }
}

TEST_F(GeoCollectionTest, RootsThatAreNoGeoStoreAreRefused) {
    EXPECT_EQ(GeoCodeOf([] { TGeoCollection::Create(nullptr, true); }), 1);
    EXPECT_EQ(GeoCodeOf([] { TGeoCollection::InitNew(nullptr); }), 1);
    EXPECT_STREQ(TGeoCollectionError(1).what(), "NIL Root Atom of Geo collection. Can't proceed");
    EXPECT_STREQ(TGeoCollectionError(9).what(), "Unknown Geo collection error");

    for (const char* text : {"Tallyvex counter", "GeoCollection", "geocollection. x", ""}) {
        WithRoot("counter.orv", [&](const Ref<IVirtualAtom>& root) { root->SetAsString(text); });
        WithRoot("counter.orv", [&](const Ref<IVirtualAtom>& root) {
            try {
                TGeoCollection::Create(root, true);
                ADD_FAILURE() << text;
            } catch (const TGeoCollectionError& e) {
                EXPECT_EQ(e.Code(), 4);
                EXPECT_STREQ(e.what(), "Invalid Geo collection");
            }
        });
        Ref<IGeoCollection> geo;
        EXPECT_FALSE(OpenGeoCollection(File("counter.orv"), geo));
        EXPECT_FALSE(geo);
    }

    // Any of links 1, 2, 4 and 5 missing or no index; link 3 may be missing.
    for (int32_t link = 1; link <= 5; ++link) {
        for (bool plainAtom : {false, true}) {
            const std::string name = Numbered("l", uint32_t(link)) + (plainAtom ? "p.orv" : "e.orv");
            Make(name);
            WithRoot(name, [&](const Ref<IVirtualAtom>& root) {
                root->SetLink(link, plainAtom ? root->GetTransaction()->CreateAtom() : nullptr);
            });
            Ref<IGeoCollection> geo;
            EXPECT_EQ(OpenGeoCollection(File(name), geo), link == 3) << name;
            geo.reset();
            if (link == 3) {
                Change(name, [](IGeoCollection& g) {
                    Add(g, Entry("1.0.0.0", "255.0.0.0", "x", "y"));
                    g.Clear();
                });
                continue;
            }
            WithRoot(name, [&](const Ref<IVirtualAtom>& root) {
                EXPECT_EQ(GeoCodeOf([&] { TGeoCollection::Create(root, false); }), 4) << name;
            });
        }
    }

    // InitNew cannot lay out a store in a read-only file.
    Make("geo.orv");
    auto storage = StorageFactory().OpenStorage(0, 0, File("geo.orv"), "", "mode=readonly");
    EXPECT_EQ(GeoCodeOf([&] { TGeoCollection::InitNew(storage->OpenRootAtom()); }), 2);
}

TEST_F(GeoCollectionTest, OpenNeverRaisesOnMissingLockedOrDamagedFiles) {
    Ref<IGeoCollection> geo;
    EXPECT_FALSE(OpenGeoCollection(File("missing.orv"), geo));
    EXPECT_FALSE(std::filesystem::exists(File("missing.orv")));

    Make("geo.orv", [](IGeoCollection& g) {
        for (int i = 0; i < 60; ++i)
            Add(g, TNetDescription{uint32_t(i) << 24, Ip("255.0.0.0"), "DE", Numbered("area", uint32_t(i % 7)), "p",
                                   "m"});
        Add(g, Entry("10.1.0.0", "255.255.0.0", "DE", "inner"));
    });
    {
        // A writer holds the file.
        auto writer = StorageFactory().OpenStorage(0, 0, File("geo.orv"), "", "mode=open; class=" + kClass);
        EXPECT_FALSE(OpenGeoCollection(File("geo.orv"), geo));
    }
    ASSERT_TRUE(OpenGeoCollection(File("geo.orv"), geo));
    EXPECT_EQ(GeoRegionOf(Ip("10.1.2.3"), geo), "inner");
    geo.reset();

    // Every 23rd byte damaged in turn, and the file cut short: the open
    // fails or the lookups answer, but nothing raises or crashes.
    const std::vector<uint8_t> good = ReadFileBytes(File("geo.orv"));
    for (size_t at = 0; at < good.size(); at += 23) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x5A;
        WriteFileBytes(File("geo.orv"), bad);
        if (OpenGeoCollection(File("geo.orv"), geo)) {
            for (uint32_t a = 0; a < 64; ++a) EXPECT_FALSE(GeoRegionOf((a << 24) | 0x10203, geo).empty());
            geo.reset();
        }
    }
    for (size_t size : {size_t(0), size_t(100), good.size() / 2}) {
        WriteFileBytes(File("geo.orv"), std::vector<uint8_t>(good.begin(), good.begin() + long(size)));
        EXPECT_FALSE(OpenGeoCollection(File("geo.orv"), geo)) << size;
    }
}

TEST_F(GeoCollectionTest, ReadOnlyCollectionIgnoresEveryWriter) {
    WriteText("in.txt", "99.0.0.0 net 255.0.0.0\t*AREA:new\n");
    WriteText("c.txt", "NEW\tname\n");
    Make("geo.orv", [&](IGeoCollection& g) {
        Add(g, Entry("10.0.0.0", "255.0.0.0", "DE", "old"));
        g.LoadCountries(File("c.txt"));
    });
    const std::vector<uint8_t> before = ReadFileBytes(File("geo.orv"));
    const std::string exported = Export("geo.orv");
    auto writeAll = [&](IGeoCollection& geo) {
        Add(geo, Entry("11.0.0.0", "255.0.0.0", "FR", "x"));
        geo.DeleteNetwork(Ip("10.0.0.0"), Ip("255.0.0.0"));
        geo.LoadCountries(File("missing.txt"));
        geo.LoadCountries(File("in.txt"));
        EXPECT_EQ(geo.ImportText(File("in.txt")), TGeoImportCounts{});
        geo.Clear();
        EXPECT_EQ(GeoRegionOf(Ip("10.1.1.1"), &geo), "old");
        TNetCountry c;
        EXPECT_TRUE(geo.FindCountry("new", c));
    };
    writeAll(*Reader("geo.orv"));
    // Made read-only over a writable file: the transaction commits nothing.
    WithRoot("geo.orv", [&](const Ref<IVirtualAtom>& root) { writeAll(*TGeoCollection::Create(root, true)); });
    EXPECT_EQ(ReadFileBytes(File("geo.orv")), before);
    EXPECT_EQ(Export("geo.orv"), exported);
}

TEST_F(GeoCollectionTest, DeleteAndClearStampTheRoot) {
    auto rootText = [&] {
        std::string text;
        WithRoot("geo.orv", [&](const Ref<IVirtualAtom>& root) { text = root->GetAsString(); });
        return text;
    };
    Make("geo.orv", [](IGeoCollection& g) {
        Add(g, Entry("10.0.0.0", "255.0.0.0", "DE", "a"));
        Add(g, Entry("10.1.0.0", "255.255.0.0", "DE", "b"));
    });
    env.clock.now = EncodeDateTime(2027, 1, 2, 3, 4, 5);
    Change("geo.orv", [](IGeoCollection& g) { g.DeleteNetwork(Ip("10.0.0.0"), Ip("255.255.0.0")); });
    EXPECT_EQ(rootText(), "GeoCollection. Last modified at 08.12.2026 13:45:30");  // nothing removed
    Change("geo.orv", [](IGeoCollection& g) { g.DeleteNetwork(Ip("10.0.0.0"), Ip("255.0.0.0")); });
    EXPECT_EQ(rootText(), "GeoCollection. Last modified at 02.01.2027 3:04:05");
    EXPECT_EQ(GeoRegionOf(Ip("10.1.2.3"), Reader("geo.orv")), "b");
    EXPECT_EQ(GeoRegionOf(Ip("10.2.2.3"), Reader("geo.orv")), "?");

    env.clock.now = EncodeDateTime(2027, 1, 3);
    Change("geo.orv", [](IGeoCollection& g) { g.Clear(); });
    EXPECT_EQ(rootText(), "GeoCollection. Last modified at 03.01.2027 0:00:00");
    EXPECT_EQ(Export("geo.orv"), "");
    WithRoot("geo.orv", [&](const Ref<IVirtualAtom>& root) {
        for (int32_t link = 1; link <= 5; ++link)
            EXPECT_TRUE(IndexKeys(*IndexFactory()->OpenIndex(root->OpenLink(link), "", "")).empty()) << link;
    });

    // An import stamps when it added something, a country load always.
    WriteText("bad.txt", "garbage\n");
    WriteText("good.txt", "1.0.0.0 net 255.0.0.0\n");
    env.clock.now = EncodeDateTime(2027, 1, 4);
    Change("geo.orv", [&](IGeoCollection& g) { g.ImportText(File("bad.txt")); });
    EXPECT_EQ(rootText(), "GeoCollection. Last modified at 03.01.2027 0:00:00");
    Change("geo.orv", [&](IGeoCollection& g) { g.ImportText(File("good.txt")); });
    EXPECT_EQ(rootText(), "GeoCollection. Last modified at 04.01.2027 0:00:00");
    env.clock.now = EncodeDateTime(2027, 1, 5);
    Change("geo.orv", [&](IGeoCollection& g) { g.LoadCountries(File("bad.txt")); });
    EXPECT_EQ(rootText(), "GeoCollection. Last modified at 05.01.2027 0:00:00");
}

TEST_F(GeoCollectionTest, TooLongTextsAreRefusedBeforeAnyChange) {
    const std::string huge(size_t(kMaxKeyLength) + 1, 'a');
    WriteText("in.txt", "1.0.0.0 net 255.0.0.0\t*AREA:" + huge + "\n2.0.0.0 net 255.0.0.0\t*POINT:p\n");
    TGeoImportCounts counts;
    Make("geo.orv", [&](IGeoCollection& g) {
        Add(g, Entry("3.0.0.0", "255.0.0.0", "DE", "kept"));
        EXPECT_THROW(Add(g, Entry("3.0.0.0", "255.0.0.0", "DE", "", huge)), std::invalid_argument);
        counts = g.ImportText(File("in.txt"));
    });
    EXPECT_EQ(counts, (TGeoImportCounts{1, 1}));
    EXPECT_EQ(Export("geo.orv"),
              "2.0.0.0 net 255.0.0.0\t*COUNTRY:\t*AREA:\t*POINT:p\t*MEMO:\r\n"
              "3.0.0.0 net 255.0.0.0\t*COUNTRY:DE\t*AREA:kept\t*POINT:\t*MEMO:\r\n");
    EXPECT_THROW(Reader("geo.orv")->ExportText(File("no-such-dir/out.txt")), std::exception);
}

}  // namespace
}  // namespace tlvx
