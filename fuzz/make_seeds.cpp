// Writes the seed inputs of the fuzz targets from files the code itself
// makes: storage files, the default skin's pictures, a hit log.
//   make_seeds OUTDIR   (makes OUTDIR/storage, OUTDIR/bmp, OUTDIR/hit_log)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "counter/tlvx_log.h"
#include "platform/testing/memory_file_system.h"
#ifdef TLVX_FUZZ_COUNTER_ROAD
#include "fuzz/counter_road.h"
#endif
#if __has_include("model/skin.h")
#include "model/skin.h"
#define TLVX_FUZZ_SKIN 1
#endif
#include "raster/default_skin.h"
#include "store/btree_factory.h"
#include "store/indexer.h"
#include "store/orv_storage.h"

using namespace tlvx;

namespace {

namespace fs = std::filesystem;

const char kClass[] = "{5A12A904-7DD7-11D4-A788-000021D7A140}";

void Save(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

Ref<TOrvStorage> Create(const std::string& path) {
    TStorageOpenParams params;
    params.Mode = omCreate;
    params.Classes.push_back(*StrToGuid(kClass));
    return TOrvStorage::Open(path, params);
}

std::string Key(int i) { return "node." + std::to_string(i * 7919 % 1000); }

// A storage with an index in the root's link 0 holding keys values, some
// of them deleted again, and a chain of plain atoms in the root's link 1;
// with leafCycle, its leftmost leaf is linked as its own first child.
std::string IndexedStorage(TMemoryFileSystem& files, int keys, int deleted, uint32_t pageSize,
                           bool leafCycle = false) {
    const std::string path = "/seed/indexed.orv";
    files.Clear();
    {
        auto storage = Create(path);
        auto tr = storage->StartTransaction();
        {
            auto root = tr->OpenRootAtom();
            root->SetAsString("tlvx2 counter");
            auto index = IndexFactory()->OpenOrCreateIndex(root, 0, "",
                                                           "PageSize=" + std::to_string(pageSize));
            for (int i = 0; i < keys; ++i) index->Insert(Key(i))->SetAsString(std::to_string(i));
            for (int i = 0; i < deleted; ++i) index->Delete(Key(i * 3));
            auto chain = tr->CreateAtom();
            root->SetLink(1, chain);
            for (int i = 0; i < 5; ++i) {
                auto next = tr->CreateAtom();
                next->SetAsString(std::string(size_t(40 * i), char('a' + i)));
                chain->SetLink(0, next);
                chain = next;
            }
        }
        if (leafCycle) {
            // Damage found by fuzzing: the leftmost leaf made its own child.
            auto node = tr->OpenRootAtom()->OpenLink(0)->OpenLink(0);
            while (auto child = node->OpenLink(int32_t(pageSize))) node = child;
            node->SetLink(int32_t(pageSize), node);
        }
        tr->Commit();
    }
    return files.Contents(path);
}

void StorageSeeds(const fs::path& out, TMemoryFileSystem& files) {
    files.Clear();
    { Create("/seed/fresh.orv"); }
    Save(out / "fresh.orv", files.Contents("/seed/fresh.orv"));
    Save(out / "btree-small.orv", IndexedStorage(files, 30, 0, 4));
    Save(out / "btree-deletes.orv", IndexedStorage(files, 120, 25, 6));
    Save(out / "btree-default.orv", IndexedStorage(files, 60, 5, kDefaultPageSize));
    Save(out / "btree-leaf-cycle.orv", IndexedStorage(files, 60, 0, 4, true));
}

std::string Bmp(const TPaintRect& picture) {
    TMemoryStream stream;
    picture.SaveToStream(stream);
    return stream.Text();
}

void BmpSeeds(const fs::path& out) {
    for (int d = 0; d < 10; ++d)
        Save(out / ("digit" + std::to_string(d) + ".bmp"), Bmp(DrawDefaultDigit(d)));
    Save(out / "background.bmp", Bmp(DrawDefaultBackground()));
    // The same digit as 32-bit data, which the loader also takes.
    std::string b = Bmp(DrawDefaultDigit(7));
    TPaintRect digit = DrawDefaultDigit(7);
    std::string wide = b.substr(0, 54);
    wide[28] = 32;
    for (int y = digit.Height() - 1; y >= 0; --y)
        for (int x = 0; x < digit.Width(); ++x) {
            wide.append(reinterpret_cast<const char*>(digit.Row(uint16_t(y)) + x * 3), 3);
            wide.push_back('\0');
        }
    Save(out / "digit7-32bit.bmp", wide);
}

void HitLogSeeds(const fs::path& out, TMemoryFileSystem& files) {
    const std::string path = "/seed/stattostat.bin";
    files.Clear();
    uint8_t b[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const TGUID user = TGUID::FromBytes(b);
    const char* agents[] = {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
                            "Opera/7.0 (Linux)", "Mozilla/5.0 (X11; Linux) Gecko Firefox/1.0"};
    const char* nodes[] = {"news.a", "news.b", "shop", "index"};
    for (int i = 0; i < 12; ++i) {
        TTlvxLog log(path);
        double when = 46364 + (i < 8 ? 0.3 : 1.6) + i * 0.01;
        log.AddHit(i % 3 ? user : TGUID(), TGUID(), when, 0x0A000001 + i % 2, i == 5 ? 0x7F000001 : 0,
                   i == 4 ? "spare" : "", i % 2 ? "http://yandex.ru/yandsearch?text=tlvx" : "",
                   "http://site/news/" + std::to_string(i % 3) + ".html", nodes[i % 4],
                   agents[i % 3], 1024, 768, 0);
        if (i == 0) Save(out / "one-hit.bin", files.Contents(path));
    }
    Save(out / "two-days.bin", files.Contents(path));
}

#ifdef TLVX_FUZZ_SKIN
// The default skin as a skin image stream, with the number strip appended
// and placed inside the background.
void SkinSeeds(const fs::path& out) {
    std::vector<TMemoryStream> pictures(11);
    pictures[0].Write(Bmp(DrawDefaultBackground()).data(), Bmp(DrawDefaultBackground()).size());
    for (int d = 0; d < 10; ++d) {
        std::string b = Bmp(DrawDefaultDigit(d));
        pictures[size_t(d) + 1].Write(b.data(), b.size());
    }
    TSkinImageStreams streams{};
    for (size_t i = 0; i < 11; ++i) streams[i] = &pictures[i];
    for (int fixed = 0; fixed < 2; ++fixed) {
        TSkin skin;
        skin.SetImages(streams);
        TSkinLayout layout;
        layout.FixedPosition = uint8_t(fixed);
        skin.SetLayout(layout);
        TMemoryStream stream;
        skin.SaveToStream(&stream);
        Save(out / (fixed ? "default-fixed.skin" : "default.skin"), stream.Text());
    }
}
#endif

#ifdef TLVX_FUZZ_COUNTER_ROAD
// Requests as a browser sends them, with the cookies of the history.
void CounterRoadSeeds(const fs::path& out) {
    TCounterRoad road;
    const std::string cookies = road.HistoryCookies();
    auto request = [](std::vector<std::string> parts) {
        std::string r;
        for (size_t i = 0; i < parts.size(); ++i) r += (i ? std::string(1, '\0') : "") + parts[i];
        return r;
    };
    const std::string ua = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
    Save(out / "returning-visitor", request({"id=main&node=news.a&skin=0", cookies, "GET", "", "",
                                             "10.0.0.7", "http://www.example.com/news/", ua,
                                             "ru,en;q=0.5", "", ""}));
    Save(out / "new-visitor", request({"id=main&node=shop.cart&call=ssi", "", "GET", "", "",
                                       "192.168.1.5", "http://yandex.ru/yandsearch?text=x", ua,
                                       "en-us", "10.1.2.3", ""}));
    Save(out / "nocookies-point", request({"id=main&nocookies=1&style=point&color=FF00FF", "", "GET",
                                           "", "", "10.0.0.9", "", "Opera/7.0", "", "", ""}));
    Save(out / "post", request({"id=main", cookies, "POST", "application/x-www-form-urlencoded", "17",
                                "10.0.0.7", "", ua, "", "", "node=news.b&x=%41"}));
    Save(out / "no-database", request({"node=index", "", "GET", "", "", "10.0.0.1", "", "", "", "", ""}));
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTDIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    TMemoryFileSystemScope files;
    StorageSeeds(out / "storage", files.Files());
    BmpSeeds(out / "bmp");
    HitLogSeeds(out / "hit_log", files.Files());
#ifdef TLVX_FUZZ_SKIN
    SkinSeeds(out / "skin");
#endif
#ifdef TLVX_FUZZ_COUNTER_ROAD
    CounterRoadSeeds(out / "counter_road");
#endif
    return 0;
}
