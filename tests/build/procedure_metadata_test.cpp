// Procedure metadata: the description and CLR readers, the CLR comparison
// and its type table, and the server model of a procedure with its
// parameter values.
#include "kv7/build/procedure_metadata.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/test_support.h"

namespace kv7::test {
namespace {

// A procedure description with one procedure per (schema, name, types).
struct DescribedProc {
  const char16_t* schema;
  const char16_t* name;
  std::vector<const char16_t*> types;
};

WString Description(const std::vector<DescribedProc>& procs) {
  WString xml = u"<KV7PROJECTITEM><SOURCEINFO><SPS>";
  for (const DescribedProc& proc : procs) {
    xml += u"<SP><PROCSCHEMA>" + WString(proc.schema) + u"</PROCSCHEMA><PROCNAME>" +
           proc.name + u"</PROCNAME><PARAMETERS>";
    for (const char16_t* type : proc.types)
      xml += u"<PARAM><PARMNAME>P</PARMNAME><TYPENAME>" + WString(type) + u"</TYPENAME></PARAM>";
    xml += u"</PARAMETERS></SP>";
  }
  return xml + u"</SPS></SOURCEINFO></KV7PROJECTITEM>";
}

// A CLR description with one CLR_PROC per (schema, name, method, language, types).
struct ClrProc {
  const char16_t* schema;
  const char16_t* name;
  const char16_t* method;
  const char16_t* language;
  std::vector<const char16_t*> types;
};

WString ClrDescription(const std::vector<ClrProc>& procs) {
  WString xml = u"<KV7_CLR_DESC><KV7_CLR_SPECIFICS><CLR_PROCS>";
  for (const ClrProc& proc : procs) {
    xml += u"<CLR_PROC><KV7_SCHEMA_NAME>" + WString(proc.schema) + u"</KV7_SCHEMA_NAME>" +
           u"<KV7_PROCNAME>" + proc.name + u"</KV7_PROCNAME><CLR_NAME>" + proc.method +
           u"</CLR_NAME><CLR_LANGUAGE>" + proc.language + u"</CLR_LANGUAGE><CLR_PARAMETERS>";
    for (const char16_t* type : proc.types)
      xml += u"<CLR_PARAM><CLR_TYPE>" + WString(type) + u"</CLR_TYPE></CLR_PARAM>";
    xml += u"</CLR_PARAMETERS></CLR_PROC>";
  }
  return xml + u"</CLR_PROCS></KV7_CLR_SPECIFICS></KV7_CLR_DESC>";
}

// A server-model document of one column per (name, type, mode, value).
struct Column {
  const char16_t* name;
  const char16_t* type;
  const char16_t* mode;
  WString value;
};

WString Columns(const std::vector<Column>& columns) {
  WString xml = u"<SP><COLUMNS>";
  for (const Column& column : columns)
    xml += u"<COLUMN><TYPENAME>" + WString(column.type) + u"</TYPENAME><LENGTH>10</LENGTH>" +
           u"<SCALE>0</SCALE><PARM_MODE>" + column.mode + u"</PARM_MODE><PARMNAME>" +
           column.name + u"</PARMNAME><PARAM_VALUE>" + column.value + u"</PARAM_VALUE></COLUMN>";
  return xml + u"</COLUMNS></SP>";
}

CStoredProcedure Procedure(const std::vector<Column>& columns) {
  CStoredProcedure procedure(u"S", u"P");
  EXPECT_EQ(procedure.SetXml(Columns(columns).c_str()), S_OK);
  return procedure;
}

WString ValueList(const CStoredProcedure& procedure) {
  WString list;
  procedure.GetParameterValueList(list);
  return list;
}

TEST(ProcedureDescription, ReadsEveryProcedureAndParameterAsWritten) {
  CKV7StoredProcInfoParser parser(
      u"<KV7PROJECTITEM><SOURCEINFO><SPS>"
      u"<SP><PROCSCHEMA> SALES </PROCSCHEMA><PROCNAME>ADD_ORDER</PROCNAME>"
      u"<PARM_COUNT>2</PARM_COUNT><LANGUAGE>SQL</LANGUAGE><START_LINE>7</START_LINE>"
      u"<PARAMETERS><PARAM><PARMNAME>ID</PARMNAME><TYPENAME>INTEGER</TYPENAME>"
      u"<PARM_MODE>IN</PARM_MODE><AS_LOCATOR>N</AS_LOCATOR></PARAM>"
      u"<PARAM><PARMNAME>TOTAL</PARMNAME></PARAM></PARAMETERS></SP>"
      u"<SP><PROCNAME>SECOND</PROCNAME></SP>"
      u"</SPS></SOURCEINFO></KV7PROJECTITEM>");
  EXPECT_EQ(parser.GetStatus(), S_OK);
  ASSERT_EQ(parser.GetCount(), 2);
  ASSERT_EQ(parser.GetProcedures().size(), 2u);
  const CKV7StoredProcInfo& first = parser.GetProcedures()[0];
  EXPECT_EQ(first.schema, u" SALES ");  // kept untrimmed
  EXPECT_EQ(first.procName, u"ADD_ORDER");
  EXPECT_EQ(first.parmCount, u"2");
  EXPECT_EQ(first.language, u"SQL");
  EXPECT_EQ(first.startLine, u"7");
  EXPECT_EQ(first.fenced, u"");
  ASSERT_EQ(first.parameters.size(), 2u);
  EXPECT_EQ(first.parameters[0].name, u"ID");
  EXPECT_EQ(first.parameters[0].typeName, u"INTEGER");
  EXPECT_EQ(first.parameters[0].mode, u"IN");
  EXPECT_EQ(first.parameters[0].asLocator, u"N");
  EXPECT_EQ(first.parameters[1].typeName, u"");
  EXPECT_TRUE(parser.GetProcedures()[1].parameters.empty());

  CKV7StoredProcInfoParser broken(u"<KV7PROJECTITEM><SOURCEINFO>");
  EXPECT_EQ(broken.GetStatus(), S_FALSE);
  EXPECT_EQ(broken.GetCount(), 0);
  EXPECT_TRUE(broken.GetProcedures().empty());
}

TEST(ClrDescription, ReadsTheProceduresAndTheFirstProceduresNames) {
  CKV7CLRXMLParser parser(
      u"<KV7_CLR_DESC><PROJECT_SELECTION_OPTIONS><USERSELECTION_FILE>sel.xml"
      u"</USERSELECTION_FILE></PROJECT_SELECTION_OPTIONS><KV7_CLR_SPECIFICS>"
      u"<VS_SOLUTION_NAME>Shop.sln</VS_SOLUTION_NAME><CLR_PROCS><CLR_PROC>"
      u"<CLR_NAME>AddOrder</CLR_NAME><CLR_CLASS_NAME>Orders</CLR_CLASS_NAME>"
      u"<ASSEMBLY_FILE_NAME>shop.dll</ASSEMBLY_FILE_NAME><KV7_PROCNAME>ADD_ORDER</KV7_PROCNAME>"
      u"<KV7_SPECIFICIC_NAME>SQL1</KV7_SPECIFICIC_NAME><CLR_PROC_GUID>{1}</CLR_PROC_GUID>"
      u"<CLR_PARAMETERS><CLR_PARAM><CLR_NAME>id</CLR_NAME><ORDER>1</ORDER>"
      u"<CLR_TYPE>System.Int32</CLR_TYPE><KV7_DATA_TYPE_SPECIFICS><NAME>INTEGER</NAME>"
      u"<CCSID_LENGTH>4</CCSID_LENGTH></KV7_DATA_TYPE_SPECIFICS></CLR_PARAM></CLR_PARAMETERS>"
      u"</CLR_PROC></CLR_PROCS></KV7_CLR_SPECIFICS></KV7_CLR_DESC>");
  EXPECT_EQ(parser.GetStatus(), S_OK);
  EXPECT_EQ(parser.GetUserSelectionFile(), u"sel.xml");
  EXPECT_EQ(parser.GetSolutionName(), u"Shop.sln");
  EXPECT_EQ(parser.GetProcCount(), 1);
  EXPECT_EQ(parser.GetProcName(), u"ADD_ORDER");
  EXPECT_EQ(parser.GetAssemblyFileName(), u"shop.dll");
  ASSERT_EQ(parser.GetProcedures().size(), 1u);
  const CKV7CLRProcInfo& proc = parser.GetProcedures()[0];
  EXPECT_EQ(proc.className, u"Orders");
  EXPECT_EQ(proc.specificName, u"SQL1");
  EXPECT_EQ(proc.procGuid, u"{1}");
  ASSERT_EQ(proc.parameters.size(), 1u);
  EXPECT_EQ(proc.parameters[0].order, u"1");
  EXPECT_EQ(proc.parameters[0].clrType, u"System.Int32");
  EXPECT_EQ(proc.parameters[0].dataTypeSpecifics.name, u"INTEGER");
  EXPECT_EQ(proc.parameters[0].dataTypeSpecifics.ccsidLength, u"4");

  // Two procedures: the assembly of the first, but no single procedure name.
  CKV7CLRXMLParser two(ClrDescription({{u"S", u"A", u"a", u"CSharp", {}},
                                       {u"S", u"B", u"b", u"CSharp", {}}})
                           .c_str());
  EXPECT_EQ(two.GetProcCount(), 2);
  EXPECT_EQ(two.GetProcName(), u"");

  CKV7CLRXMLParser broken(u"not xml");
  EXPECT_EQ(broken.GetStatus(), E_FAIL);
  EXPECT_EQ(broken.GetProcCount(), 0);
  EXPECT_TRUE(broken.GetProcedures().empty());
}

TEST(ClrTypeMapping, FollowsTheTableOnlyForCSharp) {
  EXPECT_TRUE(IsValidDataTypeMapping(u"INTEGER", u"System.Int32", u"CSharp"));
  EXPECT_TRUE(IsValidDataTypeMapping(u"integer", u"int32", u"csharp"));
  EXPECT_FALSE(IsValidDataTypeMapping(u"BIGINT", u"Int32", u"CSharp"));
  EXPECT_FALSE(IsValidDataTypeMapping(u"BIGINT", u"System.Int32", u"CSharp"));
  // Types with several database types, each one accepted and others refused.
  EXPECT_TRUE(IsValidDataTypeMapping(u"CLOB", u"System.String", u"CSharp"));
  EXPECT_TRUE(IsValidDataTypeMapping(u"VARCHAR", u"Byte", u"CSharp"));
  EXPECT_FALSE(IsValidDataTypeMapping(u"INTEGER", u"Byte", u"CSharp"));
  EXPECT_TRUE(IsValidDataTypeMapping(u"FLOAT", u"Double", u"CSharp"));
  EXPECT_FALSE(IsValidDataTypeMapping(u"DATE", u"TimeSpan", u"CSharp"));
  EXPECT_TRUE(IsValidDataTypeMapping(u"TIMESTAMP", u"System.DateTime", u"CSharp"));
  // Only the namespace's first part goes: this is not in the table.
  EXPECT_TRUE(IsValidDataTypeMapping(u"BIGINT", u"System.Data.SqlTypes.SqlInt32", u"CSharp"));
  EXPECT_TRUE(IsValidDataTypeMapping(u"BIGINT", u"System.Sub.Int32", u"CSharp"));
  // A leading dot strips nothing, so ".Int32" is unknown and valid.
  EXPECT_TRUE(IsValidDataTypeMapping(u"BIGINT", u".Int32", u"CSharp"));
  // Other languages accept every pair.
  EXPECT_TRUE(IsValidDataTypeMapping(u"BIGINT", u"Int32", u"VB"));
  EXPECT_TRUE(IsValidDataTypeMapping(u"BIGINT", u"Int32", u""));
}

TEST(ClrComparison, ChecksCountsThenTypesOfMatchingProcedures) {
  WString procedure = u"untouched", method = u"untouched";

  // Three described parameters against two: false even though the types agree.
  CKV7StoredProcInfoParser three(
      Description({{u"S", u"P", {u"INTEGER", u"INTEGER", u"INTEGER"}}}).c_str());
  CKV7CLRXMLParser two(
      ClrDescription({{u"s", u"p", u"Run", u"CSharp", {u"Int32", u"Int32"}}}).c_str());
  EXPECT_FALSE(three.CompareWithCLR(two, procedure, method));
  EXPECT_EQ(procedure, u"untouched");
  EXPECT_EQ(method, u"untouched");

  // A type failure names both sides; the schema joins the name.
  CKV7StoredProcInfoParser typed(
      Description({{u"S", u"OK", {u"BIGINT"}}, {u"S", u"P", {u"INTEGER", u"BIGINT"}}}).c_str());
  CKV7CLRXMLParser clr(ClrDescription({{u"S", u"OK", u"Fine", u"CSharp", {u"System.Int64"}},
                                       {u"S", u"P", u"Run", u"CSharp", {u"Int32", u"Int32"}}})
                           .c_str());
  EXPECT_FALSE(typed.CompareWithCLR(clr, procedure, method));
  EXPECT_EQ(procedure, u"S.P");
  EXPECT_EQ(method, u"Run");

  CKV7StoredProcInfoParser unqualified(Description({{u"", u"P", {u"BIGINT"}}}).c_str());
  CKV7CLRXMLParser unqualified_clr(
      ClrDescription({{u"", u"P", u"Go", u"CSharp", {u"Int32"}}}).c_str());
  EXPECT_FALSE(unqualified.CompareWithCLR(unqualified_clr, procedure, method));
  EXPECT_EQ(procedure, u"P");
  EXPECT_EQ(method, u"Go");

  // The same mismatch in VB, or against a procedure of another name, passes.
  CKV7CLRXMLParser vb(ClrDescription({{u"S", u"P", u"Run", u"VB", {u"Int32", u"Int32"}}}).c_str());
  EXPECT_TRUE(typed.CompareWithCLR(vb, procedure, method));
  CKV7CLRXMLParser other(ClrDescription({{u"S", u"Q", u"Run", u"CSharp", {u"Int32"}}}).c_str());
  EXPECT_TRUE(three.CompareWithCLR(other, procedure, method));
}

TEST(StoredProcedure, ReadsColumnsAndMapsModes) {
  CStoredProcedure procedure = Procedure({{u"A", u"INTEGER", u"Input", u"1"},
                                          {u"B", u"VARCHAR", u"inputoutput", u""},
                                          {u"C", u"DATE", u"OUTPUT", u""},
                                          {u"D", u"DATE", u"Return", u""}});
  const CParameterList& parameters = procedure.GetParameters();
  ASSERT_EQ(parameters.size(), 4u);
  EXPECT_EQ(parameters[0].mode, u"IN");
  EXPECT_EQ(parameters[0].length, u"10");
  EXPECT_EQ(parameters[0].scale, u"0");
  EXPECT_EQ(parameters[1].mode, u"INOUT");
  EXPECT_EQ(parameters[2].mode, u"OUT");
  EXPECT_EQ(parameters[3].mode, u"Return");
  EXPECT_TRUE(parameters[0].ValueIsDefined());
  EXPECT_FALSE(parameters[1].ValueIsDefined());

  // A new text replaces the list; one that does not parse leaves it empty.
  EXPECT_EQ(procedure.SetXml(u"<SP><COLUMNS>"), S_FALSE);
  EXPECT_EQ(procedure.GetXml(), u"<SP><COLUMNS>");
  EXPECT_TRUE(procedure.GetParameters().empty());
}

TEST(StoredProcedure, ParameterValueListQuotesCutsAndNulls) {
  WString hundred(100, u'x');
  CStoredProcedure procedure = Procedure({{u"V", u"VARCHAR", u"Input", hundred},
                                          {u"D", u"decimal", u"Input", u"12.5"},
                                          {u"E", u"CHARACTER", u"Input", u""},
                                          {u"N", u"VARCHAR", u"Input", u"(null)"},
                                          {u"Q", u"VARCHAR", u"InputOutput", u"it's"},
                                          {u"O", u"INTEGER", u"Output", u"9"}});
  EXPECT_EQ(ValueList(procedure), u"(V='" + WString(80, u'x') + u"', D=12.5, E=(null), N=(null), " +
                                      u"Q='it's', O)");
  EXPECT_EQ(ValueList(Procedure({})), u"()");
}

TEST(StoredProcedure, InputParametersNeedValues) {
  // (columns, has input parameters, all of them have values)
  const std::tuple<std::vector<Column>, bool, bool> cases[] = {
      {{{u"O", u"INTEGER", u"Output", u""}}, false, true},
      {{}, false, true},
      {{{u"A", u"INTEGER", u"Input", u"1"}, {u"B", u"INTEGER", u"InputOutput", u""}}, true, false}};
  for (const auto& [columns, hasIn, allValued] : cases) {
    EXPECT_EQ(Procedure(columns).HasInParameters(), hasIn) << columns.size();
    EXPECT_EQ(Procedure(columns).AllInParametersHaveValues(), allValued) << columns.size();
  }
}

TEST(StoredProcedure, DisplayNameFormatsIdentifiersAndListsParameters) {
  CStoredProcedure procedure = Procedure({{u"ID", u"INTEGER", u"Input", u""},
                                          {u"NAME", u"VARCHAR", u"Output", u""}});
  for (const auto& [schema, name, shown] :
       {std::tuple<WString, WString, WString>{u"S", u"P", u"S.P(IN ID INTEGER, OUT NAME VARCHAR)"},
        {u"Sales", u"add_order", u"\"Sales\".add_order(IN ID INTEGER, OUT NAME VARCHAR)"},
        {u"", u"add_order", u"add_order(IN ID INTEGER, OUT NAME VARCHAR)"},
        {u"", u"", u""}}) {
    procedure.SetSchema(schema);
    procedure.SetName(name);
    WString display = u"stale";
    procedure.GetDisplayName(display);
    EXPECT_EQ(display, shown);
  }
}

TEST(StoredProcedure, SetParameterValueRewritesTheDocument) {
  CStoredProcedure procedure = Procedure({{u"ID", u"INTEGER", u"Input", u""},
                                          {u"NOTE", u"VARCHAR", u"Input", u"old"}});
  // Markup characters in a value survive as the value.
  ASSERT_EQ(procedure.SetParameterValue(u"note", u"a<b & c>d"), S_OK);
  ASSERT_EQ(procedure.SetParameterValue(u"ID", u"7"), S_OK);
  ASSERT_EQ(procedure.GetParameters().size(), 2u);
  EXPECT_EQ(procedure.GetParameters()[0].value, u"7");
  EXPECT_EQ(procedure.GetParameters()[1].value, u"a<b & c>d");
  EXPECT_EQ(procedure.GetParameters()[1].type, u"VARCHAR");
  CStoredProcedure reread(u"S", u"P");
  ASSERT_EQ(reread.SetXml(procedure.GetXml().c_str()), S_OK);
  EXPECT_EQ(reread.GetParameters()[1].value, u"a<b & c>d");

  // A name the document lacks becomes an input parameter of no type.
  ASSERT_EQ(procedure.SetParameterValue(u"EXTRA", u"x"), S_OK);
  ASSERT_EQ(procedure.GetParameters().size(), 3u);
  EXPECT_EQ(procedure.GetParameters()[2].name, u"EXTRA");
  EXPECT_EQ(procedure.GetParameters()[2].mode, u"IN");
  EXPECT_EQ(procedure.GetParameters()[2].type, u"");
  EXPECT_EQ(procedure.GetParameters()[2].value, u"x");

  // A column without PARAM_VALUE gets one.
  CStoredProcedure bare(u"", u"P");
  ASSERT_EQ(bare.SetXml(u"<SP><COLUMNS><COLUMN><PARMNAME>A</PARMNAME><PARM_MODE>Input"
                        u"</PARM_MODE></COLUMN></COLUMNS></SP>"),
            S_OK);
  ASSERT_EQ(bare.SetParameterValue(u"A", u"1"), S_OK);
  ASSERT_EQ(bare.GetParameters().size(), 1u);
  EXPECT_EQ(bare.GetParameters()[0].value, u"1");

  // Without a document one is started; a broken one is left alone.
  CStoredProcedure empty;
  ASSERT_EQ(empty.SetParameterValue(u"A", u"1"), S_OK);
  ASSERT_EQ(empty.GetParameters().size(), 1u);
  EXPECT_TRUE(empty.AllInParametersHaveValues());
  CStoredProcedure broken;
  (void)broken.SetXml(u"<SP>");
  EXPECT_EQ(broken.SetParameterValue(u"A", u"1"), E_FAIL);
  EXPECT_EQ(broken.GetXml(), u"<SP>");
  CStoredProcedure foreign;
  ASSERT_EQ(foreign.SetXml(u"<OTHER/>"), S_OK);
  EXPECT_EQ(foreign.SetParameterValue(u"A", u"1"), E_FAIL);
  EXPECT_EQ(foreign.GetXml(), u"<OTHER/>");
}

TEST(StoredProcedure, EqualityIsExactOnSchemaNameAndDocument) {
  CStoredProcedure a = Procedure({{u"A", u"INTEGER", u"Input", u"1"}});
  CStoredProcedure b = Procedure({{u"A", u"INTEGER", u"Input", u"1"}});
  EXPECT_TRUE(a == b);
  b.SetName(u"p");
  EXPECT_FALSE(a == b);
  b.SetName(u"P");
  ASSERT_EQ(b.SetParameterValue(u"A", u"2"), S_OK);
  EXPECT_FALSE(a == b);
}

TEST(StoredProcedureList, FillsFromTheModelAndFindsByDisplayName) {
  CStoredProcedureList list(u"<DATACONNECTION DBCONNNAME=\"shop\"/>");
  ASSERT_EQ(list.LoadFromModelXml(
                u"<DATACONNECTIONS><DATACONNECTION><SPS>"
                u"<SP><PROCSCHEMA>S</PROCSCHEMA><PROCNAME>A</PROCNAME><COLUMNS><COLUMN>"
                u"<TYPENAME>INTEGER</TYPENAME><PARM_MODE>Input</PARM_MODE><PARMNAME>X</PARMNAME>"
                u"</COLUMN></COLUMNS></SP>"
                u"<SP><PROCSCHEMA>S</PROCSCHEMA><PROCNAME>B</PROCNAME></SP>"
                u"</SPS></DATACONNECTION></DATACONNECTIONS>"),
            S_OK);
  EXPECT_EQ(list.GetConnectionXml(), u"<DATACONNECTION DBCONNNAME=\"shop\"/>");
  ASSERT_EQ(list.GetProcedures().size(), 2u);
  ASSERT_EQ(list.GetProcedures()[0].GetParameters().size(), 1u);
  const CStoredProcedure* found = list.FindByDisplayName(u"S.A(IN X INTEGER)");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->GetName(), u"A");
  EXPECT_NE(list.FindByDisplayName(u"S.B()"), nullptr);
  EXPECT_EQ(list.FindByDisplayName(u"S.A"), nullptr);
}

}  // namespace
}  // namespace kv7::test
