#!/usr/bin/env bash
# Sets up a fresh machine, builds kv7, and runs it or its tests.
#   ./dev.sh run     set up, build, deploy the example project to SQLite
#   ./dev.sh test    set up, build, run every test
#   ./dev.sh build   set up and build only
set -euo pipefail
cd "$(dirname "$0")"

packages=(g++ cmake ninja-build pkg-config libxml2-dev libicu-dev libsqlite3-dev
          libssl-dev libpq-dev postgresql libgtest-dev libbenchmark-dev python3)

setup() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$(nproc)"
}

# The main job: deploy the example project's Debug configuration to its
# SQLite database, adding the example's connections to the catalogue when
# they are missing. A second run finds every item unchanged.
deploy_example() {
  local kv7=./build/bin/kv7
  local name database
  for connection in example-shop-debug:shop-debug.db example-shop:shop.db; do
    name=${connection%%:*}
    database=${connection#*:}
    "$kv7" connection show "$name" >/dev/null 2>&1 ||
      "$kv7" connection add "$name" --type sqlite --database "$database" --project-relative
  done
  "$kv7" build examples/shop/Shop.kv7p --config Debug
}

case "${1:-run}" in
  run)
    setup
    build
    deploy_example
    ;;
  test)
    setup
    build
    ctest --test-dir build --output-on-failure -j "$(nproc)"
    ;;
  build)
    setup
    build
    ;;
  *)
    echo "usage: ./dev.sh [run|test|build]" >&2
    exit 2
    ;;
esac
