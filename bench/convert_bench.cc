// The whole conversion against a general-purpose engine doing the same job.
//
//   convert_bench [RECORDS ...]        default: 10000 100000
//
// For each size a version-2 sample catalogue is generated (not timed), and
// the same rows are loaded into a SQLite database (not timed). Then, each in
// a child process of its own so that peak memory is its own:
//  - crzconv: the conversion procedure, records and all 20 keys;
//  - SQLite: the rows read from the version-2 database and written
//    converted into a new database in one transaction with
//    synchronous=FULL, and the same 20 indexes created (COLLATE NOCASE
//    where the key ignores case).
// Printed: both times, their ratio, peak resident memory and output sizes.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/assign_record.h"
#include "app/conversion.h"
#include "app/declarations.h"
#include "platform/scripted_ui.h"
#include "tools/make_sample/sample_catalogue.h"

namespace vantrose {
namespace {

constexpr uint64_t kSeed = 1;

struct Column {
  std::string name;
  uint8_t type;
  uint32_t offset;
  uint32_t size;
  bool money;
};

// The record's fields as columns (groups are their members).
std::vector<Column> Columns() {
  std::vector<Column> columns;
  for (size_t i = 1; i < REELBIN1.record->size(); ++i) {
    const DeclaredField& field = (*REELBIN1.record)[i];
    if (field.type == TYPE_GROUP) continue;
    const std::string name = field.label.substr(field.label.find(':') + 1);
    columns.push_back({name, field.type, field.offset, field.element_size,
                       field.offset == kBuyPriceOffset || field.offset == kValueOffset});
  }
  return columns;
}

std::string FieldName(int32_t number) {
  const DeclaredField& field = (*REELBIN1.record)[static_cast<size_t>(number)];
  return field.label.substr(field.label.find(':') + 1);
}

int32_t LongAt(const uint8_t* record, uint32_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | record[offset + i];
  return static_cast<int32_t>(v);
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

void Exec(sqlite3* db, const std::string& sql) { Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str()); }

std::string CreateTable(const std::string& name, const std::vector<Column>& columns, bool v3) {
  std::string sql = "CREATE TABLE " + name + " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    sql += (i ? ", " : "") + c.name + (c.type == TYPE_STRING ? " TEXT" : (c.money && v3) ? " NUMERIC" : " INTEGER");
  }
  return sql + ")";
}

std::string InsertSql(const std::string& name, size_t count) {
  std::string sql = "INSERT INTO " + name + " VALUES (";
  for (size_t i = 0; i < count; ++i) sql += i ? ",?" : "?";
  return sql + ")";
}

// The version-2 rows in a SQLite database, as the benchmark's starting point.
void LoadSqliteSource(const std::string& path, uint32_t records) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  const std::vector<Column> columns = Columns();
  Exec(db, CreateTable("v2", columns, false));
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, InsertSql("v2", columns.size()).c_str(), -1, &insert, nullptr), db, "prepare");
  std::vector<uint8_t> record(kCatalogueRecordLength);
  for (uint32_t i = 0; i < records; ++i) {
    FillSampleRecord(kSeed, i, record.data());
    for (size_t c = 0; c < columns.size(); ++c) {
      const Column& column = columns[c];
      if (column.type == TYPE_STRING) {
        sqlite3_bind_text(insert, int(c + 1), reinterpret_cast<const char*>(record.data() + column.offset),
                          int(column.size), SQLITE_STATIC);
      } else if (column.type == TYPE_BYTE) {
        sqlite3_bind_int(insert, int(c + 1), record[column.offset]);
      } else {
        sqlite3_bind_int(insert, int(c + 1), LongAt(record.data(), column.offset));
      }
    }
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

// The SQLite job: read, convert, write in one transaction, index.
void SqliteJob(const std::string& from, const std::string& to) {
  std::filesystem::remove(to);
  sqlite3* source = nullptr;
  sqlite3* target = nullptr;
  Check(sqlite3_open(from.c_str(), &source), source, "open source");
  Check(sqlite3_open(to.c_str(), &target), target, "open target");
  Exec(target, "PRAGMA synchronous=FULL");
  const std::vector<Column> columns = Columns();
  Exec(target, "BEGIN");
  Exec(target, CreateTable("v3", columns, true));
  sqlite3_stmt* read = nullptr;
  sqlite3_stmt* write = nullptr;
  Check(sqlite3_prepare_v2(source, "SELECT * FROM v2 ORDER BY rowid", -1, &read, nullptr), source, "select");
  Check(sqlite3_prepare_v2(target, InsertSql("v3", columns.size()).c_str(), -1, &write, nullptr), target, "prepare");
  while (sqlite3_step(read) == SQLITE_ROW) {
    for (size_t c = 0; c < columns.size(); ++c) {
      const int i = int(c);
      if (columns[c].money) {
        // DECIMAL(7,2) keeps the last five digits of the whole amount.
        const int64_t v = sqlite3_column_int(read, i);
        sqlite3_bind_int64(write, i + 1, (v < 0 ? -1 : 1) * ((v < 0 ? -v : v) % 100000));
      } else {
        sqlite3_bind_value(write, i + 1, sqlite3_column_value(read, i));
      }
    }
    Check(sqlite3_step(write), target, "insert");
    sqlite3_reset(write);
  }
  sqlite3_finalize(read);
  sqlite3_finalize(write);
  for (size_t k = 0; k < REELBIN1.keys->size(); ++k) {
    const DeclaredKey& key = (*REELBIN1.keys)[k];
    if (key.components.empty()) continue;  // the two indexes are built on request
    std::string sql = "CREATE INDEX k" + std::to_string(k) + " ON v3 (";
    for (size_t c = 0; c < key.components.size(); ++c) {
      const int32_t number = key.components[c] < 0 ? -key.components[c] : key.components[c];
      sql += (c ? ", " : "") + FieldName(number);
      if ((key.attributes & DKEY_NOCASE) && (*REELBIN1.record)[size_t(number)].type == TYPE_STRING) {
        sql += " COLLATE NOCASE";
      }
      if (key.components[c] < 0) sql += " DESC";
    }
    Exec(target, sql + ")");
  }
  Exec(target, "COMMIT");
  sqlite3_close(source);
  sqlite3_close(target);
}

void CrzconvJob(const std::string& from, const std::string& to) {
  std::filesystem::remove(to);
  ScriptedUserInterface ui;
  ui.Confirm(from);
  ui.Confirm(to);
  if (RunConverter(ui) != 0) {
    for (const std::string& message : ui.messages()) std::fprintf(stderr, "crzconv: %s\n", message.c_str());
    std::exit(1);
  }
}

struct Run {
  double seconds;
  long peak_kib;
};

// Runs `job` in a child process: its wall time and its peak resident set.
Run InChild(const std::function<void()>& job) {
  std::fflush(nullptr);  // nothing buffered is printed twice
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    job();
    std::fflush(nullptr);
    ::_exit(0);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "job failed\n");
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

}  // namespace
}  // namespace vantrose

int main(int argc, char** argv) {
  using namespace vantrose;
  std::vector<uint32_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
  if (sizes.empty()) sizes = {10000, 100000};
  const std::filesystem::path dir =
      std::filesystem::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") /
      ("convert_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ::setenv("HOME", dir.c_str(), 1);  // the converter's backup copy goes here
  std::printf("%8s  %10s %10s %7s  %10s %10s  %12s %12s\n", "records", "crzconv s", "sqlite s", "ratio",
              "crz MiB", "sql MiB", "crz bytes", "sql bytes");
  for (uint32_t records : sizes) {
    const std::string v2 = (dir / "v2.crz").string(), v3 = (dir / "v3.crz").string();
    const std::string v2db = (dir / "v2.db").string(), v3db = (dir / "v3.db").string();
    std::filesystem::remove(v2);
    if (WriteSampleCatalogue(v2, records, kSeed) != 0) {
      std::fprintf(stderr, "cannot write the sample\n");
      return 1;
    }
    LoadSqliteSource(v2db, records);
    const Run crz = InChild([&] { CrzconvJob(v2, v3); });
    const Run sql = InChild([&] { SqliteJob(v2db, v3db); });
    std::printf("%8u  %10.2f %10.2f %7.2f  %10.1f %10.1f  %12ju %12ju\n", records, crz.seconds,
                sql.seconds, crz.seconds / sql.seconds, crz.peak_kib / 1024.0, sql.peak_kib / 1024.0,
                std::uintmax_t(std::filesystem::file_size(v3)), std::uintmax_t(std::filesystem::file_size(v3db)));
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
