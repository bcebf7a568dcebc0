// Running a stored routine as a task (CTaskHelperHook::ExecuteTaskRoutineAsync):
// the call read from the system's texts, the run on the connection's
// driver, and what the task reports of it.
#pragma once

#include <string>
#include <vector>

#include "deploy_driver.h"
#include "deploy_engine.h"

namespace kv7::helper {

// The result rows a report lists; the rest are counted.
inline constexpr std::size_t kRoutineRowLimit = 100;

// Reads the parameter values document: each /SP/COLUMNS/COLUMN element with
// its TYPENAME, PARMNAME, PARM_MODE ("IN", "OUT", "INOUT", or as the
// system's dialogs spell them "Input", "Output", "InputOutput") and
// PARAM_VALUE ("(null)" or empty for NULL). An empty text lists no
// parameters. E_INVALIDARG, with *message saying why, for a text that is not
// such a document.
[[nodiscard]] HRESULT ReadRoutineParameters(WStringView parametersXml,
                                            std::vector<RoutineParameter>* parameters,
                                            std::string* message);

// Runs the routine. Success: the result line says what ran ("called
// app.place_order", "app.order_lines returned 3 rows"); the notes list a
// function's result rows (a header line, then one line per row, at most
// kRoutineRowLimit, then "... N more rows"), a procedure's OUT and INOUT
// values ("total = 42"), then the server's notices in order. Failure: the
// result line names the routine and gives the database's message; the
// notes hold the notices that came before it.
DeployOutcome RunRoutine(DeployDriver& driver, const RoutineCall& call);

}  // namespace kv7::helper
