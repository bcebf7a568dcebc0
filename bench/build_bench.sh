#!/usr/bin/env bash
# Times `kv7 build` as a whole process on generated projects deployed to
# SQLite, and sets it against what the same work costs without kv7:
#
#   full deploy  a fresh project's first build, against raw_deploy running
#                the same item texts, in the same order, one transaction
#                each, on one connection (sizes: the arguments, else 1000
#                and 5000 items); and, for reference, raw_deploy keeping a
#                history row per item as kv7 does (`--history`);
#   no-op        a build with nothing changed ($NOOP_ITEMS, 50000 items);
#   touch-all    every item file's mtime moved forward, text unchanged, then
#                a build ($TOUCH_ITEMS, 5000 items), against the no-op build
#                of that project plus one read of each item file
#                (`raw_deploy --read`, a whole process).
#
#   bench/build_bench.sh [KV7_BINARY] [ITEMS...]
#   bench/build_bench.sh --generate ITEMS DIR   (writes DIR/Bench.kv7p only)
#
# KV7_BINARY defaults to $KV7, else build/bin/kv7 of this tree; raw_deploy is
# taken from beside it ($RAW_DEPLOY overrides). Every timing is the median
# of $RUNS runs (5), the full deploys of $DEPLOY_RUNS (3), kv7 and
# raw_deploy taking turns. Wall seconds come from the shell's clock around
# the process, CPU seconds (user + system) from /usr/bin/time.
#
# Items come in groups of four: a table t_I, an index on it, an item of two
# triggers on it (the statement separator between them) and a view over it,
# in the folders Tables, Indexes, Triggers and Views, added with `kv7 add`.
# A build deploys all tables first, then the indexes, triggers and views.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# item_program: the awk function item(k) that write_items (build_common.sh)
# calls for the k-th item, groups of 4 items to a table.
# shellcheck disable=SC2016
item_program='
    function item(k,  i, t) {
      i = int(k / 4); t = "t_" i
      if (k % 4 == 0)
        put("Tables/" t ".kv7tbl", "-- One row per " t " entry.\nCREATE TABLE " t " (\n" \
            "    id INTEGER PRIMARY KEY,\n    name TEXT NOT NULL,\n" \
            "    qty INTEGER NOT NULL DEFAULT 0,\n    price REAL,\n    updated_at TEXT\n);\n",
            "Tables")
      else if (k % 4 == 1)
        put("Indexes/" t "_name.kv7ind", "CREATE INDEX " t "_name ON " t " (name, qty);\n",
            "Indexes")
      else if (k % 4 == 2)
        put("Triggers/" t "_stamp.kv7tr", "-- Stamps changed rows; refuses to lose stock.\n" \
            "CREATE TRIGGER " t "_stamp AFTER UPDATE OF qty, price ON " t "\nBEGIN\n" \
            "    UPDATE " t " SET updated_at = datetime(\x27now\x27) WHERE id = NEW.id;\nEND;\n@\n" \
            "CREATE TRIGGER " t "_guard BEFORE DELETE ON " t " WHEN OLD.qty > 0\nBEGIN\n" \
            "    SELECT RAISE(ABORT, \x27" t " still in stock\x27);\nEND;\n", "Triggers")
      else
        put("Views/v_" i ".kv7vw", "CREATE VIEW v_" i " AS\n" \
            "SELECT id, name, qty * price AS amount FROM " t " WHERE qty > 0;\n", "Views")
    }'

bench=build_bench.sh
# shellcheck source=build_common.sh
source "$here/build_common.sh"
generate_if_asked "$@"
choose_kv7 "$@"
raw=$(realpath "${RAW_DEPLOY:-$(dirname "$kv7")/raw_deploy}")
[[ -x $raw ]] || { echo "build_bench.sh: $raw is missing: build it first" >&2; exit 2; }
noop_items=${NOOP_ITEMS:-50000}
touch_items=${TOUCH_ITEMS:-5000}
runs=${RUNS:-5}
deploy_runs=${DEPLOY_RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/kv7build.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A catalogue of its own, and no tracing.
export KV7_HOME=$work/home
unset KV7_TRACE KV7_TRACE_FILE
mkdir "$KV7_HOME"

# expect WHAT PATTERN: the last build's summary must match.
expect() {
  grep -Eq "$2" "$work/out" || {
    echo "build_bench.sh: $1: unexpected build result:" >&2
    tail -3 "$work/out" >&2
    exit 1
  }
}

# build_fresh PROJECT DB ITEMS: forget what was built, drop the database,
# and time a build deploying every item.
build_fresh() {
  "$kv7" clean "$1" >/dev/null
  rm -f "$2" "$2-journal"
  timed "$kv7" build "$1"
  expect "full deploy" "succeeded: $3 deployed, 0 unchanged, 0 failed"
}

# One measurement a line: "NAME ITEMS WALL CPU".
results=$work/results
: >"$results"
record() { echo "$1 $2 $3 $4" >>"$results"; }
figure() { awk -v n="$1" -v i="$2" -v c="${3:-3}" '$1 == n && $2 == i { print $c }' "$results"; }

all_sizes=$(printf '%s\n' "${sizes[@]}" "$noop_items" "$touch_items" | sort -nu)
for items in $all_sizes; do
  dir=$work/p$items project=$work/p$items/Bench.kv7p db=$work/p$items.db
  echo "-- $items items: generating" >&2
  mkdir -p "$dir"
  generate "$items" "$dir"
  "$kv7" connection add "p$items" --type sqlite --database "$db" >/dev/null
  "$kv7" config connection "$project" Debug "p$items" >/dev/null
  # The build's order, which raw_deploy follows.
  "$kv7" plan "$project" | awk -v d="$dir" '$1 == "deploy" { print d "/" $2 }' >"$work/list"
  [[ $(wc -l <"$work/list") -eq $items ]] || { echo "build_bench.sh: the plan lists $(wc -l <"$work/list") of $items items" >&2; exit 1; }

  if printf '%s\n' "${sizes[@]}" | grep -qx "$items"; then
    echo "-- $items items: full deploy, kv7, raw_deploy and --history, $deploy_runs runs each" >&2
    : >"$work/kv7_runs"
    : >"$work/raw_runs"
    : >"$work/history_runs"
    for ((r = 0; r < deploy_runs; r++)); do
      build_fresh "$project" "$db" "$items" >>"$work/kv7_runs"
      rm -f "$work/raw.db" "$work/raw.db-journal"
      timed "$raw" "$work/raw.db" "$work/list" >>"$work/raw_runs"
      rm -f "$work/raw.db" "$work/raw.db-journal"
      timed "$raw" --history "$work/raw.db" "$work/list" >>"$work/history_runs"
    done
    record deploy "$items" "$(median "$work/kv7_runs" 1)" "$(median "$work/kv7_runs" 2)"
    record raw "$items" "$(median "$work/raw_runs" 1)" "$(median "$work/raw_runs" 2)"
    record history "$items" "$(median "$work/history_runs" 1)" "$(median "$work/history_runs" 2)"
  else
    echo "-- $items items: first build" >&2
    build_fresh "$project" "$db" "$items" >"$work/first_run"
    record first "$items" "$(median "$work/first_run" 1)" "$(median "$work/first_run" 2)"
  fi

  echo "-- $items items: no-op build and one read of each file, $runs runs each" >&2
  : >"$work/noop_runs"
  : >"$work/read_runs"
  for ((r = 0; r < runs; r++)); do
    timed "$kv7" build "$project" >>"$work/noop_runs"
    expect "no-op build" "succeeded: 0 deployed, $items unchanged, 0 failed"
    timed "$raw" --read "$work/list" >>"$work/read_runs"
  done
  record noop "$items" "$(median "$work/noop_runs" 1)" "$(median "$work/noop_runs" 2)"
  record read "$items" "$(median "$work/read_runs" 1)" "$(median "$work/read_runs" 2)"

  if ((items == touch_items)); then
    echo "-- $items items: touch-all build, $runs runs" >&2
    : >"$work/touch_runs"
    # Each run moves the files a minute past the previous run's.
    stamp=$(($(date +%s) + 60))
    for ((r = 0; r < runs; r++)); do
      xargs -d '\n' touch -d "@$((stamp + 60 * r))" <"$work/list"
      if ((r == 0)); then
        "$kv7" plan "$project" >"$work/plan"
        grep -q ": $items to deploy, 0 to skip" "$work/plan" ||
          { echo "build_bench.sh: touching did not mark every item changed" >&2; exit 1; }
      fi
      timed "$kv7" build "$project" >>"$work/touch_runs"
      expect "touch-all build" "succeeded: 0 deployed, $items unchanged, 0 failed"
    done
    record touch "$items" "$(median "$work/touch_runs" 1)" "$(median "$work/touch_runs" 2)"
  fi
  rm -rf "$dir" "$db" "$db-journal" "$work/raw.db"
done

# The table: medians of wall seconds (CPU seconds in parentheses).
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v <= g ? "holds" : "FAILS") }'; }
printf '\n%-34s %6s  %-17s %-17s %7s  %-8s %s\n' measure items kv7_s base_s ratio goal verdict
for items in "${sizes[@]}"; do
  k=$(figure deploy "$items") b=$(figure raw "$items")
  ratio=$(awk -v k="$k" -v b="$b" 'BEGIN { printf "%.3f", k / b }')
  printf '%-34s %6s  %-17s %-17s %7s  %-8s %s\n' "full deploy (base: raw_deploy)" "$items" \
    "$k ($(figure deploy "$items" 4))" "$b ($(figure raw "$items" 4))" "$ratio" "<= 1.1" \
    "$(verdict "$ratio" 1.1)"
  # What the history row costs alone: raw_deploy keeping one per item.
  h=$(figure history "$items")
  ratio=$(awk -v h="$h" -v b="$b" 'BEGIN { printf "%.3f", h / b }')
  printf '%-34s %6s  %-17s %-17s %7s  %-8s %s\n' "  raw_deploy --history (same base)" "$items" \
    "$h ($(figure history "$items" 4))" "$b ($(figure raw "$items" 4))" "$ratio" - -
done
n=$(figure noop "$noop_items")
printf '%-34s %6s  %-17s %-17s %7s  %-8s %s\n' "no-op build" "$noop_items" \
  "$n ($(figure noop "$noop_items" 4))" - - "< 0.5 s" "$(verdict "$n" 0.4999)"
t=$(figure touch "$touch_items") n=$(figure noop "$touch_items") r=$(figure read "$touch_items")
b=$(awk -v n="$n" -v r="$r" 'BEGIN { printf "%.4f", n + r }')
ratio=$(awk -v t="$t" -v b="$b" 'BEGIN { printf "%.3f", t / b }')
printf '%-34s %6s  %-17s %-17s %7s  %-8s %s\n' "touch-all (base: no-op + read)" "$touch_items" \
  "$t ($(figure touch "$touch_items" 4))" "$b" "$ratio" "<= 2" "$(verdict "$ratio" 2)"

printf '\nother figures (median wall s, CPU s):\n'
for items in $all_sizes; do
  printf '  %6s items: no-op build %s (%s), one read of each file %s (%s)' "$items" \
    "$(figure noop "$items")" "$(figure noop "$items" 4)" "$(figure read "$items")" "$(figure read "$items" 4)"
  [[ -z $(figure first "$items") ]] || printf ', first build %s (%s)' "$(figure first "$items")" "$(figure first "$items" 4)"
  echo
done
