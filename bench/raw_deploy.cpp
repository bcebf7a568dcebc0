// The floor that `kv7 build` is measured against: the same item texts run
// straight through SQLite, with nothing of kv7 in between.
//
//   raw_deploy DATABASE LIST             run each item in its own transaction
//   raw_deploy --history DATABASE LIST   the same, keeping a history row too
//   raw_deploy --read LIST               only read each item file once
//
// LIST names one item file a line, in build order. Deploying opens one
// connection to DATABASE (created when missing) and, for each item, reads
// its file, drops the statement separator lines ("@" alone on a line) and
// runs BEGIN, the text and COMMIT. The first item that fails ends the run
// (exit 1). `--history` also writes, in each item's transaction, a row of
// the shape kv7 keeps for every deployed item (its history table, keyed by
// the item's file name, with the SHA-256 of its text): what keeping the
// history costs, apart from everything else kv7 does. `--read` opens,
// reads whole and closes each file, so that a build that must read every
// item can be set against the cost of reading alone.
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "deploy_history.h"

namespace {

using kv7::helper::kCreateSqliteHistory;
using kv7::helper::kWriteSqliteHistory;
using kv7::helper::Sha256Hex;

bool ReadList(const char* path, std::vector<std::string>* files) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) files->push_back(line);
  return true;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  text->clear();
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, got);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

// The text without its separator lines: lines holding only "@", blanks aside.
std::string WithoutSeparators(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    text.remove_prefix(line.size());
    std::string_view bare = line;
    while (!bare.empty() && std::strchr(" \t\r\n", bare.front())) bare.remove_prefix(1);
    while (!bare.empty() && std::strchr(" \t\r\n", bare.back())) bare.remove_suffix(1);
    if (bare != "@") out.append(line);
  }
  return out;
}

int Read(const std::vector<std::string>& files) {
  std::string text;
  size_t bytes = 0;
  for (const std::string& file : files) {
    if (!ReadFile(file, &text)) {
      std::fprintf(stderr, "raw_deploy: cannot read %s\n", file.c_str());
      return 1;
    }
    bytes += text.size();
  }
  std::printf("read %zu files, %zu bytes\n", files.size(), bytes);
  return 0;
}

// The item's file name without its folder and extension.
std::string ObjectName(const std::string& file) {
  size_t start = file.find_last_of('/') + 1;
  size_t dot = file.find('.', start);
  return file.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

bool Exec(sqlite3* db, const char* sql, const std::string& file) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  std::fprintf(stderr, "raw_deploy: %s: %s\n", file.c_str(), message ? message : "failed");
  sqlite3_free(message);
  return false;
}

// Writes the item's history row; false, having said why, on failure.
bool WriteHistory(sqlite3_stmt* statement, const std::string& file, const std::string& text) {
  const std::string name = ObjectName(file), sha256 = Sha256Hex(text);
  const std::string created = "item \"main\".\"" + name + "\"";
  sqlite3_bind_text(statement, 1, name.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(statement, 2, "item", -1, SQLITE_STATIC);
  sqlite3_bind_text(statement, 3, sha256.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(statement, 4, created.c_str(), -1, SQLITE_STATIC);
  const int code = sqlite3_step(statement);
  sqlite3_reset(statement);
  if (code == SQLITE_DONE) return true;
  std::fprintf(stderr, "raw_deploy: %s: %s\n", file.c_str(),
               sqlite3_errmsg(sqlite3_db_handle(statement)));
  return false;
}

int Deploy(const char* database, const std::vector<std::string>& files, bool history) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    std::fprintf(stderr, "raw_deploy: cannot open %s: %s\n", database, sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  sqlite3_stmt* record = nullptr;
  if (history && (!Exec(db, kCreateSqliteHistory, database) ||
                  sqlite3_prepare_v2(db, kWriteSqliteHistory, -1, &record, nullptr) != SQLITE_OK)) {
    std::fprintf(stderr, "raw_deploy: cannot keep a history in %s: %s\n", database,
                 sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  std::string text;
  int code = 0;
  for (const std::string& file : files) {
    if (!ReadFile(file, &text)) {
      std::fprintf(stderr, "raw_deploy: cannot read %s\n", file.c_str());
      code = 1;
      break;
    }
    const std::string sql = WithoutSeparators(text);
    if (!Exec(db, "BEGIN", file)) {
      code = 1;
      break;
    }
    if (!Exec(db, sql.c_str(), file) || (record && !WriteHistory(record, file, text)) ||
        !Exec(db, "COMMIT", file)) {
      (void)sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      code = 1;
      break;
    }
  }
  sqlite3_finalize(record);
  sqlite3_close(db);
  if (code == 0) std::printf("deployed %zu items\n", files.size());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  const bool history = argc == 4 && std::strcmp(argv[1], "--history") == 0;
  if (argc != 3 && !history) {
    std::fprintf(stderr,
                 "usage: raw_deploy [--history] DATABASE LIST | raw_deploy --read LIST\n");
    return 2;
  }
  const char* list = argv[argc - 1];
  std::vector<std::string> files;
  if (!ReadList(list, &files)) {
    std::fprintf(stderr, "raw_deploy: cannot read the list %s\n", list);
    return 1;
  }
  if (std::strcmp(argv[1], "--read") == 0) return Read(files);
  return Deploy(argv[argc - 2], files, history);
}
