#!/usr/bin/env bash
# Set-up of a fresh Debian 12 machine, as root: installs the packages, builds,
# and then either runs the program on the sample report ("run") or runs every
# test, once with warnings as errors and once under AddressSanitizer and
# UBSan, then every fuzz target over its corpus and for a short while, and
# last builds, installs, tries and removes the Debian package ("test").
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
jobs=${KEL_JOBS:-2}

packages=(
  cmake g++ ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-svg-dev
  libzip-dev zipcmp zipmerge ziptool zip unzip
  libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation xdg-utils shared-mime-info libglib2.0-bin
  poppler-utils zbar-tools imagemagick xvfb xauth openbox
  cups cups-client cups-bsd printer-driver-cups-pdf libcups2-dev
  libfontconfig-dev libharfbuzz-dev libharfbuzz-subset0 zlib1g-dev libdeflate-dev
  python3 python3-pyftpdlib netcat-openbsd
  dpkg-dev mandoc man-db iproute2
  clang libclang-rt-14-dev
)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build() { # build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

install_packages
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/kel-ccache}

case "$mode" in
run)
  build build
  if [ -n "${DISPLAY:-}" ]; then
    exec ./build/bin/kel data/samples/sample.kel
  fi
  # No display: show what the viewer would, as files.
  ./build/bin/keltool settings data/samples/sample.kel
  ./build/bin/keltool render data/samples/sample.kel --page 1 -o build/sample-page1.png
  ./build/bin/keltool pdf data/samples/sample.kel -o build/sample.pdf
  echo "no display: the sample's first page is build/sample-page1.png, all pages build/sample.pdf"
  ;;
test)
  # A real print system for the printing tests.
  if cups_env=$(bash tools/cups-setup.sh); then
    export $cups_env
  else
    echo "setup: CUPS could not be started; the printing tests through CUPS are skipped" >&2
  fi
  build build -DKEL_WERROR=ON
  (cd build && ctest --output-on-failure -j "$jobs")
  build build-asan -DKEL_WERROR=ON -DKEL_SANITIZE=ON -DKEL_BUILD_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd build-asan && ctest --output-on-failure -j "$jobs")
  # The fuzz targets, built with clang in build-fuzz: each over its corpus,
  # then each for 20 s.
  bash tools/fuzz.sh --check 20
  # The Debian package of the first build: built, installed, run as its
  # unit runs it, removed.
  bash tests/install/test_package.sh build .
  ;;
*)
  echo "usage: tools/setup.sh run|test" >&2
  exit 2
  ;;
esac
