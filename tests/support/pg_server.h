// A throwaway PostgreSQL server for the tests that need one: made on first
// use, once per test process, with initdb into a temporary directory,
// listening on 127.0.0.1 at a free port (its socket in that directory), with
// a role that logs in with a password over TCP; stopped and removed when the
// process ends. As root the server runs as the postgres user, since initdb
// refuses root.
//
// Tests call RequirePostgres() first: without the server's programs (the
// postgresql package) the test is skipped with a line saying so; a server
// that should start and does not fails the test.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace kv7::test {

class PgServer {
 public:
  // The role that tests deploy as, and its password.
  static constexpr char kUser[] = "kv7_tester";
  static constexpr char kPassword[] = "tester-secret-7";

  // The process's server, started on first use.
  static PgServer& Get() {
    static PgServer server;
    return server;
  }

  // Why tests that need the server are skipped; empty when it runs or
  // should.
  const std::string& missing() const { return missing_; }
  // Why the server did not start although it should have; empty when it runs.
  const std::string& failure() const { return failure_; }
  int port() const { return port_; }

  // A new empty database owned by the test role; empty, with a test
  // failure, when it cannot be made.
  std::string CreateDatabase() {
    std::string name = "kv7_db" + std::to_string(++databases_);
    std::string error = Execute("postgres", "CREATE DATABASE " + name + " OWNER " + kUser);
    EXPECT_EQ(error, "") << "cannot create database " << name;
    return error.empty() ? name : "";
  }

  // A superuser connection to a database, through the socket; closed with
  // PQfinish.
  PGconn* Admin(const std::string& database) const {
    std::string conninfo = "host=" + dir_.string() + " port=" + std::to_string(port_) +
                           " user=postgres dbname=" + database;
    return PQconnectdb(conninfo.c_str());
  }

  // Runs SQL as the superuser; the server's message on failure, else empty.
  std::string Execute(const std::string& database, const std::string& sql) const {
    std::string rows;
    return Run(database, sql, &rows);
  }

  // Runs SQL as the superuser: the first column of each row of its last
  // statement, joined by ",", NULL as "null"; "error: " and the server's
  // message on failure.
  std::string Query(const std::string& database, const std::string& sql) const {
    std::string rows;
    std::string error = Run(database, sql, &rows);
    return error.empty() ? rows : "error: " + error;
  }

  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;
  ~PgServer() {
    if (started_) Run({bin_ / "pg_ctl", "-D", data(), "-m", "immediate", "-w", "stop"});
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

 private:
  PgServer() {
    if (!FindPrograms() || !FindAccount()) return;
    failure_ = Start();
  }

  std::string data() const { return (dir_ / "data").string(); }

  std::string Run(const std::string& database, const std::string& sql, std::string* rows) const {
    std::unique_ptr<PGconn, decltype(&PQfinish)> admin(Admin(database), &PQfinish);
    if (PQstatus(admin.get()) != CONNECTION_OK) return PQerrorMessage(admin.get());
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(admin.get(), sql.c_str()),
                                                         &PQclear);
    ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) return PQerrorMessage(admin.get());
    for (int row = 0; row < PQntuples(result.get()); ++row) {
      if (row > 0) *rows += ",";
      *rows += PQgetisnull(result.get(), row, 0) ? "null" : PQgetvalue(result.get(), row, 0);
    }
    return "";
  }

  // initdb and pg_ctl: where pg_config says, else in the newest
  // /usr/lib/postgresql/N/bin.
  bool FindPrograms() {
    std::vector<std::filesystem::path> candidates;
    if (FILE* pipe = popen("pg_config --bindir 2>/dev/null", "r")) {
      char line[4096] = "";
      if (fgets(line, sizeof line, pipe)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        candidates.emplace_back(text);
      }
      pclose(pipe);
    }
    std::error_code error;
    std::vector<std::filesystem::path> versions;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error))
      versions.push_back(entry.path() / "bin");
    std::sort(versions.rbegin(), versions.rend());
    candidates.insert(candidates.end(), versions.begin(), versions.end());
    for (const auto& bin : candidates) {
      if (access((bin / "initdb").c_str(), X_OK) == 0 && access((bin / "pg_ctl").c_str(), X_OK) == 0) {
        bin_ = bin;
        return true;
      }
    }
    missing_ = "the PostgreSQL server programs (initdb, pg_ctl) are not installed: install "
               "the postgresql package to run this test";
    return false;
  }

  // Who runs the server: this user, or postgres when this is root.
  bool FindAccount() {
    if (geteuid() != 0) return true;
    struct passwd* account = getpwnam("postgres");
    if (account == nullptr) {
      missing_ = "running as root, and there is no postgres user to run the server as";
      return false;
    }
    uid_ = account->pw_uid;
    gid_ = account->pw_gid;
    return true;
  }

  std::string Start() {
    char pattern[] = "/tmp/kv7-pg-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return "cannot make a temporary directory";
    dir_ = pattern;
    if (uid_ != 0 && chown(pattern, uid_, gid_) != 0) return "cannot give " + dir_.string() + " to postgres";
    if (int code = Run({bin_ / "initdb", "-D", data(), "-U", "postgres", "-E", "UTF8",
                        "--no-locale", "--no-sync", "--auth-local=trust",
                        "--auth-host=scram-sha-256"}))
      return "initdb failed (" + std::to_string(code) + "): " + Log();
    // Another process may take the port between finding and binding it.
    for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
      port_ = FreePort();
      std::string options = "-p " + std::to_string(port_) + " -k " + dir_.string() +
                            " -c listen_addresses=127.0.0.1 -c fsync=off"
                            " -c synchronous_commit=off -c full_page_writes=off"
                            " -c shared_buffers=16MB -c max_connections=40";
      started_ = Run({bin_ / "pg_ctl", "-D", data(), "-w", "-t", "60", "-l",
                      (dir_ / "server.log").string(), "-o", options, "start"}) == 0;
    }
    if (!started_) return "the server did not start: " + Log();
    std::string error = Execute("postgres", std::string("CREATE ROLE ") + kUser +
                                                " LOGIN PASSWORD '" + kPassword + "'");
    return error.empty() ? "" : "cannot create the test role: " + error;
  }

 public:
  // A port on 127.0.0.1 that nothing listens on (as of now).
  static int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
      port = ntohs(address.sin_port);
    close(fd);
    return port;
  }

 private:

  // Runs a program as the server's user, its output to the log; its exit
  // code, or -1. The child only makes system calls before exec: the test
  // process may have threads.
  int Run(const std::vector<std::string>& arguments) const {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::string log = (dir_ / "commands.log").string();
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
      int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      if (uid_ != 0 && (setgroups(1, &gid_) != 0 || setgid(gid_) != 0 || setuid(uid_) != 0))
        _exit(126);
      if (chdir(dir_.c_str()) != 0) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The last lines that the server's programs wrote.
  std::string Log() const {
    std::string text;
    for (const char* name : {"commands.log", "server.log"}) {
      std::ifstream in(dir_ / name);
      text += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
  }

  std::filesystem::path bin_;
  std::filesystem::path dir_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  int port_ = 0;
  bool started_ = false;
  int databases_ = 0;
  std::string missing_;
  std::string failure_;
};

// The databases that deployments go to. A suite whose cases must hold alike
// on SQLite and on the server is parameterised by it and instantiated with
// KV7_INSTANTIATE_ON_EACH_DATABASE; its PostgreSQL cases start by
// KV7_REQUIRE_POSTGRES() as any other.
enum class Database { kSqlite, kPostgres };

inline std::string DatabaseName(const ::testing::TestParamInfo<Database>& param) {
  return param.param == Database::kSqlite ? "Sqlite" : "Postgres";
}
inline void PrintTo(Database database, std::ostream* out) {
  *out << (database == Database::kSqlite ? "SQLite" : "PostgreSQL");
}

#define KV7_INSTANTIATE_ON_EACH_DATABASE(suite)                                           \
  INSTANTIATE_TEST_SUITE_P(Databases, suite,                                              \
                           ::testing::Values(::kv7::test::Database::kSqlite,              \
                                             ::kv7::test::Database::kPostgres),           \
                           ::kv7::test::DatabaseName)

// Skips the calling test when the server's programs are missing, fails it
// when the server did not start.
#define KV7_REQUIRE_POSTGRES()                                                  \
  do {                                                                          \
    ::kv7::test::PgServer& kv7Server = ::kv7::test::PgServer::Get();            \
    if (!kv7Server.missing().empty()) GTEST_SKIP() << kv7Server.missing();      \
    ASSERT_EQ(kv7Server.failure(), "") << "the test PostgreSQL server did not start"; \
  } while (0)

}  // namespace kv7::test
