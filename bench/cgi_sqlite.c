/* A hit as a SQLite program would record it, for comparison with tlvxcount:
 * open the database named by argv[1], one transaction of upserts (site
 * totals, node counters, the day's row, the visitor, the session path, the
 * browser and language counts) committed with synchronous=FULL, then the
 * headers of a GIF answer. The tables are created on the first run. */
#include <sqlite3.h>
#include <stdio.h>

static const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS totals(id INTEGER PRIMARY KEY, hits, visits, visitors);"
    "CREATE TABLE IF NOT EXISTS nodes(name TEXT PRIMARY KEY, hits, visits, visitors, lasthit);"
    "CREATE TABLE IF NOT EXISTS days(node TEXT, day INTEGER, hits, PRIMARY KEY(node, day));"
    "CREATE TABLE IF NOT EXISTS visitors(ip INTEGER PRIMARY KEY, hits, lasttime);"
    "CREATE TABLE IF NOT EXISTS paths(session TEXT PRIMARY KEY, path, lastnode);"
    "CREATE TABLE IF NOT EXISTS browsers(node TEXT, agent TEXT, hits, PRIMARY KEY(node, agent));"
    "CREATE TABLE IF NOT EXISTS langs(node TEXT, lang TEXT, hits, PRIMARY KEY(node, lang));";

static const char kHit[] =
    "BEGIN;"
    "INSERT INTO totals VALUES(1, 1, 1, 1) ON CONFLICT(id) DO UPDATE SET hits = hits + 1,"
    " visits = visits + 1, visitors = visitors + 1;"
    "INSERT INTO nodes VALUES('main', 1, 1, 1, julianday('now')) ON CONFLICT(name) DO UPDATE"
    " SET hits = hits + 1, visits = visits + 1, lasthit = julianday('now');"
    "INSERT INTO days VALUES('main', CAST(julianday('now') AS INTEGER), 1)"
    " ON CONFLICT(node, day) DO UPDATE SET hits = hits + 1;"
    "INSERT INTO visitors VALUES(2130706433, 1, julianday('now')) ON CONFLICT(ip) DO UPDATE"
    " SET hits = hits + 1, lasttime = julianday('now');"
    "INSERT INTO paths VALUES('s', 'main', 'main') ON CONFLICT(session) DO UPDATE"
    " SET path = path || '->main';"
    "INSERT INTO browsers VALUES('main', 'Mozilla', 1) ON CONFLICT(node, agent) DO UPDATE"
    " SET hits = hits + 1;"
    "INSERT INTO langs VALUES('main', 'en', 1) ON CONFLICT(node, lang) DO UPDATE"
    " SET hits = hits + 1;"
    "COMMIT;";

int main(int argc, char** argv) {
    sqlite3* db = NULL;
    char* error = NULL;
    /* Under a web server there are no arguments: the database lies beside
       the program. */
    char path[4096];
    snprintf(path, sizeof path, "%s.db", argv[0]);
    if (sqlite3_open(argc > 1 ? argv[1] : path, &db) != SQLITE_OK) return 1;
    sqlite3_busy_timeout(db, 3000);
    if (sqlite3_exec(db, "PRAGMA synchronous=FULL;", NULL, NULL, &error) != SQLITE_OK ||
        sqlite3_exec(db, kSchema, NULL, NULL, &error) != SQLITE_OK ||
        sqlite3_exec(db, kHit, NULL, NULL, &error) != SQLITE_OK) {
        fprintf(stderr, "cgi_sqlite: %s\n", error ? error : "failed");
        sqlite3_free(error);
        sqlite3_close(db);
        return 1;
    }
    sqlite3_close(db);
    static const char reply[] = "Content-Type: image/gif\r\nContent-Length: 6\r\n\r\nGIF87a";
    fwrite(reply, 1, sizeof reply - 1, stdout);
    return 0;
}
