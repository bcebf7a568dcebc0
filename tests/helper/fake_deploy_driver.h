// A deployment driver without a database, for the engine's tests: it
// records every call it is given, answers from objects, row counts and
// history rows the test sets up, and fails the Execute whose chunk holds a
// chosen text.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "deploy_driver.h"

namespace kv7::test {

class FakeDeployDriver : public helper::DeployDriver {
 public:
  using Key = std::pair<helper::ObjectKind, std::string>;

  // Calls in order: "begin", "execute <chunk>", "commit", "rollback",
  // "drop <kind> <identity>", "history <object name> <kind>".
  std::vector<std::string> calls;
  std::set<Key> objects;                         // what exists
  std::map<std::string, std::int64_t> rows;      // by table identity
  std::map<std::string, std::vector<helper::StoredObject>> dependents;  // by owner identity
  std::map<std::pair<std::string, std::string>, helper::HistoryRow> history;
  bool hasRoutines = true;
  // Execute fails on the chunk holding this text, with this status and
  // message, pointing at the offset given (the text's own when none is).
  std::string failOn;
  std::optional<std::ptrdiff_t> failOffset;
  HRESULT failStatus = E_FAIL;
  std::string failMessage = "near \"selec\": syntax error";
  // ReadHistory fails with this status when it is one.
  HRESULT historyStatus = S_OK;
  // Kinds replaced in place. Execute refuses a chunk holding refuseOn, as
  // the database refuses to replace an object in place, until the object
  // whose identity is refusedObject has been dropped.
  std::set<helper::ObjectKind> inPlace;
  std::string refuseOn;
  std::string refusedObject;

  std::string CannotCreate(helper::ObjectKind kind) const override {
    bool routine = kind == helper::ObjectKind::kFunction || kind == helper::ObjectKind::kProcedure;
    return routine && !hasRoutines ? "this database has no routines" : "";
  }
  // The name in lower case: names here ignore case.
  std::string Identify(const helper::CreatedObject& object) const override {
    std::string name = helper::DisplayName(object.name);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    return name;
  }
  bool ReplacesInPlace(helper::ObjectKind kind) const override { return inPlace.count(kind) != 0; }
  HRESULT Execute(std::string_view chunk) override {
    calls.push_back("execute " + std::string(chunk));
    if (!refuseOn.empty() && chunk.find(refuseOn) != std::string_view::npos &&
        !refusedObject.empty())
      return Fail(E_FAIL, "cannot change return type of existing function", -1, true);
    std::size_t at = failOn.empty() ? std::string_view::npos : chunk.find(failOn);
    if (at == std::string_view::npos) return S_OK;
    return Fail(failStatus, failMessage, failOffset.value_or(static_cast<std::ptrdiff_t>(at)));
  }
  HRESULT Begin() override { return Record("begin"); }
  HRESULT Commit() override { return Record("commit"); }
  void Rollback() override { calls.push_back("rollback"); }
  HRESULT Exists(const helper::ObjectRef& object, bool* exists) override {
    *exists = objects.count({object.kind, object.identity}) != 0;
    return S_OK;
  }
  HRESULT RowCount(const std::string& table, std::int64_t* count) override {
    *count = rows[table];
    return S_OK;
  }
  HRESULT Dependents(const std::string& owner,
                     std::vector<helper::StoredObject>* found) override {
    for (const helper::StoredObject& dependent : dependents[owner]) found->push_back(dependent);
    return S_OK;
  }
  HRESULT Drop(const helper::ObjectRef& object) override {
    if (object.identity == refusedObject) refusedObject.clear();
    return Record("drop " + std::string(helper::KindName(object.kind)) + " " + object.identity);
  }
  HRESULT ReadHistory(const std::string& objectName, const std::string& kind,
                      helper::HistoryRow* row, bool* found) override {
    if (FAILED(historyStatus)) return Fail(historyStatus, "interrupted");
    auto held = history.find({objectName, kind});
    *found = held != history.end();
    if (*found) *row = held->second;
    return S_OK;
  }
  HRESULT WriteHistory(const helper::HistoryRow& row) override {
    history[{row.objectName, row.kind}] = row;
    return Record("history " + row.objectName + " " + row.kind);
  }
  HRESULT CallRoutine(const helper::RoutineCall&, std::size_t, helper::RoutineOutput*) override {
    return Fail(E_NOTIMPL, "no routines here");
  }
  void Interrupt() override {}
  void ClearInterrupt() override {}

 private:
  HRESULT Record(std::string call) {
    calls.push_back(std::move(call));
    return S_OK;
  }
};

}  // namespace kv7::test
