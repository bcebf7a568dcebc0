#include "deploy_engine.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include "item_analysis.h"
#include "statement_splitter.h"

namespace kv7::helper {
namespace {

constexpr char kScriptKind[] = "script";
constexpr char kOwnTransactionsNote[] =
    "ran without the item transaction: its statements control transactions themselves";

DeployOutcome Failed(std::string message, int line = 0) {
  DeployOutcome outcome;
  outcome.result = line > 0 ? "line " + std::to_string(line) + ": " + message : std::move(message);
  outcome.line = line;
  return outcome;
}

// What failed, when something did.
using Failure = std::optional<DeployOutcome>;

// The SHA-256 of the text in lower-case hex; empty when it cannot be computed.
std::string Sha256Hex(std::string_view text) {
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

std::string Described(ObjectKind kind, std::string_view name) {
  return std::string(KindName(kind)) + " " + std::string(name);
}

std::string Described(const CreatedObject& object) {
  return Described(object.kind, DisplayName(object.name));
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

// One item's deployment, step by step; each step stops at the first failure.
class ItemDeployment {
 public:
  ItemDeployment(DeployDriver& driver, const DeployRequest& request)
      : driver_(driver), request_(request) {}

  DeployOutcome Run();

 private:
  const std::vector<CreatedObject>& Created() const { return analysis_.created; }
  ObjectRef Ref(std::size_t i) const { return {Created()[i].kind, identities_[i]}; }
  Failure DriverFailure(const std::string& doing, int line = 0) const {
    return Failed(doing + ": " + driver_.LastError().message, line);
  }

  Failure Refusal() const;
  Failure Transact(bool wrapped, bool* unchanged);
  Failure CheckUnchanged(bool* unchanged);
  Failure Apply();
  Failure MakeWay();
  Failure RunChunks();
  Failure Restore();
  Failure Record();
  DeployOutcome Succeeded() const;

  DeployDriver& driver_;
  const DeployRequest& request_;
  std::vector<SqlChunk> chunks_;
  ItemAnalysis analysis_;
  std::vector<std::string> identities_;  // of Created(), in its order
  std::string kind_;
  std::string sha256_;
  std::vector<bool> replaced_;            // of Created(), once made way for
  std::vector<StoredObject> dependents_;  // taken along by the drops
  std::vector<std::string> restored_;
};

DeployOutcome ItemDeployment::Run() {
  chunks_ = SplitChunks(request_.text, request_.separator);
  analysis_ = AnalyseItem(chunks_);
  if (Failure refused = Refusal()) return *refused;
  kind_ = Created().empty() ? kScriptKind : std::string(KindName(Created().front().kind));
  for (const CreatedObject& object : Created()) identities_.push_back(driver_.Identify(object));
  sha256_ = Sha256Hex(request_.text);
  if (sha256_.empty()) return Failed("cannot compute the SHA-256 of the item's text");

  // The history is read inside the item's transaction too: one lock of the
  // database for the whole item.
  bool wrapped = !analysis_.controlsTransactions;
  bool unchanged = false;
  Failure failed = wrapped && FAILED(driver_.Begin())
                       ? DriverFailure("cannot begin the item's transaction")
                       : Transact(wrapped, &unchanged);
  // Also ends a transaction that an item controlling its own left open; an
  // unchanged item wrote nothing.
  if (failed || unchanged) driver_.Rollback();
  if (unchanged) {
    DeployOutcome outcome;
    outcome.succeeded = outcome.unchanged = true;
    outcome.result = "unchanged";
    return outcome;
  }
  DeployOutcome outcome = failed ? std::move(*failed) : Succeeded();
  // What ran of a failed item that controls transactions may have stayed.
  if (!wrapped) outcome.notes.insert(outcome.notes.begin(), kOwnTransactionsNote);
  return outcome;
}

Failure ItemDeployment::Transact(bool wrapped, bool* unchanged) {
  if (Failure failed = CheckUnchanged(unchanged)) return failed;
  if (*unchanged) return {};
  if (Failure failed = Apply()) return failed;
  if (wrapped && FAILED(driver_.Commit()))
    return DriverFailure("cannot commit the item's transaction");
  return {};
}

Failure ItemDeployment::Refusal() const {
  for (const CreatedObject& object : Created()) {
    std::string why = driver_.CannotCreate(object.kind);
    if (!why.empty()) return Failed("cannot create " + Described(object) + ": " + why, object.line);
  }
  return {};
}

Failure ItemDeployment::CheckUnchanged(bool* unchanged) {
  bool createsTable = std::any_of(Created().begin(), Created().end(), [](const auto& object) {
    return object.kind == ObjectKind::kTable;
  });
  if (request_.redeployUnchanged && !createsTable) return {};
  HistoryRow row;
  bool found = false;
  if (FAILED(driver_.ReadHistory(request_.objectName, kind_, &row, &found)))
    return DriverFailure("cannot read the deployment history");
  if (!found || row.sha256 != sha256_) return {};
  for (const ObjectRef& object : row.created) {
    bool exists = false;
    if (FAILED(driver_.Exists(object, &exists)))
      return DriverFailure("cannot look for " + std::string(KindName(object.kind)) + " " +
                           object.identity);
    if (!exists) return {};
  }
  *unchanged = true;
  return {};
}

Failure ItemDeployment::Apply() {
  if (Failure failed = MakeWay()) return failed;
  if (Failure failed = RunChunks()) return failed;
  if (Failure failed = Restore()) return failed;
  return Record();
}

Failure ItemDeployment::MakeWay() {
  for (std::size_t i = 0; i < Created().size(); ++i) {
    const CreatedObject& object = Created()[i];
    ObjectRef ref = Ref(i);
    std::string what = Described(object);
    bool exists = false;
    if (FAILED(driver_.Exists(ref, &exists)))
      return DriverFailure("cannot look for " + what, object.line);
    replaced_.push_back(exists);
    if (!exists) continue;
    if (object.kind == ObjectKind::kTable) {
      std::int64_t rows = 0;
      if (FAILED(driver_.RowCount(ref.identity, &rows)))
        return DriverFailure("cannot count the rows of " + what, object.line);
      if (rows > 0)
        return Failed(what + " holds " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
                          ": a change to a table with data belongs in a script (ALTER TABLE); "
                          "no row was deleted",
                      object.line);
    }
    if ((object.kind == ObjectKind::kTable || object.kind == ObjectKind::kView) &&
        FAILED(driver_.Dependents(ref.identity, &dependents_)))
      return DriverFailure("cannot read what depends on " + what, object.line);
    if (FAILED(driver_.Drop(ref))) return DriverFailure("cannot drop " + what, object.line);
  }
  return {};
}

Failure ItemDeployment::RunChunks() {
  for (const SqlChunk& chunk : chunks_) {
    HRESULT hr = driver_.Execute(chunk.text);
    if (SUCCEEDED(hr)) continue;
    if (hr == E_ABORT) return Failed("interrupted");
    const DriverError& error = driver_.LastError();
    int line = error.offset >= 0 ? LineAt(chunk, static_cast<std::size_t>(error.offset))
                                 : chunk.firstLine;
    return Failed(error.message, line);
  }
  return {};
}

Failure ItemDeployment::Restore() {
  for (const StoredObject& dependent : dependents_) {
    if (std::find(identities_.begin(), identities_.end(), dependent.object.identity) !=
        identities_.end())
      continue;
    std::string what = Described(dependent.object.kind, dependent.name);
    if (FAILED(driver_.Execute(dependent.definition)))
      return DriverFailure("cannot create " + what + " again from its stored definition");
    restored_.push_back(what);
  }
  return {};
}

Failure ItemDeployment::Record() {
  HistoryRow row{request_.objectName, kind_, sha256_, {}};
  for (std::size_t i = 0; i < Created().size(); ++i) row.created.push_back(Ref(i));
  if (FAILED(driver_.WriteHistory(row)))
    return DriverFailure("cannot record the deployment in kv7's history");
  return {};
}

DeployOutcome ItemDeployment::Succeeded() const {
  DeployOutcome outcome;
  outcome.succeeded = true;
  std::vector<std::string> done;
  for (std::size_t i = 0; i < Created().size(); ++i)
    done.push_back((replaced_[i] ? "replaced " : "created ") + Described(Created()[i]));
  outcome.result = done.empty() ? "ran script " + request_.objectName : Joined(done);
  if (!restored_.empty())
    outcome.notes.push_back("created again from their stored definitions: " + Joined(restored_));
  return outcome;
}

}  // namespace

DeployOutcome DeployItem(DeployDriver& driver, const DeployRequest& request) {
  return ItemDeployment(driver, request).Run();
}

}  // namespace kv7::helper
