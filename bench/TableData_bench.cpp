// The inspection table's shape on the table object and on SQLite in memory, side by side:
// insert N records into a table with ten single-column case-insensitive indexes (text fields of
// 10, 30, 30, 30, 30, 8, 10, 15 and 100 characters and a date), walk each index end to end (the
// eco type index holds five distinct values), then delete every record one by one. SQLite gets
// the same columns, ten COLLATE NOCASE indexes, one transaction and prepared statements. Prints
// both times (the best of three runs, the two alternating) and the ratio engine / SQLite per
// step. Usage: TableData_bench [records [engine]]:
// 100000 records by default; "engine" leaves SQLite out (for profiling the engine alone).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexMemEngine.h"
#include "tests/engine/storage/TarnexTestCursor.h"

#ifdef TARNEX_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace {

struct TColumn {
  const char* Name;
  int32_t Size;  // characters; 0 = a date
};
// The inspection table: trap number, area, location, inspected, common name, latin name, count,
// life stage, eco type, notes.
const TColumn Columns[] = {{"trapno", 10},  {"area", 30},  {"location", 30}, {"inspected", 0}, {"common", 30},
                           {"latin", 30},   {"count", 8},  {"stage", 10},    {"ecotype", 15},  {"notes", 100}};
constexpr int ColumnCount = 10;
constexpr int DateColumn = 3;

// One inspection as text (the date as its day number and as ISO text for SQLite).
struct TRow {
  std::string Text[ColumnCount];
  int32_t Day = 0;
};

std::vector<TRow> MakeRows(int32_t count) {
  static const char* const pests[][2] = {
      {"Webbing clothes moth", "Tineola bisselliella"}, {"Casemaking clothes moth", "Tinea pellionella"},
      {"Varied carpet beetle", "Anthrenus verbasci"},   {"Furniture carpet beetle", "Anthrenus flavipes"},
      {"Black carpet beetle", "Attagenus unicolor"},    {"Odd beetle", "Thylodrias contractus"},
      {"Hide beetle", "Dermestes maculatus"},           {"Larder beetle", "Dermestes lardarius"},
      {"Silverfish", "Lepisma saccharina"},             {"Firebrat", "Thermobia domestica"},
      {"Booklouse", "Liposcelis bostrychophila"},       {"Drugstore beetle", "Stegobium paniceum"},
      {"Cigarette beetle", "Lasioderma serricorne"},    {"Furniture beetle", "Anobium punctatum"},
      {"German cockroach", "Blattella germanica"},      {"Brown-banded cockroach", "Supella longipalpa"},
      {"Spider beetle", "Ptinus tectus"},               {"House cricket", "Acheta domesticus"},
      {"Indian meal moth", "Plodia interpunctella"},    {"Wood-boring weevil", "Euophryum confine"}};
  static const char* const areas[] = {"Main store", "Textile store", "Natural history", "Library stack",
                                      "Gallery 1",  "Gallery 2",     "Conservation lab", "Loading bay",
                                      "Basement",   "Attic store",   "Archive room",     "Mezzanine"};
  static const char* const stages[] = {"adult", "larva", "pupa", "egg", "nymph", "exuviae"};
  static const char* const ecotypes[] = {"Pest", "Indicator", "Predator", "Parasite", "Incidental"};
  static const char* const words[] = {"trap", "replaced", "dust", "webbing", "frass", "near", "window", "drawer",
                                      "checked", "damaged", "specimen", "glue", "board", "corner", "no", "new"};
  std::mt19937 random(20240607);
  std::vector<TRow> rows(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    TRow& r = rows[static_cast<size_t>(i)];
    const int trap = static_cast<int>(random() % 400) + 1;
    const int pest = static_cast<int>(random() % 20);
    r.Text[0] = "T-" + std::to_string(trap);
    r.Text[1] = areas[trap % 12];
    r.Text[2] = std::string("Case ") + std::to_string(trap % 97) + ", shelf " + std::to_string(trap % 7);
    r.Day = 733000 + static_cast<int32_t>(random() % 3650);  // ten years of inspections
    r.Text[4] = pests[pest][0];
    r.Text[5] = pests[pest][1];
    r.Text[6] = std::to_string(random() % 40);
    r.Text[7] = stages[random() % 6];
    r.Text[8] = ecotypes[random() % 5];
    std::string notes;
    const int n = 3 + static_cast<int>(random() % 10);
    for (int w = 0; w < n; ++w) notes += std::string(w ? " " : "") + words[random() % 16];
    r.Text[9] = notes;
    // ISO text of the day for SQLite (only its order matters).
    char iso[16];
    std::snprintf(iso, sizeof iso, "%07d", r.Day);
    r.Text[DateColumn] = iso;
  }
  return rows;
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct TTimes {
  double Insert = 0;
  double Walk[ColumnCount] = {};
  double Delete = 0;
};

// --- the engine ---

TTimes RunEngine(const std::vector<TRow>& rows) {
  TTimes times;
  TTarnexMemoryDatabaseData db;
  TTestSession session;
  db.AddSession(&session);
  TTestCursor creator("inspections");
  auto* table = db.CreateTableData(&creator);
  TTarnexFieldDefs fields;
  TTarnexIndexDefs indexes;
  for (const TColumn& c : Columns) {
    auto* f = static_cast<TTarnexFieldDef*>(fields.AddNew());
    f->Name = c.Name;
    f->SetFieldType(c.Size == 0 ? TTarnexFieldType::Date : TTarnexFieldType::Varchar, c.Size);
    auto* index = static_cast<TTarnexIndexDef*>(indexes.AddNew());
    index->Name = c.Name;
    index->Columns.push_back({c.Name, false, true});
  }
  table->CreateTable(&creator, &fields, nullptr, &indexes);
  const TTarnexFieldDefs& layout = table->FieldDefs();

  TTestCursor cursor("inspections");
  cursor.Session = &session;
  cursor.Attach(table);
  times.Insert = Seconds([&] {
    for (const TRow& r : rows) {
      cursor.InitRecordBuffer(cursor.RecordBuffer, false);
      for (int c = 0; c < ColumnCount; ++c) {
        if (c == DateColumn) SetFieldData(c, layout, &r.Day, cursor.RecordBuffer);
        else SetFieldData(c, layout, r.Text[c].c_str(), cursor.RecordBuffer);
      }
      if (!table->InsertRecord(&cursor)) std::abort();
    }
  });
  for (int c = 0; c < ColumnCount; ++c) {
    cursor.SetIndexName(Columns[c].Name);
    cursor.SetBOF();
    size_t seen = 0;
    times.Walk[c] = Seconds([&] {
      while (table->Navigate(&cursor, TNavigationDirection::Next) == TNavigationResult::Found) ++seen;
    });
    if (seen != rows.size()) {
      std::printf("engine walk of %s saw %zu records\n", Columns[c].Name, seen);
      std::abort();
    }
  }
  cursor.SetIndexName("");
  times.Delete = Seconds([&] {
    cursor.SetBOF();
    if (table->Navigate(&cursor, TNavigationDirection::Next) != TNavigationResult::Found) std::abort();
    while (table->GetRecordCount() > 0)
      if (!table->DeleteRecord(&cursor)) std::abort();
  });
  cursor.Detach();
  return times;
}

// --- SQLite ---

#ifdef TARNEX_HAVE_SQLITE
void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::printf("sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

TTimes RunSQLite(const std::vector<TRow>& rows) {
  TTimes times;
  sqlite3* db = nullptr;
  Check(sqlite3_open(":memory:", &db), db, "open");
  std::string create = "CREATE TABLE inspections (";
  for (int c = 0; c < ColumnCount; ++c)
    create += std::string(c ? ", " : "") + Columns[c].Name + (c == DateColumn ? " DATE" : " VARCHAR(") +
              (c == DateColumn ? "" : std::to_string(Columns[c].Size) + ")") + " COLLATE NOCASE";
  create += ")";
  Check(sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr), db, "create");
  for (const TColumn& c : Columns) {
    const std::string sql =
        std::string("CREATE INDEX i_") + c.Name + " ON inspections (" + c.Name + " COLLATE NOCASE)";
    Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, "index");
  }
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO inspections VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr), db,
        "prepare insert");
  times.Insert = Seconds([&] {
    for (const TRow& r : rows) {
      for (int c = 0; c < ColumnCount; ++c)
        sqlite3_bind_text(insert, c + 1, r.Text[c].c_str(), static_cast<int>(r.Text[c].size()), SQLITE_STATIC);
      Check(sqlite3_step(insert), db, "insert");
      sqlite3_reset(insert);
    }
  });
  sqlite3_finalize(insert);
  for (int c = 0; c < ColumnCount; ++c) {
    const std::string sql = std::string("SELECT * FROM inspections INDEXED BY i_") + Columns[c].Name + " ORDER BY " +
                            Columns[c].Name + " COLLATE NOCASE";
    sqlite3_stmt* walk = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &walk, nullptr), db, "prepare walk");
    size_t seen = 0;
    size_t bytes = 0;
    times.Walk[c] = Seconds([&] {
      while (sqlite3_step(walk) == SQLITE_ROW) {
        bytes += static_cast<size_t>(sqlite3_column_bytes(walk, c)) + static_cast<size_t>(sqlite3_column_bytes(walk, 9));
        ++seen;
      }
    });
    sqlite3_finalize(walk);
    if (seen != rows.size() || bytes == 0) std::abort();
  }
  sqlite3_stmt* remove = nullptr;
  Check(sqlite3_prepare_v2(db, "DELETE FROM inspections WHERE rowid = ?", -1, &remove, nullptr), db, "prepare delete");
  times.Delete = Seconds([&] {
    for (size_t i = 1; i <= rows.size(); ++i) {
      sqlite3_bind_int64(remove, 1, static_cast<sqlite3_int64>(i));
      Check(sqlite3_step(remove), db, "delete");
      sqlite3_reset(remove);
    }
  });
  sqlite3_finalize(remove);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
  return times;
}
#endif

void PrintRow(const std::string& step, double engine, double sqlite) {
  if (sqlite > 0) std::printf("%-24s %10.4f %10.4f %8.2f\n", step.c_str(), engine, sqlite, engine / sqlite);
  else std::printf("%-24s %10.4f %10s %8s\n", step.c_str(), engine, "-", "-");
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t count = argc > 1 ? std::atoi(argv[1]) : 100000;
  const std::vector<TRow> rows = MakeRows(count);
  const bool withSQLite = argc <= 2 || std::string(argv[2]) != "engine";
  TTimes engine, sqlite;
  auto keepBest = [](TTimes& best, const TTimes& run, bool first) {
    auto take = [first](double& b, double r) { b = first ? r : std::min(b, r); };
    take(best.Insert, run.Insert);
    for (int c = 0; c < ColumnCount; ++c) take(best.Walk[c], run.Walk[c]);
    take(best.Delete, run.Delete);
  };
  constexpr int Runs = 3;
  for (int run = 0; run < Runs; ++run) {
    keepBest(engine, RunEngine(rows), run == 0);
#ifdef TARNEX_HAVE_SQLITE
    if (withSQLite) keepBest(sqlite, RunSQLite(rows), run == 0);
#endif
  }
  (void)withSQLite;
  std::printf("%d inspection records, ten case-insensitive indexes, best of 3 runs\n", count);
  std::printf("%-24s %10s %10s %8s\n", "step", "engine s", "SQLite s", "ratio");
  PrintRow("insert", engine.Insert, sqlite.Insert);
  double engineWalks = 0, sqliteWalks = 0;
  for (int c = 0; c < ColumnCount; ++c) {
    PrintRow(std::string("walk ") + Columns[c].Name, engine.Walk[c], sqlite.Walk[c]);
    engineWalks += engine.Walk[c];
    sqliteWalks += sqlite.Walk[c];
  }
  PrintRow("walk all ten", engineWalks, sqliteWalks);
  PrintRow("delete one by one", engine.Delete, sqlite.Delete);
  return 0;
}
