// Durable commits per second of a small transaction (10 small atoms changed,
// 1 created) in the atom store, beside the same work in SQLite with a
// rollback journal and synchronous=FULL (one row per atom), in the same run.
// Prints both rates, their ratio and the syncs per commit of the store.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "store/orv_base_open.h"

using namespace tlvx;

namespace {

constexpr int kAtoms = 10;
constexpr double kSeconds = 2.0;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double StoreRate(const std::string& path, double& syncsPerCommit) {
    std::filesystem::remove(path);
    const TGUID cls{0xB0A710, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
    auto b = OpenOrvBase(path, false, {cls}, omOpenOrCreate);
    std::vector<uint32_t> handles;
    uint32_t tr = b->StartTransaction(0);
    for (int i = 0; i < kAtoms; ++i) {
        Ref<TAtom> a = b->CreateAtom(tr, 15);
        a->Write(0, "0000000000000000", 16);
        a->AddExternalRefs(1);
        handles.push_back(a->GetHandle());
    }
    b->Commit(tr);
    const uint64_t syncs0 = JournalSyncCount(*b);
    int commits = 0;
    const double start = Now();
    double elapsed = 0;
    while ((elapsed = Now() - start) < kSeconds) {
        tr = b->StartTransaction(0);
        char text[32];
        std::snprintf(text, sizeof text, "%016d", commits);
        for (uint32_t h : handles) {
            Ref<TAtom> a = b->OpenAtom(tr, h, 15);
            a->Write(0, text, 16);
        }
        Ref<TAtom> n = b->CreateAtom(tr, 15);
        n->Write(0, text, 16);
        n->AddExternalRefs(1);
        n->Close();
        b->Commit(tr);
        ++commits;
    }
    syncsPerCommit = double(JournalSyncCount(*b) - syncs0) / commits;
    return commits / elapsed;
}

void Exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", err ? err : "?");
        sqlite3_free(err);
        std::exit(1);
    }
}

double SqliteRate(const std::string& path) {
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    Exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;");
    Exec(db, "CREATE TABLE atoms(id INTEGER PRIMARY KEY, data BLOB)");
    Exec(db, "BEGIN");
    for (int i = 1; i <= kAtoms; ++i) {
        std::string sql = "INSERT INTO atoms VALUES(" + std::to_string(i) + ", '0000000000000000')";
        Exec(db, sql.c_str());
    }
    Exec(db, "COMMIT");
    sqlite3_stmt* upd = nullptr;
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "UPDATE atoms SET data=? WHERE id=?", -1, &upd, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO atoms(data) VALUES(?)", -1, &ins, nullptr);
    int commits = 0;
    const double start = Now();
    double elapsed = 0;
    while ((elapsed = Now() - start) < kSeconds) {
        char text[32];
        std::snprintf(text, sizeof text, "%016d", commits);
        Exec(db, "BEGIN");
        for (int i = 1; i <= kAtoms; ++i) {
            sqlite3_bind_blob(upd, 1, text, 16, SQLITE_TRANSIENT);
            sqlite3_bind_int(upd, 2, i);
            sqlite3_step(upd);
            sqlite3_reset(upd);
        }
        sqlite3_bind_blob(ins, 1, text, 16, SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
        Exec(db, "COMMIT");
        ++commits;
    }
    sqlite3_finalize(upd);
    sqlite3_finalize(ins);
    sqlite3_close(db);
    return commits / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    double syncs = 0;
    const double ours = StoreRate(dir + "/bench-store.orv", syncs);
    const double theirs = SqliteRate(dir + "/bench-store.sqlite");
    std::printf("store commits/s:  %.1f\n", ours);
    std::printf("sqlite commits/s: %.1f\n", theirs);
    std::printf("ratio store/sqlite: %.2f\n", ours / theirs);
    std::printf("store syncs per commit: %.2f\n", syncs);
    std::filesystem::remove(dir + "/bench-store.orv");
    std::filesystem::remove(dir + "/bench-store.sqlite");
    return 0;
}
