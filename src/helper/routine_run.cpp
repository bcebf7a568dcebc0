#include "routine_run.h"

#include "kv7/platform/xmldom.h"

namespace kv7::helper {
namespace {

constexpr char kNull[] = "(null)";

std::string ChildText(IXMLDOMNode* element, const char16_t* name) {
  ComPtr<IXMLDOMNode> child;
  CComBSTR text;
  if (element->selectSingleNode(name, child.Put()) != S_OK ||
      FAILED(child->get_text(text.Put())))
    return {};
  return ToUtf8(text.ToString());
}

// The mode as the call needs it; the system's dialogs spell it out.
std::string Mode(const std::string& spelled) {
  WString mode = FromUtf8(spelled);
  if (EqualsNoCase(mode, u"OUT") || EqualsNoCase(mode, u"Output")) return "OUT";
  if (EqualsNoCase(mode, u"INOUT") || EqualsNoCase(mode, u"InputOutput")) return "INOUT";
  return "IN";
}

std::string Value(const std::optional<std::string>& value) { return value ? *value : kNull; }

std::string Joined(const std::vector<std::string>& values) {
  std::string line;
  for (const std::string& value : values) line += (line.empty() ? "" : " | ") + value;
  return line;
}

std::string Rows(std::int64_t count, std::string_view more = " ") {
  return std::to_string(count) + std::string(more) + (count == 1 ? "row" : "rows");
}

void ListRows(const RoutineOutput& output, std::vector<std::string>* notes) {
  notes->push_back(Joined(output.columns));
  for (const RoutineOutput::Row& row : output.rows) {
    std::vector<std::string> values;
    for (const auto& value : row) values.push_back(Value(value));
    notes->push_back(Joined(values));
  }
  auto listed = static_cast<std::int64_t>(output.rows.size());
  if (output.totalRows > listed) notes->push_back("... " + Rows(output.totalRows - listed, " more "));
}

// A procedure's one row holds its OUT and INOUT values.
void ListValues(const RoutineOutput& output, std::vector<std::string>* notes) {
  if (output.rows.empty()) return;
  for (std::size_t i = 0; i < output.columns.size() && i < output.rows.front().size(); ++i)
    notes->push_back(output.columns[i] + " = " + Value(output.rows.front()[i]));
}

}  // namespace

HRESULT ReadRoutineParameters(WStringView parametersXml, std::vector<RoutineParameter>* parameters,
                              std::string* message) {
  if (parametersXml.find_first_not_of(u" \t\r\n") == WStringView::npos) return S_OK;
  ComPtr<IXMLDOMDocument> document;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ComPtr<IXMLDOMNode> root;
  ComPtr<IXMLDOMNodeList> columns;
  if (FAILED(CreateXMLDOMDocument(document.Put())) ||
      document->loadXML(WString(parametersXml).c_str(), &loaded) != S_OK ||
      document->selectSingleNode(u"SP", root.Put()) != S_OK ||
      FAILED(root->selectNodes(u"COLUMNS/COLUMN", columns.Put()))) {
    *message = "the procedure's parameter values are not an SP document";
    return E_INVALIDARG;
  }
  for (ComPtr<IXMLDOMNode> column; columns->nextNode(column.Put()) == S_OK && column;) {
    RoutineParameter& parameter = parameters->emplace_back();
    parameter.name = ChildText(column.Get(), u"PARMNAME");
    parameter.type = ChildText(column.Get(), u"TYPENAME");
    parameter.mode = Mode(ChildText(column.Get(), u"PARM_MODE"));
    std::string value = ChildText(column.Get(), u"PARAM_VALUE");
    if (!value.empty() && value != kNull) parameter.value = std::move(value);
  }
  return S_OK;
}

DeployOutcome RunRoutine(DeployDriver& driver, const RoutineCall& call) {
  RoutineOutput output;
  DeployOutcome outcome;
  if (FAILED(driver.CallRoutine(call, kRoutineRowLimit, &output))) {
    outcome.result = driver.LastError().message;  // the report carries the routine's name
    outcome.notes = std::move(output.notices);
    return outcome;
  }
  outcome.succeeded = true;
  if (output.function) {
    outcome.result = output.name + " returned " + Rows(output.totalRows);
    ListRows(output, &outcome.notes);
  } else {
    outcome.result = "called " + output.name;
    ListValues(output, &outcome.notes);
  }
  outcome.notes.insert(outcome.notes.end(), output.notices.begin(), output.notices.end());
  return outcome;
}

}  // namespace kv7::helper
