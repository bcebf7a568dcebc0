#!/usr/bin/env bash
# Sets up a fresh machine, builds kv7, and runs it or its tests.
#   ./dev.sh run     set up, build, run the main job
#   ./dev.sh test    set up, build, run every test
#   ./dev.sh build   set up and build only
set -euo pipefail
cd "$(dirname "$0")"

packages=(g++ cmake ninja-build pkg-config libxml2-dev libicu-dev libsqlite3-dev
          libssl-dev libpq-dev libgtest-dev libbenchmark-dev)

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

case "${1:-run}" in
  run)
    setup
    build
    ./build/bin/kv7 --help
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
