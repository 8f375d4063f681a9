#!/usr/bin/env bash
# Windows: cross-builds BRINOK.EXE with mingw-w64, checks that it is a GUI
# program (no console window) that imports only Windows' own DLLs, and runs the
# integration suite against it under Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."

need=()
{ command -v x86_64-w64-mingw32-g++ && command -v x86_64-w64-mingw32-objdump; } \
  >/dev/null || need+=(g++-mingw-w64-x86-64)
{ command -v wine && command -v wineserver; } >/dev/null || need+=(wine)
# Debian's wine runs 64-bit programs with the loader from the wine64 package.
if command -v dpkg >/dev/null && [ ! -x /usr/lib/wine/wine64 ]; then
  need+=(wine64)
fi
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

cmake --workflow --preset windows
exe="$PWD/build/windows/BRINOK.EXE"
ls -l "$exe"

# Subsystem 2 is the Windows GUI: started without a console window.
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
if ! grep -Eq '^Subsystem[[:space:]]+0+2[[:space:]]' <<<"$headers"; then
  echo "BRINOK.EXE is not a Windows GUI program:" >&2
  grep '^Subsystem' <<<"$headers" >&2
  exit 1
fi
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
echo "imports: $(tr '\n' ' ' <<<"$dlls")"
# Only DLLs every Windows has; a runtime DLL of the compiler (libstdc++,
# libgcc, libwinpthread) would have to be shipped alongside.
own='^(kernel32|user32|advapi32|ntdll|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
if foreign=$(grep -viE "$own" <<<"$dlls"); then
  echo "BRINOK.EXE imports DLLs that Windows does not have: $foreign" >&2
  exit 1
fi

# The native integration tests drive the Windows program.
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev
cmake --build --preset dev --target brinok_run_tests

# A private Wine, quiet, with the ANSI code page 1252.
export WINEPREFIX="$PWD/build/windows/wineprefix"
export WINEDEBUG=-all
export LANG=en_US.UTF-8
wine_log="$PWD/build/windows/wine-setup.log"
: >"$wine_log"
# One server for the whole suite, started with its helper processes before
# the first test: a process started by a test would otherwise keep the test's
# output pipe open. A server left over from an earlier use of the private
# prefix is replaced; ours is stopped however the script ends.
mkdir -p "$WINEPREFIX"
wineserver -k >>"$wine_log" 2>&1 || true
wineserver -w
wineserver -p </dev/null >>"$wine_log" 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' \
    wineboot -i </dev/null >>"$wine_log" 2>&1
fi
# A first run in an empty directory starts what Wine needs and shows that the
# exit status reaches the caller (3: no weather log).
empty=$(mktemp -d)
status=0
(cd "$empty" && wine "$exe" </dev/null >>"$wine_log" 2>&1) || status=$?
rmdir "$empty"
if [ "$status" -ne 3 ]; then
  echo "BRINOK.EXE under Wine in an empty directory: exit $status, not 3" >&2
  cat "$wine_log" >&2
  exit 1
fi

# The Windows-only tests run (and never skip) with BRINOK_TEST_PLATFORM set.
BRINOK_TEST_PLATFORM=windows BRINOK_TEST_COMMAND="wine $exe" \
  timeout 600 build/dev/tests/brinok_run_tests --gtest_brief=1
