// What the deployment history keeps of an item: the SHA-256 of its text
// and, on SQLite, the table and the statement that write its row. The
// benchmark's raw deployment (bench/raw_deploy.cpp) keeps the same rows, so
// that the cost of keeping them can be measured apart from the library.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <string>
#include <string_view>

namespace kv7::helper {

inline constexpr char kCreateSqliteHistory[] =
    "CREATE TABLE IF NOT EXISTS kv7_deployed ("
    "object_name TEXT NOT NULL, kind TEXT NOT NULL, sha256 TEXT NOT NULL, "
    "created TEXT NOT NULL, deployed_at TEXT NOT NULL, "
    "PRIMARY KEY (object_name, kind)) WITHOUT ROWID";
// Binds ?1 the object name, ?2 the kind, ?3 the SHA-256 and ?4 the created
// objects; stamps the row with the current time.
inline constexpr char kWriteSqliteHistory[] =
    "INSERT OR REPLACE INTO kv7_deployed (object_name, kind, sha256, created, deployed_at) "
    "VALUES (?1, ?2, ?3, ?4, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))";

// The SHA-256 of the text in lower-case hex; empty when it cannot be computed.
inline std::string Sha256Hex(std::string_view text) {
  // Fetched once: finding the implementation costs more than hashing an item.
  static const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> kSha256(
      EVP_MD_fetch(nullptr, "SHA256", nullptr), &EVP_MD_free);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!kSha256 || EVP_Digest(text.data(), text.size(), digest, &size, kSha256.get(), nullptr) != 1)
    return {};
  constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xf];
  }
  return hex;
}

}  // namespace kv7::helper
