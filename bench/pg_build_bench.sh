#!/usr/bin/env bash
# Times a full `kv7 build` of generated projects deployed to PostgreSQL, and
# sets it against the same statements run without kv7: one psql session
# running every item in its own transaction (BEGIN, the item's text without
# its separator lines, COMMIT), in the build's order, into another fresh
# database of the same server.
#
#   bench/pg_build_bench.sh [KV7_BINARY] [ITEMS...]
#   bench/pg_build_bench.sh --generate ITEMS DIR   (writes DIR/Bench.kv7p only)
#
# KV7_BINARY defaults to $KV7, else build/bin/kv7 of this tree; ITEMS to
# 1000 and 5000 (multiples of five). Each size is timed $RUNS times (3), kv7
# and psql taking turns, each run into a database created just before it;
# the table gives the medians. Wall seconds come from the shell's clock
# around the process, CPU seconds (user + system, of the client process
# only: the server's work is in the wall time) from /usr/bin/time.
#
# The server is a throwaway one: initdb into a temporary directory (as the
# postgres user when this runs as root), listening on 127.0.0.1 at a free
# port, its socket in that directory, its settings the defaults (fsync on),
# stopped and removed at the end, also when the benchmark fails. kv7
# connects over TCP as a role with a password, which it reads with
# --password-stdin; psql finds the password in a .pgpass file of the
# temporary directory. The server's programs come from $PG_BIN, else
# `pg_config --bindir`, else the newest /usr/lib/postgresql/N/bin.
#
# Items come in groups of five, in the folders Tables, Indexes, Triggers,
# Views and Functions: a table t_I, an index on it, an item holding a
# plpgsql trigger function and the trigger that calls it (the statement
# separator between them), a view over the table and a SQL function
# counting its rows. The build deploys them in tree order: all tables, then
# the indexes, triggers, views and functions.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# item_program: the awk function item(k) that write_items (build_common.sh)
# calls for the k-th item, groups of 5 items to a table.
# shellcheck disable=SC2016
item_program='
    function item(k,  i, t) {
      i = int(k / 5); t = "t_" i
      if (k % 5 == 0)
        put("Tables/" t ".kv7tbl", "-- One row per " t " entry.\nCREATE TABLE " t " (\n" \
            "    id integer PRIMARY KEY,\n    name text NOT NULL,\n" \
            "    qty integer NOT NULL DEFAULT 0,\n    price numeric(12, 2),\n" \
            "    updated_at timestamptz\n);\n", "Tables")
      else if (k % 5 == 1)
        put("Indexes/" t "_name.kv7ind", "CREATE INDEX " t "_name ON " t " (name, qty);\n",
            "Indexes")
      else if (k % 5 == 2)
        put("Triggers/" t "_stamp.kv7tr", "-- Stamps changed rows.\n" \
            "CREATE FUNCTION " t "_stamp() RETURNS trigger\nLANGUAGE plpgsql AS $$\nBEGIN\n" \
            "    NEW.updated_at := now();\n    RETURN NEW;\nEND;\n$$;\n@\n" \
            "CREATE TRIGGER " t "_stamp BEFORE UPDATE OF qty, price ON " t "\n" \
            "    FOR EACH ROW EXECUTE FUNCTION " t "_stamp();\n", "Triggers")
      else if (k % 5 == 3)
        put("Views/v_" i ".kv7vw", "CREATE VIEW v_" i " AS\n" \
            "SELECT id, name, qty * price AS amount FROM " t " WHERE qty > 0;\n", "Views")
      else
        put("Functions/" t "_stock.kv7udf", "-- How many rows hold at least p_min.\n" \
            "CREATE FUNCTION " t "_stock(p_min integer) RETURNS bigint\n" \
            "LANGUAGE sql STABLE AS $$\n    SELECT count(*) FROM " t " WHERE qty >= p_min\n$$;\n",
            "Functions")
    }'

bench=pg_build_bench.sh
# shellcheck source=build_common.sh
source "$here/build_common.sh"
generate_if_asked "$@"
choose_kv7 "$@"
runs=${RUNS:-3}

# The server's programs.
pg_bin=${PG_BIN:-}
if [[ -z $pg_bin ]]; then
  for candidate in "$(pg_config --bindir 2>/dev/null || true)" $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -rV); do
    if [[ -n $candidate && -x $candidate/initdb && -x $candidate/pg_ctl ]]; then
      pg_bin=$candidate
      break
    fi
  done
fi
[[ -n $pg_bin && -x $pg_bin/initdb && -x $pg_bin/pg_ctl ]] ||
  { echo "pg_build_bench.sh: initdb and pg_ctl not found: install the postgresql package (or set PG_BIN)" >&2; exit 2; }
command -v psql >/dev/null || { echo "pg_build_bench.sh: psql not found" >&2; exit 2; }

# as_server COMMAND...: runs it as the server's user (postgres when root).
if [[ $(id -u) -eq 0 ]]; then
  id postgres >/dev/null 2>&1 ||
    { echo "pg_build_bench.sh: running as root, and there is no postgres user to run the server as" >&2; exit 2; }
  if command -v runuser >/dev/null; then
    as_server() { runuser -u postgres -- "$@"; }
  else
    as_server() { setpriv --reuid=postgres --regid=postgres --init-groups -- "$@"; }
  fi
else
  as_server() { "$@"; }
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kv7pgbuild.XXXXXX")
# The server's directory is its own: the server's user must reach it.
pgdir=$(mktemp -d /tmp/kv7-pgbench.XXXXXX)
server_started=
cleanup() {
  if [[ -n $server_started ]]; then
    as_server "$pg_bin/pg_ctl" -D "$pgdir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$work" "$pgdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
[[ $(id -u) -ne 0 ]] || chown postgres: "$pgdir"

# A catalogue of its own, and no tracing.
export KV7_HOME=$work/home
unset KV7_TRACE KV7_TRACE_FILE KV7_PASSWORD PGPASSWORD PGHOST PGPORT PGUSER PGDATABASE PGSERVICE
mkdir "$KV7_HOME"

echo "-- starting a PostgreSQL server ($pg_bin)" >&2
if ! as_server "$pg_bin/initdb" -D "$pgdir/data" -U postgres -E UTF8 --no-locale --no-sync \
    --auth-local=trust --auth-host=scram-sha-256 >"$pgdir/initdb.log" 2>&1; then
  echo "pg_build_bench.sh: initdb failed:" >&2
  tail -5 "$pgdir/initdb.log" >&2
  exit 1
fi
# A port that nothing listens on; another process may take it before the
# server binds it, hence the tries.
port=
for ((attempt = 0; attempt < 5; attempt++)); do
  candidate=$((20000 + RANDOM % 40000))
  if (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then continue; fi
  if as_server "$pg_bin/pg_ctl" -D "$pgdir/data" -w -t 60 -l "$pgdir/server.log" \
      -o "-p $candidate -k $pgdir -c listen_addresses=127.0.0.1" start >/dev/null 2>&1; then
    port=$candidate
    server_started=1
    break
  fi
done
[[ -n $port ]] || { echo "pg_build_bench.sh: the server did not start:" >&2; tail -5 "$pgdir/server.log" >&2; exit 1; }

# The role that deploys, with a password of this run; psql reads it from a
# .pgpass file.
role=kv7_bench
password=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
export PGPASSFILE=$work/pgpass
(umask 077 && printf '127.0.0.1:%s:*:%s:%s\n' "$port" "$role" "$password" >"$PGPASSFILE")
admin() { psql -X -q -v ON_ERROR_STOP=1 -h "$pgdir" -p "$port" -U postgres -d postgres "$@" >/dev/null; }
# The statement is read from stdin: the password goes on no command line.
printf "CREATE ROLE %s LOGIN PASSWORD '%s';\n" "$role" "$password" | admin -f -

# fresh_database NAME: drops it when it exists and creates it empty.
fresh_database() {
  admin -c "SET client_min_messages TO warning" -c "DROP DATABASE IF EXISTS $1" -c "CREATE DATABASE $1 OWNER $role"
}

# count DATABASE: how many tables, indexes, triggers, views and functions
# of the public schema it holds, as one line.
count() {
  psql -X -q -At -h "$pgdir" -p "$port" -U postgres -d "$1" -c "
    SELECT (SELECT count(*) FROM pg_tables WHERE schemaname = 'public') || ' ' ||
           (SELECT count(*) FROM pg_indexes WHERE schemaname = 'public') || ' ' ||
           (SELECT count(*) FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid
              JOIN pg_namespace n ON n.oid = c.relnamespace
             WHERE n.nspname = 'public' AND NOT t.tgisinternal) || ' ' ||
           (SELECT count(*) FROM pg_views WHERE schemaname = 'public') || ' ' ||
           (SELECT count(*) FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
             WHERE n.nspname = 'public')"
}

results=$work/results
: >"$results"
for items in "${sizes[@]}"; do
  dir=$work/p$items project=$work/p$items/Bench.kv7p
  kv7_db=kv7_p$items raw_db=raw_p$items
  echo "-- $items items: generating" >&2
  mkdir -p "$dir"
  generate "$items" "$dir"
  printf '%s\n' "$password" |
    "$kv7" connection add "p$items" --type postgresql --server "127.0.0.1:$port" \
      --database "$kv7_db" --user "$role" --password-stdin >/dev/null
  "$kv7" config connection "$project" Debug "p$items" >/dev/null

  # The build's order, which the psql script follows: per item BEGIN, its
  # text without the separator lines, COMMIT.
  "$kv7" plan "$project" | awk -v d="$dir" '$1 == "deploy" { print d "/" $2 }' >"$work/list"
  [[ $(wc -l <"$work/list") -eq $items ]] ||
    { echo "pg_build_bench.sh: the plan lists $(wc -l <"$work/list") of $items items" >&2; exit 1; }
  xargs -d '\n' awk '
    FNR == 1 { if (NR > 1) print "COMMIT;"; print "BEGIN;" }
    $0 !~ /^[ \t\r]*@[ \t\r]*$/ { print }
    END { if (NR > 0) print "COMMIT;" }' <"$work/list" >"$work/raw.sql"
  # xargs may split the list over several awk processes: count what came out.
  [[ $(grep -c '^BEGIN;$' "$work/raw.sql") -eq $items && $(grep -c '^COMMIT;$' "$work/raw.sql") -eq $items ]] ||
    { echo "pg_build_bench.sh: the psql script does not hold $items transactions" >&2; exit 1; }

  echo "-- $items items: full deploy, kv7 and psql, $runs runs each" >&2
  : >"$work/kv7_runs"
  : >"$work/raw_runs"
  for ((r = 0; r < runs; r++)); do
    "$kv7" clean "$project" >/dev/null
    fresh_database "$kv7_db"
    timed "$kv7" build "$project" >>"$work/kv7_runs"
    grep -Eq "succeeded: $items deployed, 0 unchanged, 0 failed" "$work/out" || {
      echo "pg_build_bench.sh: unexpected build result:" >&2
      tail -3 "$work/out" >&2
      exit 1
    }
    fresh_database "$raw_db"
    timed psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U "$role" -d "$raw_db" \
      -f "$work/raw.sql" >>"$work/raw_runs"
  done
  # Both databases hold the same objects.
  kv7_objects=$(count "$kv7_db") raw_objects=$(count "$raw_db")
  [[ $kv7_objects == "$raw_objects" ]] ||
    { echo "pg_build_bench.sh: kv7 made $kv7_objects, psql $raw_objects (tables indexes triggers views functions)" >&2; exit 1; }
  echo "   objects in each database (tables indexes triggers views functions): $kv7_objects" >&2
  echo "$items $(median "$work/kv7_runs" 1) $(median "$work/kv7_runs" 2) $(median "$work/raw_runs" 1) $(median "$work/raw_runs" 2)" >>"$results"
  admin -c "DROP DATABASE $kv7_db" -c "DROP DATABASE $raw_db"
  "$kv7" connection remove "p$items" >/dev/null
  rm -rf "$dir"
done

# The table: medians of wall seconds (CPU seconds in parentheses).
printf '\n%-6s  %-17s %-17s %9s %9s  %-7s %s\n' items kv7_s psql_s wall_ratio cpu_ratio goal verdict
while read -r items kw kc rw rc; do
  ratio=$(awk -v k="$kw" -v b="$rw" 'BEGIN { printf "%.3f", k / b }')
  cpu_ratio=$(awk -v k="$kc" -v b="$rc" 'BEGIN { if (b > 0) printf "%.2f", k / b; else print "-" }')
  verdict=$(awk -v v="$ratio" 'BEGIN { print (v <= 1.1 ? "holds" : "FAILS") }')
  printf '%-6s  %-17s %-17s %9s %9s  %-7s %s\n' "$items" "$kw ($kc)" "$rw ($rc)" "$ratio" "$cpu_ratio" "<= 1.1" "$verdict"
done <"$results"
printf '\nmedians of %s runs: wall seconds (client CPU seconds); the goal is on wall time\n' "$runs"
