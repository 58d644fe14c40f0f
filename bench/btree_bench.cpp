// Inserts and point lookups of a B-tree index (PageSize 40) in a storage
// file at 10^3, 10^5 and 10^6 keys, beside SQLite (one table with an index
// on the key, rollback journal, synchronous=FULL) doing the same work in the
// same run.
//
// Each store key gets a new empty value atom (Insert) and a lookup opens it
// (Find); each SQLite row holds its key and an empty blob, and a lookup goes
// through the index to the row to read the blob.
//
// Keys are 8 bytes in a scrambled order. All inserts run in one transaction
// and end with one commit; the insert cost per key includes that commit.
// Lookups run afterwards, each key looked up in another scrambled order,
// repeated for small sizes until enough lookups were timed: in the store
// twice, first in a fresh transaction of the writable storage (the writer's
// cache bounds), then in a transaction of the file opened again read-only
// with the reader's cache budget, as the report program opens it; in SQLite
// in one transaction of the same connection. Prints ns per operation, the
// ratios store/SQLite, the growth from 10^3 to 10^6, the file bytes per key
// and the store's atom cache hit rate during the lookups.
//
// Usage: bench_btree [DIRECTORY [MAX_KEYS [CACHE_BYTES]]]; CACHE_BYTES sets
// the writable storage's cache budget (0, the default, keeps the store's own).
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "store/atom_cache.h"
#include "store/btree_factory.h"
#include "store/indexer.h"
#include "store/storage_factory.h"
#include "store/virtual_storage.h"

using namespace tlvx;

namespace {

constexpr size_t kMinLookups = 300000;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Key i: 8 bytes, distinct for distinct i, in no useful order.
std::string KeyOf(uint64_t i) {
    const uint64_t x = Mix(i);
    std::string key(8, '\0');
    for (int b = 0; b < 8; ++b) key[size_t(b)] = char(uint8_t(x >> (56 - 8 * b)));
    return key;
}

struct TResult {
    double insertNs = 0;  // per key, the commit included
    double commitMs = 0;
    double lookupNs = 0;
    double readOnlyLookupNs = 0;  // store: after a read-only reopen
    double bytesPerKey = 0;
    double lookupHitPercent = 0;  // atom cache hits during the lookups (store)
    double readOnlyHitPercent = 0;
};

std::vector<size_t> LookupOrder(size_t n) {
    std::vector<size_t> order(std::max(n, kMinLookups));
    for (size_t i = 0; i < order.size(); ++i) order[i] = i % n;
    uint64_t s = 12345;
    for (size_t i = order.size(); i > 1; --i) {
        s = Mix(s);
        std::swap(order[i - 1], order[s % i]);
    }
    return order;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bench_btree: %s\n", what);
    std::exit(1);
}

// Looks every key of order up in index; returns ns per lookup and the
// cache hit rate in per cent.
std::pair<double, double> TimeLookups(IVirtualStorage& storage, IIndexer& index,
                                      const std::vector<std::string>& keys, const std::vector<size_t>& order) {
    Ref<IVirtualAtom> value;
    size_t found = 0;
    int64_t lookups0 = 0, hits0 = 0, lookups1 = 0, hits1 = 0;
    auto* info = dynamic_cast<IStorageInfo*>(&storage);
    info->GetCacheStats(lookups0, hits0);
    const double t0 = Now();
    for (size_t i : order) found += index.Find(keys[i], value) && value;
    const double t1 = Now();
    info->GetCacheStats(lookups1, hits1);
    if (found != order.size()) Fail("store lookup missed a key");
    double hitPercent = 0;
    if (lookups1 > lookups0) hitPercent = 100.0 * double(hits1 - hits0) / double(lookups1 - lookups0);
    return {(t1 - t0) * 1e9 / double(order.size()), hitPercent};
}

TResult StoreRun(const std::string& path, const std::vector<std::string>& keys,
                 const std::vector<size_t>& order, long cacheBytes) {
    std::filesystem::remove(path);
    TResult r;
    const std::string cls = "class={6A1B2C3D-0000-4000-8000-00000000B7EE}";
    std::string params = "mode=create; " + cls;
    if (cacheBytes > 0) params += "; CacheBytes=" + std::to_string(cacheBytes);
    {
        Ref<IVirtualStorage> storage = StorageFactory().OpenStorage(0, 0, "file://" + path, "", params);
        Ref<IStorageTransaction> tr = storage->StartTransaction();
        const double t0 = Now();
        {
            Ref<IIndexer> index = IndexFactory()->OpenOrCreateIndex(tr->OpenRootAtom(), 0, "", "PageSize=40");
            for (const std::string& k : keys) index->Insert(k);
        }
        const double t1 = Now();
        tr->Commit();
        const double t2 = Now();
        r.insertNs = (t2 - t0) * 1e9 / double(keys.size());
        r.commitMs = (t2 - t1) * 1e3;

        tr = storage->StartTransaction();
        {
            Ref<IIndexer> index = IndexFactory()->OpenIndex(tr->OpenRootAtom()->OpenLink(0), "", "");
            std::tie(r.lookupNs, r.lookupHitPercent) = TimeLookups(*storage, *index, keys, order);
        }
        tr->Commit();
    }
    {
        Ref<IVirtualStorage> storage = StorageFactory().OpenStorage(
            0, 0, "file://" + path, "",
            "mode=readonly; " + cls + "; CacheBytes=" + std::to_string(kReaderCacheBudget));
        Ref<IStorageTransaction> tr = storage->StartTransaction();
        {
            Ref<IIndexer> index = IndexFactory()->OpenIndex(tr->OpenRootAtom()->OpenLink(0), "", "");
            std::tie(r.readOnlyLookupNs, r.readOnlyHitPercent) = TimeLookups(*storage, *index, keys, order);
        }
        tr->Commit();
    }
    r.bytesPerKey = double(std::filesystem::file_size(path)) / double(keys.size());
    std::filesystem::remove(path);
    return r;
}

void Exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", err ? err : "?");
        sqlite3_free(err);
        std::exit(1);
    }
}

TResult SqliteRun(const std::string& path, const std::vector<std::string>& keys,
                  const std::vector<size_t>& order) {
    std::filesystem::remove(path);
    TResult r;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("sqlite open failed");
    Exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;");
    Exec(db, "CREATE TABLE kv(id INTEGER PRIMARY KEY, k BLOB NOT NULL, v BLOB)");
    Exec(db, "CREATE UNIQUE INDEX kv_k ON kv(k)");
    sqlite3_stmt* ins = nullptr;
    sqlite3_stmt* sel = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO kv(k, v) VALUES(?, x'')", -1, &ins, nullptr);
    sqlite3_prepare_v2(db, "SELECT v FROM kv WHERE k=?", -1, &sel, nullptr);

    const double t0 = Now();
    Exec(db, "BEGIN");
    for (const std::string& k : keys) {
        sqlite3_bind_blob(ins, 1, k.data(), int(k.size()), SQLITE_STATIC);
        if (sqlite3_step(ins) != SQLITE_DONE) Fail("sqlite insert failed");
        sqlite3_reset(ins);
    }
    const double t1 = Now();
    Exec(db, "COMMIT");
    const double t2 = Now();
    r.insertNs = (t2 - t0) * 1e9 / double(keys.size());
    r.commitMs = (t2 - t1) * 1e3;

    Exec(db, "BEGIN");
    size_t found = 0;
    const double t3 = Now();
    for (size_t i : order) {
        sqlite3_bind_blob(sel, 1, keys[i].data(), int(keys[i].size()), SQLITE_STATIC);
        if (sqlite3_step(sel) == SQLITE_ROW) found += sqlite3_column_type(sel, 0) == SQLITE_BLOB;
        sqlite3_reset(sel);
    }
    const double t4 = Now();
    Exec(db, "COMMIT");
    if (found != order.size()) Fail("sqlite lookup missed a key");
    r.lookupNs = (t4 - t3) * 1e9 / double(order.size());

    sqlite3_finalize(ins);
    sqlite3_finalize(sel);
    sqlite3_close(db);
    r.bytesPerKey = double(std::filesystem::file_size(path)) / double(keys.size());
    std::filesystem::remove(path);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const size_t maxKeys = argc > 2 ? size_t(std::strtoull(argv[2], nullptr, 10)) : 1000000;
    const long cacheBytes = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0;
    std::vector<size_t> sizes;
    for (size_t n : {size_t(1000), size_t(100000), size_t(1000000)})
        if (n <= maxKeys) sizes.push_back(n);

    std::printf("B-tree index (PageSize 40) vs SQLite (indexed table), 8-byte keys, one transaction\n");
    std::printf("insert = ns per key including the one commit; lookup = ns per Find / SELECT\n");
    std::printf("look store: a fresh writable transaction (writer's cache%s); look ro: the file reopened\n",
                cacheBytes > 0 ? ", budget set on the command line" : "");
    std::printf("read-only with the reader's cache budget of %llu MiB\n",
                (unsigned long long)(kReaderCacheBudget >> 20));
    if (cacheBytes > 0) std::printf("writable store atom cache budget: %ld bytes\n", cacheBytes);
    std::printf("\n");
    std::printf("%9s | %10s %10s %6s | %10s %10s %10s %6s %6s | %9s %9s | %8s %8s | %6s %6s\n", "keys",
                "ins store", "ins sqlite", "ratio", "look store", "look ro", "look sqlt", "ratio", "ro rat",
                "commit ms", "sqlite ms", "B/key st", "B/key sq", "hit %", "ro hit");
    std::vector<TResult> ours, theirs;
    for (size_t n : sizes) {
        std::vector<std::string> keys(n);
        for (size_t i = 0; i < n; ++i) keys[i] = KeyOf(i);
        const std::vector<size_t> order = LookupOrder(n);
        ours.push_back(StoreRun(dir + "/bench-btree.orv", keys, order, cacheBytes));
        theirs.push_back(SqliteRun(dir + "/bench-btree.sqlite", keys, order));
        const TResult& a = ours.back();
        const TResult& b = theirs.back();
        std::printf("%9zu | %10.0f %10.0f %6.2f | %10.0f %10.0f %10.0f %6.2f %6.2f | %9.1f %9.1f | %8.1f %8.1f | "
                    "%6.1f %6.1f\n",
                    n, a.insertNs, b.insertNs, a.insertNs / b.insertNs, a.lookupNs, a.readOnlyLookupNs, b.lookupNs,
                    a.lookupNs / b.lookupNs, a.readOnlyLookupNs / b.lookupNs, a.commitMs, b.commitMs, a.bytesPerKey,
                    b.bytesPerKey, a.lookupHitPercent, a.readOnlyHitPercent);
        std::fflush(stdout);
    }
    if (ours.size() > 1) {
        std::printf("\ngrowth %zu -> %zu keys (ns per op): store insert %.2fx, lookup %.2fx, read-only lookup "
                    "%.2fx; sqlite insert %.2fx, lookup %.2fx\n",
                    sizes.front(), sizes.back(), ours.back().insertNs / ours.front().insertNs,
                    ours.back().lookupNs / ours.front().lookupNs,
                    ours.back().readOnlyLookupNs / ours.front().readOnlyLookupNs,
                    theirs.back().insertNs / theirs.front().insertNs,
                    theirs.back().lookupNs / theirs.front().lookupNs);
    }
    StoreShutdown();
    return 0;
}
