#!/usr/bin/env bash
# Installs the suite into a temporary prefix and uses it as an outside project would: a C program
# built with pkg-config and a CMake project with find_package(tovlink), both run against the
# installed simulator; the installed tov runs with the build tree out of sight.
# Usage: install_and_use.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill -TERM "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for path in bin/tov bin/tovsim bin/tovsetup bin/rdihost include/tovlink.h include/tov_types.h \
    include/tovrdi.h share/man/man1/tov.1 share/man/man1/tovsim.1 share/doc/tov/README.md; do
    [ -e "$prefix/$path" ] || fail "$path is not installed"
done
libdir=$(dirname "$(find "$prefix" -name 'libtovlink.so' | head -n1)")
[ -n "$libdir" ] || fail "libtovlink.so is not installed"
[ -e "$libdir/libtovrdi.so" ] || fail "libtovrdi.so is not installed"
[ -e "$libdir/libtovrdi_qt.so" ] || fail "libtovrdi_qt.so, the RDI library's dialog module, is not installed"
soname=$(readelf -d "$libdir/libtovlink.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ -e "$libdir/$soname" ] || fail "the SONAME $soname is not installed"

# The installed programs carry no path into the build tree and find the installed library.
for program in tov tovsim tovsetup rdihost; do
    if readelf -d "$prefix/bin/$program" | grep -E 'R(UN)?PATH' | grep -q "$build"; then
        fail "$program still looks for libraries in the build tree"
    fi
done
version=$(env -i "$prefix/bin/tov" --version) || fail "the installed tov does not run"
[[ "$version" =~ ^tov\ [0-9]+\.[0-9]+\.[0-9]+\ \(libtovlink\ [0-9]+\.[0-9]+\.[0-9]+\)$ ]] ||
    fail "unexpected version text: $version"
loaded=$(env -i LD_DEBUG=libs "$prefix/bin/tov" --version 2>&1 |
    sed -n 's/.*calling init: \(.*libtovlink[^ ]*\).*/\1/p' | head -n1)
[ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$libdir/$soname")" ] ||
    fail "tov loads '$loaded' instead of the installed library"
env -i "$prefix/bin/tovsim" --version | grep -q '^tovsim ' || fail "the installed tovsim does not run"

"$prefix/bin/tovsim" --serial "$work/tty" >"$work/ready" &
sim=$!
for _ in $(seq 50); do grep -q '^ready' "$work/ready" 2>/dev/null && break; sleep 0.1; done

cat >"$work/probe_info.c" <<'PROGRAM'
#include <stdio.h>
#include <tovlink.h>

int main(int argc, char** argv) {
    TargetInfo info;
    int32_t rc;
    if (argc != 2) return 2;
    rc = TOV_Connect(argv[1]);
    if (rc == 0) rc = TOV_InfoGet(&info);
    TOV_Disconnect();
    if (rc != 0) {
        fprintf(stderr, "%s\n", TOV_ErrorTextGet(rc));
        return 1;
    }
    printf("header %d.%d.%d library %s family %u\n", TOVLINK_VERSION_MAJOR, TOVLINK_VERSION_MINOR,
           TOVLINK_VERSION_PATCH, TOV_VersionGet(), (unsigned)info.family);
    return 0;
}
PROGRAM

# With pkg-config.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror -o "$work/with_pkgconfig" "$work/probe_info.c" \
    $(pkg-config --cflags --libs tovlink) -Wl,-rpath,"$libdir" || fail "the pkg-config build failed"
"$work/with_pkgconfig" "$work/tty 115200" | grep -q '^header .* library .* family ' ||
    fail "the pkg-config program did not talk to the simulator"

# With the CMake package.
mkdir -p "$work/project"
cp "$work/probe_info.c" "$work/project/"
cat >"$work/project/CMakeLists.txt" <<'PROJECT'
cmake_minimum_required(VERSION 3.25)
project(probe_info LANGUAGES C)
find_package(tovlink 0.1 REQUIRED)
add_executable(probe_info probe_info.c)
target_link_libraries(probe_info PRIVATE tov::tovlink)
PROJECT
cmake -S "$work/project" -B "$work/project/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null ||
    fail "find_package(tovlink) failed"
cmake --build "$work/project/build" >/dev/null || fail "the CMake project did not build"
"$work/project/build/probe_info" "$work/tty 115200" | grep -q '^header .* library .* family ' ||
    fail "the CMake program did not talk to the simulator"
# The Python package: where Debian's python3 looks below the prefix, finding the installed
# library and simulator, with the pytest plugin's entry point beside it.
if command -v /usr/bin/python3 >/dev/null; then
    package=$(find "$prefix" -path '*dist-packages/tovlink/__init__.py' | head -n1)
    [ -n "$package" ] || fail "the Python package is not installed"
    site=$(dirname "$(dirname "$package")")
    found=$(cd "$work" && env -i PYTHONPATH="$site" /usr/bin/python3 -c '
import importlib.metadata, os, tovlink, tovlink.sim
plugins = [e.value for e in importlib.metadata.entry_points(group="pytest11")]
print(os.path.realpath(tovlink.library_path()), tovlink.library_version(), *plugins)
print(os.path.realpath(tovlink.sim.simulator_path()))') || fail "the installed package does not load"
    [ "$found" = "$(realpath "$libdir/$soname") $(env -i "$prefix/bin/tov" --version |
        sed 's/^tov \([^ ]*\).*/\1/') tovlink.pytest_plugin
$(realpath "$prefix/bin/tovsim")" ] || fail "the installed package found: $found"
fi
echo "installed, built and ran against the simulator"
