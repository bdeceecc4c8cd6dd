#!/usr/bin/env bash
# Builds the Linux .deb (preset release) and the Windows .zip (preset
# windows), checks that each holds exactly the files it should, and runs the
# packaged Linux program on the packaged sample. Also checks that
# `cmake --install` lays out the same files as the .deb.
#
#   packaging/check_packages.sh            both packages
#   packaging/check_packages.sh deb        the .deb only
#   packaging/check_packages.sh zip        the .zip only
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C  # one sort order for the listings

what=${1:-all}
version=$(sed -n 's/^project(Varnex_data VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Compares a listing with the expected one, line by line, and shows both on
# a difference.
same_list() {
  local what=$1 expected=$2 actual=$3
  if [[ "$expected" != "$actual" ]]; then
    fail "$what"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
  fi
}

check_deb() {
  cmake --preset release >/dev/null
  cmake --build --preset release
  cpack --preset deb
  local deb=build/release/packages/varnex-data_${version}_amd64.deb
  [[ -f $deb ]] || { fail "no $deb"; return; }
  echo "== $deb"
  dpkg-deb --info "$deb"
  # Listings are read into variables first: `producer | grep -q` under
  # pipefail fails whenever grep stops reading before the producer is done.
  local contents depends
  contents=$(dpkg-deb --contents "$deb")
  depends=$(dpkg-deb --field "$deb" Depends)
  echo "$contents"

  local expected
  expected=$(printf '%s\n' \
    ./usr/ ./usr/bin/ ./usr/bin/Varnex_data \
    ./usr/share/ ./usr/share/doc/ ./usr/share/doc/varnex-data/ \
    ./usr/share/doc/varnex-data/README.md \
    ./usr/share/man/ ./usr/share/man/man1/ ./usr/share/man/man1/Varnex_data.1 | sort)
  same_list ".deb contents" "$expected" \
    "$(awk '{print $6}' <<<"$contents" | sort)"
  grep -q '^-rwxr-xr-x .* ./usr/bin/Varnex_data$' <<<"$contents" ||
    fail "Varnex_data is not installed executable"
  [[ $(dpkg-deb --field "$deb" Package) == varnex-data ]] || fail "package name"
  [[ $(dpkg-deb --field "$deb" Version) == "$version" ]] || fail "package version"
  grep -q 'libc6' <<<"$depends" || fail "Depends does not name libc6: $depends"

  # The packaged program on the packaged sample: three records of 300.
  dpkg-deb --extract "$deb" "$scratch/deb"
  cmp "$scratch/deb/usr/share/doc/varnex-data/README.md" README.md ||
    fail "README.md differs"
  cmp "$scratch/deb/usr/share/man/man1/Varnex_data.1" docs/Varnex_data.1 ||
    fail "manual page differs"
  mkdir "$scratch/run"
  cp examples/sample_export.txt "$scratch/run/"
  local status=0
  (cd "$scratch/run" &&
    printf 'sample_export.txt demo 1 2 1\n' |
    "$scratch/deb/usr/bin/Varnex_data" >console.txt) || status=$?
  [[ $status == 1 ]] || fail "packaged program ended with $status, not 1"
  [[ $(wc -l <"$scratch/run/demo_rms.txt") == 3 ]] ||
    fail "packaged program wrote $(wc -l <"$scratch/run/demo_rms.txt") RMS lines, not 3"
  grep -q ' last=300 ' "$scratch/run/console.txt" || fail "no 'last=300' in the transcript"

  # cmake --install lays out the same files.
  cmake --install build/release --prefix "$scratch/install/usr" >/dev/null
  same_list "cmake --install tree" \
    "$(echo "$expected" | grep -v '/$')" \
    "$(cd "$scratch/install" && find . -type f | sort)"
}

check_zip() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  cpack --preset windows
  local zip=build/windows/packages/Varnex_data-${version}-win64.zip
  [[ -f $zip ]] || { fail "no $zip"; return; }
  echo "== $zip"
  unzip -l "$zip"

  local top=Varnex_data-${version}-win64 expected
  expected=$(printf '%s\n' "$top/README.txt" "$top/Varnex_data.exe" "$top/sample_export.txt" | sort)
  same_list ".zip contents" "$expected" \
    "$(unzip -Z1 "$zip" | grep -v '/$' | sort)"

  unzip -q "$zip" -d "$scratch/zip"
  local dir=$scratch/zip/$top
  # Text for Windows: every line of the README ends in CR LF.
  [[ $(grep -c $'\r$' "$dir/README.txt") == $(wc -l <"$dir/README.txt") ]] ||
    fail "README.txt has lines without CR LF"
  grep -q "Varnex_data $version for Windows" "$dir/README.txt" ||
    fail "README.txt does not name version $version"
  cmp "$dir/sample_export.txt" examples/sample_export.txt || fail "sample_export.txt differs"
  # A Windows program that needs no DLL beyond the system's.
  local dlls
  dlls=$(x86_64-w64-mingw32-objdump -p "$dir/Varnex_data.exe" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')
  [[ $dlls == "KERNEL32.dll msvcrt.dll " ]] || fail "Varnex_data.exe imports $dlls"
}

case $what in
  all) check_deb; check_zip ;;
  deb) check_deb ;;
  zip) check_zip ;;
  *) echo "usage: $0 [all|deb|zip]" >&2; exit 2 ;;
esac

if ((failures)); then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
