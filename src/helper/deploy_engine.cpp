#include "deploy_engine.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "deploy_history.h"
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

bool Holds(const std::vector<ObjectRef>& objects, const ObjectRef& object) {
  return std::any_of(objects.begin(), objects.end(), [&](const ObjectRef& held) {
    return held.kind == object.kind && held.identity == object.identity;
  });
}

// A chunk's text as it goes to the driver: the CREATE of each object that
// the database replaces in place made CREATE OR REPLACE, with the way back
// from an offset in that text to one in the item's chunk.
class ChunkText {
 public:
  static constexpr std::string_view kOrReplace = " OR REPLACE";

  ChunkText(const SqlChunk& chunk, std::span<const std::size_t> createEnds) : text_(chunk.text) {
    if (createEnds.empty()) return;
    std::size_t from = 0;
    for (std::size_t end : createEnds) {
      rewritten_.append(text_.substr(from, end - from)).append(kOrReplace);
      from = end;
    }
    rewritten_.append(text_.substr(from));
    insertedAt_.assign(createEnds.begin(), createEnds.end());
    text_ = rewritten_;
  }
  ChunkText(const ChunkText&) = delete;
  ChunkText& operator=(const ChunkText&) = delete;

  std::string_view text() const { return text_; }

  // The offset in the item's chunk of an offset in text(); inside an
  // insertion, the place it was inserted at.
  std::size_t Original(std::size_t offset) const {
    std::size_t shift = 0;
    for (std::size_t at : insertedAt_) {
      if (offset < at + shift) break;
      if (offset < at + shift + kOrReplace.size()) return at;
      shift += kOrReplace.size();
    }
    return offset - shift;
  }

 private:
  std::string_view text_;
  std::string rewritten_;
  std::vector<std::size_t> insertedAt_;  // offsets in the chunk, ascending
};

// One item's deployment, step by step; each step stops at the first failure.
class ItemDeployment {
 public:
  ItemDeployment(DeployDriver& driver, const DeployRequest& request)
      : driver_(driver), request_(request) {}

  DeployOutcome Run();

 private:
  // What one run of the item's transaction found and did.
  struct Attempt {
    std::vector<std::vector<ObjectRef>> existing;  // of Created(), before the chunks
    std::vector<bool> replaced;                    // of Created()
    std::vector<StoredObject> dependents;          // taken along by the drops
    std::vector<std::string> restored;
  };

  const std::vector<CreatedObject>& Created() const { return analysis_.created; }
  ObjectRef Ref(std::size_t i) const { return {Created()[i].kind, identities_[i]}; }
  bool InPlace(std::size_t i) const { return driver_.ReplacesInPlace(Created()[i].kind); }
  // An interrupt reads the same whichever step it stopped.
  Failure DriverFailure(const std::string& doing, int line = 0) const {
    const DriverError& error = driver_.LastError();
    if (error.status == E_ABORT) return Failed("interrupted", line);
    return Failed(doing + ": " + error.message, line);
  }

  Failure Refusal() const;
  Failure RunAttempt(bool* unchanged);
  Failure Transact(bool* unchanged);
  Failure CheckUnchanged(bool* unchanged);
  Failure Apply();
  Failure MakeWay();
  Failure MakeWayFor(std::size_t i);
  Failure DropTargets(std::size_t i, std::vector<ObjectRef>* targets);
  Failure RunChunks();
  std::vector<std::size_t> CreateEnds(std::size_t chunk) const;
  bool MarkRefused(std::size_t chunk);
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
  bool wrapped_ = true;
  Attempt attempt_;
  // Of Created(): objects replaced in place that the database refused to
  // replace so, dropped first from the next attempt on.
  std::vector<bool> dropFirst_;
  std::string refusal_;  // the database's message of the last refusal
  bool retry_ = false;   // the attempt failed on a refusal that dropping mends
};

DeployOutcome ItemDeployment::Run() {
  chunks_ = SplitChunks(request_.text, request_.separator);
  analysis_ = AnalyseItem(chunks_);
  if (Failure refused = Refusal()) return *refused;
  kind_ = Created().empty() ? kScriptKind : std::string(KindName(Created().front().kind));
  for (const CreatedObject& object : Created()) identities_.push_back(driver_.Identify(object));
  sha256_ = Sha256Hex(request_.text);
  if (sha256_.empty()) return Failed("cannot compute the SHA-256 of the item's text");
  dropFirst_.assign(Created().size(), false);

  wrapped_ = !analysis_.controlsTransactions;
  bool unchanged = false;
  Failure failed = RunAttempt(&unchanged);
  // Each new attempt drops at least one more object first, so this ends.
  while (failed && retry_) {
    driver_.Rollback();
    failed = RunAttempt(&unchanged);
  }
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
  if (!wrapped_) outcome.notes.insert(outcome.notes.begin(), kOwnTransactionsNote);
  return outcome;
}

// The history is read inside the item's transaction too: one lock of the
// database for the whole item.
Failure ItemDeployment::RunAttempt(bool* unchanged) {
  attempt_ = {};
  retry_ = false;
  if (wrapped_ && FAILED(driver_.Begin()))
    return DriverFailure("cannot begin the item's transaction");
  return Transact(unchanged);
}

Failure ItemDeployment::Transact(bool* unchanged) {
  if (Failure failed = CheckUnchanged(unchanged)) return failed;
  if (*unchanged) return {};
  if (Failure failed = Apply()) return failed;
  if (wrapped_ && FAILED(driver_.Commit()))
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
  for (std::size_t i = 0; i < Created().size(); ++i)
    if (Failure failed = MakeWayFor(i)) return failed;
  return {};
}

Failure ItemDeployment::MakeWayFor(std::size_t i) {
  const CreatedObject& object = Created()[i];
  std::string what = Described(object);
  std::vector<ObjectRef>& existing = attempt_.existing.emplace_back();
  if (FAILED(driver_.Instances(Ref(i), &existing)))
    return DriverFailure("cannot look for " + what, object.line);
  if (existing.empty() || (InPlace(i) && !dropFirst_[i])) return {};
  if (object.kind == ObjectKind::kTable) {
    std::int64_t rows = 0;
    if (FAILED(driver_.RowCount(identities_[i], &rows)))
      return DriverFailure("cannot count the rows of " + what, object.line);
    if (rows > 0)
      return Failed(what + " holds " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
                        ": a change to a table with data belongs in a script (ALTER TABLE); "
                        "no row was deleted",
                    object.line);
  }
  if ((object.kind == ObjectKind::kTable || object.kind == ObjectKind::kView) &&
      FAILED(driver_.Dependents(identities_[i], &attempt_.dependents)))
    return DriverFailure("cannot read what depends on " + what, object.line);
  std::vector<ObjectRef> targets;
  if (Failure failed = DropTargets(i, &targets)) return failed;
  for (const ObjectRef& target : targets) {
    if (SUCCEEDED(driver_.Drop(target))) continue;
    if (!dropFirst_[i]) return DriverFailure("cannot drop " + what, object.line);
    return Failed("cannot replace " + what + ": " + refusal_ + "; dropping it failed: " +
                      driver_.LastError().message,
                  object.line);
  }
  return {};
}

// What to drop of object i: what exists of it; of a routine's overloads, the
// ones that the item's history says it made.
Failure ItemDeployment::DropTargets(std::size_t i, std::vector<ObjectRef>* targets) {
  const std::vector<ObjectRef>& existing = attempt_.existing[i];
  if (existing.size() == 1) {
    *targets = existing;
    return {};
  }
  HistoryRow row;
  bool found = false;
  if (FAILED(driver_.ReadHistory(request_.objectName, kind_, &row, &found)))
    return DriverFailure("cannot read the deployment history");
  for (const ObjectRef& object : existing)
    if (Holds(row.created, object)) targets->push_back(object);
  if (!targets->empty()) return {};
  return Failed("cannot replace " + Described(Created()[i]) + ": " + refusal_ + "; it has " +
                    std::to_string(existing.size()) +
                    " overloads, and kv7's history does not say which one this item made",
                Created()[i].line);
}

Failure ItemDeployment::RunChunks() {
  for (std::size_t c = 0; c < chunks_.size(); ++c) {
    const SqlChunk& chunk = chunks_[c];
    ChunkText text(chunk, CreateEnds(c));
    HRESULT hr = driver_.Execute(text.text());
    if (SUCCEEDED(hr)) continue;
    if (hr == E_ABORT) return Failed("interrupted");
    const DriverError& error = driver_.LastError();
    if (error.replaceRefused && MarkRefused(c)) {
      refusal_ = error.message;
      retry_ = true;
      return Failed(error.message);
    }
    int line = error.offset >= 0
                   ? LineAt(chunk, text.Original(static_cast<std::size_t>(error.offset)))
                   : chunk.firstLine;
    return Failed(error.message, line);
  }
  return {};
}

// Where " OR REPLACE" goes in a chunk: after the CREATE of each object that
// the database replaces in place and whose text does not say so already.
std::vector<std::size_t> ItemDeployment::CreateEnds(std::size_t chunk) const {
  constexpr std::size_t kCreate = std::string_view("CREATE").size();
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < Created().size(); ++i)
    if (Created()[i].chunk == chunk && InPlace(i) && !Created()[i].orReplace)
      ends.push_back(Created()[i].offset + kCreate);
  return ends;
}

// Marks the objects of a chunk that the database refused to replace in
// place to be dropped first; false when that cannot help: the item runs
// without its transaction, or nothing new is left to drop.
bool ItemDeployment::MarkRefused(std::size_t chunk) {
  if (!wrapped_) return false;
  bool marked = false;
  for (std::size_t i = 0; i < Created().size(); ++i) {
    if (Created()[i].chunk != chunk || !InPlace(i) || dropFirst_[i] ||
        attempt_.existing[i].empty())
      continue;
    dropFirst_[i] = true;
    marked = true;
  }
  return marked;
}

Failure ItemDeployment::Restore() {
  for (const StoredObject& dependent : attempt_.dependents) {
    if (std::find(identities_.begin(), identities_.end(), dependent.object.identity) !=
        identities_.end())
      continue;
    std::string what = Described(dependent.object.kind, dependent.name);
    if (FAILED(driver_.Execute(dependent.definition)))
      return DriverFailure("cannot create " + what + " again from its stored definition");
    attempt_.restored.push_back(what);
  }
  return {};
}

// Also learns which objects the item replaced: those whose recorded
// identities existed before its chunks ran.
Failure ItemDeployment::Record() {
  HistoryRow row{request_.objectName, kind_, sha256_, {}};
  attempt_.replaced.assign(Created().size(), false);
  for (std::size_t i = 0; i < Created().size(); ++i) {
    std::vector<ObjectRef> recorded;
    if (FAILED(driver_.Recorded(Ref(i), &recorded)))
      return DriverFailure("cannot find what the item made of " + Described(Created()[i]));
    for (const ObjectRef& object : recorded) {
      if (Holds(attempt_.existing[i], object)) attempt_.replaced[i] = true;
      if (!Holds(row.created, object)) row.created.push_back(object);
    }
  }
  if (FAILED(driver_.WriteHistory(row)))
    return DriverFailure("cannot record the deployment in kv7's history");
  return {};
}

DeployOutcome ItemDeployment::Succeeded() const {
  DeployOutcome outcome;
  outcome.succeeded = true;
  std::vector<std::string> done, remade;
  for (std::size_t i = 0; i < Created().size(); ++i) {
    done.push_back((attempt_.replaced[i] ? "replaced " : "created ") + Described(Created()[i]));
    if (dropFirst_[i]) remade.push_back(Described(Created()[i]));
  }
  outcome.result = done.empty() ? "ran script " + request_.objectName : Joined(done);
  if (!remade.empty())
    outcome.notes.push_back("dropped and created again, as the database refused to replace " +
                            std::string(remade.size() == 1 ? "it" : "them") + " in place (" +
                            refusal_ + "): " + Joined(remade));
  if (!attempt_.restored.empty())
    outcome.notes.push_back("created again from their stored definitions: " +
                            Joined(attempt_.restored));
  return outcome;
}

}  // namespace

DeployOutcome DeployItem(DeployDriver& driver, const DeployRequest& request) {
  return ItemDeployment(driver, request).Run();
}

}  // namespace kv7::helper
