# Shared by build_bench.sh and pg_build_bench.sh, which source it after
# setting `item_program` (the awk function item(k) that writes the k-th item
# of a project with put(FILE, TEXT, FOLDER)), `bench` to their own name and
# `here` to this directory.

# write_items ITEMS DIR: the item files of DIR/Bench.kv7p, and for each
# folder DIR/FOLDER.list naming its files in the order they are added.
write_items() {
  mkdir -p "$2"/{Tables,Indexes,Triggers,Views,Functions}
  (cd "$2" && awk -v n="$1" '
    function put(file, text, folder) {
      printf "%s", text > file; close(file)
      print file > (folder ".list")
    }
    '"$item_program"'
    BEGIN { for (k = 0; k < n; k++) item(k) }')
}

# generate ITEMS DIR: a new project DIR/Bench.kv7p holding ITEMS items. The
# files are added a few thousand per call: the whole list would come near
# the system's limit on a command line's length at 50,000 items.
generate() {
  local items=$1 dir=$2 folder
  "$kv7" new "$dir/Bench.kv7p" >/dev/null
  write_items "$items" "$dir"
  for folder in Tables Indexes Triggers Views Functions; do
    [[ -s $dir/$folder.list ]] || continue
    (cd "$dir" && xargs -d '\n' -n 2000 "$kv7" add Bench.kv7p --to "$folder" <"$folder.list" >/dev/null)
    rm "$dir/$folder.list"
  done
}

# generate_if_asked ARGS...: for `--generate ITEMS DIR`, writes the project
# with a catalogue of its own and exits.
generate_if_asked() {
  [[ ${1:-} == --generate ]] || return 0
  [[ $# -eq 3 ]] || { echo "usage: $bench --generate ITEMS DIR" >&2; exit 2; }
  kv7=$(realpath "${KV7:-$here/../build/bin/kv7}")
  KV7_HOME=$(mktemp -d "${TMPDIR:-/tmp}/kv7home.XXXXXX")
  export KV7_HOME
  trap 'rm -rf "$KV7_HOME"' EXIT
  generate "$2" "$3"
  exit
}

# choose_kv7 ARGS...: sets `kv7` from a first argument that is not a number,
# else $KV7, else this tree's build/bin/kv7, and `sizes` from the numbers
# that follow (1000 and 5000 when none).
choose_kv7() {
  kv7=${KV7:-$here/../build/bin/kv7}
  if [[ $# -gt 0 && ! $1 =~ ^[0-9]+$ ]]; then
    kv7=$1
    shift
  fi
  kv7=$(realpath "$kv7")
  [[ -x $kv7 ]] || { echo "$bench: $kv7 is missing: build it first" >&2; exit 2; }
  sizes=("$@")
  [[ ${#sizes[@]} -gt 0 ]] || sizes=(1000 5000)
  local items
  for items in "${sizes[@]}"; do
    [[ $items =~ ^[0-9]+$ ]] || { echo "$bench: not a number of items: $items" >&2; exit 2; }
  done
}

# timed COMMAND...: runs it once, its output in $work/out, and prints its
# wall and CPU seconds. A failing command ends the benchmark.
timed() {
  local start end
  start=$EPOCHREALTIME
  if ! /usr/bin/time -f '%U %S' -o "$work/cpu" "$@" >"$work/out" 2>&1; then
    echo "$bench: failed: $*" >&2
    tail -5 "$work/out" >&2
    exit 1
  fi
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" '{ printf "%.4f %.2f\n", e - s, $1 + $2 }' "$work/cpu"
}

# median FILE COLUMN
median() { sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'; }
