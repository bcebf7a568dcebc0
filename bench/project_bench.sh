#!/usr/bin/env bash
# Times `kv7 show` (open) and `kv7 upgrade` (open + save) as whole processes
# on generated projects of 10,000 and 50,000 items, and prints the medians
# of five runs each: wall seconds, CPU seconds (user + system) and peak RSS.
#
#   bench/project_bench.sh [KV7_BINARY] [ITEMS...]
#   bench/project_bench.sh --generate ITEMS DIR   (writes DIR/Bench.kv7p only)
#
# Each project has the seven default folders, each with two subfolders that
# each hold two more (49 folders, three levels). Half of the items sit in
# the seven top folders, the other half spread over the 42 subfolders; every
# item file exists on disk. The project file is written as kv7 writes it, so
# that a save reproduces it byte for byte (checked once per size).
set -euo pipefail

names=(Tables Indexes Triggers Views Procedures Functions Scripts)
types=(TablesFolder IndexesFolder TriggersFolder ViewsFolder ProceduresFolder FunctionsFolder ScriptsFolder)
extensions=(kv7tbl kv7ind kv7tr kv7vw kv7sp kv7udf kv7)
elements=(TableFile IndexFile TriggerFile ViewFile ProcedureFile FunctionFile ScriptFile)

# The number of items folder `k` of `m` gets out of `total`.
share() { echo $(($2 / $3 + ($1 < $2 % $3 ? 1 : 0))); }

# emit_folder DEPTH DIR NAME TYPE INDEX COUNT: the folder's element, its items
# (created on disk) and, above the third level, its two subfolders.
emit_folder() {
  local depth=$1 dir=$2 name=$3 type=$4 index=$5 count=$6
  local path="$dir${dir:+/}$name" tabs
  tabs=$(printf '%*s' "$depth" '' | tr ' ' '\t')
  mkdir -p "$project/$path"
  printf '%s<Folder>\r\n%s\t<Info>\r\n' "$tabs" "$tabs"
  printf '%s\t\t<Name>%s</Name>\r\n%s\t\t<Type>%s</Type>\r\n' "$tabs" "$name" "$tabs" "$type"
  printf '%s\t</Info>\r\n%s\t<Files>\r\n' "$tabs" "$tabs"
  local element=${elements[index]} extension=${extensions[index]} reference=${path//\//\\} k file
  for ((k = 0; k < count; k++)); do
    file="Item$k.$extension"
    : >"$project/$path/$file"
    printf '%s\t\t<%s>\r\n%s\t\t\t<FileInfo>\r\n' "$tabs" "$element" "$tabs"
    printf '%s\t\t\t\t<Reference>%s\\%s</Reference>\r\n' "$tabs" "$reference" "$file"
    printf '%s\t\t\t\t<IsReferenceRelative>1</IsReferenceRelative>\r\n' "$tabs"
    printf '%s\t\t\t</FileInfo>\r\n%s\t\t</%s>\r\n' "$tabs" "$tabs" "$element"
  done
  printf '%s\t</Files>\r\n%s\t<Folders>\r\n' "$tabs" "$tabs"
  if ((depth < 6)); then
    local sub
    for sub in 0 1; do
      emit_folder $((depth + 2)) "$path" "Sub$sub" UnknownFolder "$index" \
        "$(share $((next_sub++)) "$sub_items" 42)"
    done
  fi
  printf '%s\t</Folders>\r\n%s</Folder>\r\n' "$tabs" "$tabs"
}

# generate ITEMS DIR: the project DIR/Bench.kv7p and its item files.
generate() {
  local items=$1 t
  project=$2
  top_items=$(((items + 1) / 2)) sub_items=$((items / 2)) next_sub=0
  mkdir -p "$project"
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<KV7Project version="3">\r\n'
    printf '\t<Name>Bench</Name>\r\n\t<General>\r\n'
    for e in SccProjectName SccLocalPath SccAuxPath SccProvider; do printf '\t\t<%s></%s>\r\n' "$e" "$e"; done
    printf '\t</General>\r\n\t<Files>\r\n\t</Files>\r\n\t<Folders>\r\n'
    for t in "${!names[@]}"; do
      emit_folder 2 "" "${names[t]}" "${types[t]}" "$t" "$(share "$t" "$top_items" 7)"
    done
    printf '\t</Folders>\r\n</KV7Project>\r\n'
  } >"$project/Bench.kv7p"
}

if [[ ${1:-} == --generate ]]; then
  generate "$2" "$3"
  exit
fi

kv7=${1:-/tmp/bb/bin/kv7}
shift || true
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(10000 50000)
runs=5
work=$(mktemp -d "${TMPDIR:-/tmp}/kv7bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# median COLUMN: the median of one column of the runs' "wall cpu kilobytes".
median() { sort -g -k"$1","$1" "$work/runs" | awk -v c="$1" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'; }

# measure COMMAND...: prints the medians of $runs runs: wall seconds, CPU
# (user + system) seconds and peak RSS in MB.
measure() {
  local i
  : >"$work/runs"
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time" >>"$work/runs"
  done
  echo "$(median 1) $(median 2) $(($(median 3) / 1024))"
}

printf '%6s | %7s %7s %7s | %11s %11s %11s\n' items open_s cpu_s MB open+save_s cpu_s MB
declare -A open_s save_s open_c save_c
for items in "${sizes[@]}"; do
  generate "$items" "$work/p$items"
  file="$project/Bench.kv7p"
  cp "$file" "$work/original"
  "$kv7" upgrade "$file" >/dev/null
  cmp -s "$file" "$work/original" || echo "warning: a save changed the $items-item project" >&2
  read -r os oc om < <(measure "$kv7" show "$file")
  read -r ss sc sm < <(measure "$kv7" upgrade "$file")
  open_s[$items]=$os save_s[$items]=$ss open_c[$items]=$oc save_c[$items]=$sc
  printf '%6s | %7s %7s %7s | %11s %11s %11s\n' "$items" "$os" "$oc" "$om" "$ss" "$sc" "$sm"
  rm -rf "$project"
done
if [[ -n ${open_s[10000]:-} && -n ${open_s[50000]:-} ]]; then
  awk -v a="${open_s[10000]} ${open_s[50000]} ${save_s[10000]} ${save_s[50000]}" \
    -v c="${open_c[10000]} ${open_c[50000]} ${save_c[10000]} ${save_c[50000]}" 'BEGIN {
      split(a, w); split(c, u)
      printf "ratio 50k/10k: open %.2f (cpu %.2f), open+save %.2f (cpu %.2f)\n",
        w[2] / w[1], u[2] / u[1], w[4] / w[3], u[4] / u[3] }'
fi
