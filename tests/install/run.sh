#!/usr/bin/env bash
# Installs a built tree into a prefix of its own under /tmp and uses it as another project would:
# the headers alone, a consumer found by CMake and by pkg-config, the library's SONAME, the
# version, the desktop entry. Usage: run.sh BUILD_DIR (configured and built, see the Makefile).
set -euo pipefail

build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
libdir=$(cache_value CMAKE_INSTALL_LIBDIR)

work=$(mktemp -d /tmp/vexa-install-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
include=$prefix/include/vexa

fail() {
  echo "install check: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

# Installed headers include each other (quoted, and installed) and the C++ standard library only:
# no FFmpeg, Cairo or nlohmann, nothing left in the source tree.
mapfile -t headers < <(cd "$include" && find . -name '*.h' | sed 's|^\./||' | sort)
[ ${#headers[@]} -gt 0 ] || fail "no headers under $include"
for header in "${headers[@]}"; do
  while read -r line; do
    if [[ $line =~ ^#include\ \"(.+)\"$ ]]; then
      [ -f "$include/${BASH_REMATCH[1]}" ] || fail "$header includes ${BASH_REMATCH[1]}, not installed"
    elif ! [[ $line =~ ^#include\ \<[a-z_]+\>$ ]]; then
      fail "$header: '$line' is not the C++ standard library"
    fi
  done < <(grep '^#include' "$include/$header")
done
printf '#include "%s"\n' "${headers[@]}" | c++ -std=c++20 -fsyntax-only -I"$include" -x c++ - \
  || fail "the installed headers do not compile on their own"

soname=$(readelf -d "$prefix/$libdir/libvexa.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libvexa.so.1 ] || fail "SONAME '$soname', not libvexa.so.1"

export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
pc_version=$(pkg-config --modversion vexa)
[ "$pc_version" = "$version" ] || fail "pkg-config says version '$pc_version', not $version"

desktop-file-validate "$prefix/share/applications/vexa-viewer.desktop" \
  || fail "the desktop entry does not validate"
for program in vexa-viewer vexa-camera; do
  [ -x "$prefix/bin/$program" ] || fail "no $program in $prefix/bin"
done

expected=$(printf "before: ''\nafter: '%s'\nby name: '%s'" "$version" "$version")
check_consumer() {
  local how=$1 program=$2 output
  # Not grep -q: ldd would die of SIGPIPE, and pipefail fail the check.
  ldd "$program" | grep -F "libvexa.so.1 => $prefix/$libdir/libvexa.so.1" >/dev/null \
    || fail "the $how consumer does not load the installed libvexa"
  output=$("$program") || fail "the $how consumer exited $?"
  [ "$output" = "$expected" ] || fail "the $how consumer printed:"$'\n'"$output"
  echo "install check: $how consumer ok"
}

cmake -S "$here" -B "$work/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
check_consumer find_package "$work/cmake/consumer"

# shellcheck disable=SC2046  # pkg-config's flags are words
c++ -std=c++20 -O1 "$here/consumer.cpp" -o "$work/pkg-config-consumer" \
  $(pkg-config --cflags --libs vexa) -Wl,-rpath,"$prefix/$libdir"
check_consumer pkg-config "$work/pkg-config-consumer"

echo "install check: vexa $version installs and links (SONAME $soname)"
