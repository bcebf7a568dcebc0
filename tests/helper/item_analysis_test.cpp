// What an item creates and whether it controls transactions, read from its
// chunks: top-level CREATE statements only, with their names as the
// database reads them; nothing in comments, strings or bodies counts.
#include "item_analysis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv7::helper {
namespace {

ItemAnalysis Analyse(std::string_view text) {
  std::vector<SqlChunk> chunks = SplitChunks(text, "@");
  return AnalyseItem(chunks);
}

// Each created object as "kind name [on table] [temp] @line", quoted parts in <>.
std::vector<std::string> Created(std::string_view text) {
  auto spelled = [](const QualifiedName& name) {
    std::string parts;
    for (const NamePart& part : name)
      parts += (parts.empty() ? "" : ".") + (part.quoted ? "<" + part.text + ">" : part.text);
    return parts;
  };
  std::vector<std::string> created;
  for (const CreatedObject& object : Analyse(text).created) {
    std::string line = std::string(KindName(object.kind)) + " " + spelled(object.name);
    if (!object.table.empty()) line += " on " + spelled(object.table);
    if (object.temporary) line += " temp";
    created.push_back(line + " @" + std::to_string(object.line));
  }
  return created;
}

TEST(ItemAnalysis, FindsEveryTopLevelCreateWithItsName) {
  EXPECT_EQ(Created("-- create table fake(x)\n"
                    "/* create view fake2 as select 1 */\n"
                    "insert into log values ('create table s(x)');\n"
                    "CREATE TABLE main.Orders (id integer primary key, \"begin\" text);\n"
                    "@\n"
                    "create or replace view \"Open \"\"Orders\"\"\" as select 1;\n"
                    "Create Unique Index If Not Exists [idx one] on `Orders` (id);\n"
                    "create temporary table scratch(x); create temp view tv as select 1;\n"
                    "create index ix on only public.orders using btree (id)"),
            (std::vector<std::string>{
                "table main.Orders @4",
                "view <Open \"Orders\"> @6",
                "index <idx one> on <Orders> @7",
                "table scratch temp @8",
                "view tv temp @8",
                "index ix on public.orders @9",
            }));

  // Where each CREATE stands and whether it says OR REPLACE, for the
  // drivers that replace objects in place.
  ItemAnalysis analysis = Analyse("select 1;\n@\n-- note\ncreate view v as select 1; "
                                  "create or replace function f() returns int as 'select 1';");
  ASSERT_EQ(analysis.created.size(), 2u);
  EXPECT_EQ(analysis.created[0].chunk, 1u);
  EXPECT_EQ(analysis.created[0].offset, 8u);
  EXPECT_FALSE(analysis.created[0].orReplace);
  EXPECT_EQ(analysis.created[1].offset, 35u);
  EXPECT_TRUE(analysis.created[1].orReplace);
}

TEST(ItemAnalysis, BodiesHideWhatTheyHold) {
  // Given statements inside a trigger body (with CASE ... END and a column
  // named like a keyword), a dollar-quoted function body and a standard
  // BEGIN ATOMIC body, then only the statements around them count.
  EXPECT_EQ(Created("create trigger trg after update of begin on orders\n"
                    "when new.id > 0 begin\n"
                    "  update log set n = case when n is null then 1 else n + 1 end;\n"
                    "  create table not_top(x);\n"
                    "end;\n"
                    "create or replace function app.f(n int) returns int as $$\n"
                    "begin create table inner_t(x int); return 1; end $$ language plpgsql;\n"
                    "create procedure p(\"end\" int) begin atomic select 1; end;\n"
                    "create table after_bodies(x);"),
            (std::vector<std::string>{
                "trigger trg on orders @1",
                "function app.f @6",
                "procedure p @8",
                "table after_bodies @9",
            }));
}

TEST(ItemAnalysis, OtherStatementsCreateNothingTracked) {
  EXPECT_TRUE(Created("create sequence s; create materialized view mv as select 1;\n"
                      "alter table t add column c int; create index on t (c);\n"
                      "create type mood as enum ('ok'); insert into t values (1)")
                  .empty());
}

TEST(ItemAnalysis, TransactionControlIsTopLevelOnly) {
  for (const char* text : {"BEGIN;\ncreate table t(x);\nCOMMIT;", "savepoint a; release a",
                           "insert into t values (1);\n@\nvacuum", "end transaction",
                           "create unique index concurrently i on t (x)", "Rollback",
                           "start transaction; abort"})
    EXPECT_TRUE(Analyse(text).controlsTransactions) << text;
  for (const char* text : {"create trigger g after insert on t begin select 1; end;",
                           "select 'begin'; -- commit\n/* rollback */",
                           "create table t(\"begin\" int, \"end\" int)",
                           "do $$ begin commit; end $$", "insert into t values (1)"})
    EXPECT_FALSE(Analyse(text).controlsTransactions) << text;
}

}  // namespace
}  // namespace kv7::helper
