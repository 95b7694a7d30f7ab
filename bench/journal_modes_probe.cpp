// The journal of changes in each of SQLite's journal modes, in a folder given on the command
// line (a local folder, or the office's share as a desk mounts it): a first record carrying
// a base of the given size, then single changes, each its own transaction with full
// synchronisation, as the program records them. Each mode's file is then read back by a new
// connection, as the next start reads a journal a killed run left; a mode that fails there
// is reported as such. Prints the median time of one change and of the first record per mode,
// and each median against the first mode's from the same run.
//
// Usage: journal_modes_probe FOLDER [CHANGES] [BASE_MIB]

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Mode {
    const char* name;
    const char* pragmas;  // run before the first access
};

constexpr Mode kModes[] = {
    {"wal", "PRAGMA journal_mode=WAL;"},
    {"wal+exclusive", "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=WAL;"},
    {"delete", "PRAGMA journal_mode=DELETE;"},
    {"truncate", "PRAGMA journal_mode=TRUNCATE;"},
    {"persist", "PRAGMA journal_mode=PERSIST;"},
    {"truncate+exclusive", "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=TRUNCATE;"},
};

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

struct Result {
    bool works = false;
    std::string problem;
    double firstMs = 0;
    double changeMs = 0;
};

Result measure(const Mode& mode, const std::filesystem::path& folder, int changes,
               std::size_t baseBytes) {
    Result result;
    const std::filesystem::path file = folder / (std::string(".probe-") + mode.name);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::error_code ignored;
        std::filesystem::remove(file.string() + suffix, ignored);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        !exec(db, mode.pragmas) || !exec(db, "PRAGMA synchronous=FULL;") ||
        !exec(db,
              "CREATE TABLE journal(id INTEGER PRIMARY KEY, base BLOB);"
              "CREATE TABLE changes(seq INTEGER PRIMARY KEY, at INTEGER, kind INTEGER, "
              "row INTEGER, f TEXT);")) {
        result.problem = sqlite3_errmsg(db);
        sqlite3_close(db);
        return result;
    }
    const std::vector<unsigned char> base(baseBytes, 0x5a);
    const std::string fields(400, 'x');  // thirteen fields of a customer, roughly
    std::vector<double> times;
    for (int i = 0; i <= changes; ++i) {
        const auto start = std::chrono::steady_clock::now();
        bool ok = exec(db, "BEGIN IMMEDIATE");
        if (i == 0) {
            sqlite3_stmt* insert = nullptr;
            sqlite3_prepare_v2(db, "INSERT INTO journal(id, base) VALUES (1, ?)", -1, &insert,
                               nullptr);
            sqlite3_bind_blob64(insert, 1, base.data(), base.size(), SQLITE_STATIC);
            ok = ok && sqlite3_step(insert) == SQLITE_DONE;
            sqlite3_finalize(insert);
        }
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO changes(at, kind, row, f) VALUES (?, 1, ?, ?)", -1,
                           &insert, nullptr);
        sqlite3_bind_int64(insert, 1, i);
        sqlite3_bind_int(insert, 2, i + 2);
        sqlite3_bind_text(insert, 3, fields.data(), static_cast<int>(fields.size()), SQLITE_STATIC);
        ok = ok && sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_finalize(insert);
        ok = ok && exec(db, "COMMIT");
        if (!ok) {
            result.problem = sqlite3_errmsg(db);
            sqlite3_close(db);
            return result;
        }
        if (i == 0) {
            result.firstMs = millisecondsSince(start);
        } else {
            times.push_back(millisecondsSince(start));
        }
    }
    result.changeMs = median(times);
    // The connection stays open, as a killed program leaves it: a second connection reads.
    sqlite3* reader = nullptr;
    int count = -1;
    if (sqlite3_open_v2(file.c_str(), &reader, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        if (std::string(mode.pragmas).find("EXCLUSIVE") != std::string::npos) {
            // An exclusive writer keeps every other connection out while it lives: closing it
            // first is what a kill does, as the lock goes with the process.
            sqlite3_close(db);
            db = nullptr;
            exec(reader, "PRAGMA locking_mode=EXCLUSIVE;");
        }
        sqlite3_stmt* select = nullptr;
        if (sqlite3_prepare_v2(reader, "SELECT COUNT(*) FROM changes", -1, &select, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(select) == SQLITE_ROW) {
            count = sqlite3_column_int(select, 0);
        } else {
            result.problem = std::string("rilettura: ") + sqlite3_errmsg(reader);
        }
        sqlite3_finalize(select);
    }
    sqlite3_close(reader);
    sqlite3_close(db);
    result.works = count == changes + 1;
    if (!result.works && result.problem.empty()) {
        result.problem = "riletti " + std::to_string(count) + " cambiamenti";
    }
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::error_code ignored;
        std::filesystem::remove(file.string() + suffix, ignored);
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: journal_modes_probe CARTELLA [MODIFICHE] [BASE_MIB]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int changes = argc > 2 ? std::atoi(argv[2]) : 40;
    const std::size_t baseBytes =
        static_cast<std::size_t>(argc > 3 ? std::atof(argv[3]) : 8.0) * 1024 * 1024;
    double reference = 0;
    for (const Mode& mode : kModes) {
        const Result result = measure(mode, folder, changes, baseBytes);
        if (!result.works) {
            std::printf("%-20s non funziona: %s\n", mode.name, result.problem.c_str());
            continue;
        }
        if (reference == 0) reference = result.changeMs;
        std::printf("%-20s modifica %8.2f ms (%.2fx)   prima con la base %8.1f ms\n", mode.name,
                    result.changeMs, result.changeMs / reference, result.firstMs);
    }
    return 0;
}
