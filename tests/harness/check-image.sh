#!/usr/bin/env bash
# Static checks of a built setup.exe and its sample installer, run without
# Wine, so that they hold also for an edition this machine cannot run:
#   - the machine and optional-header kind of the edition (i386 and PE32, or
#     AMD64 and PE32+), the GUI subsystem, a manifest of the same processor
#     architecture (the common controls of another one do not load);
#   - the imported DLLs: exactly the system DLLs below, nothing of the
#     compiler's runtime (the program is linked statically);
#   - the layout kxpack relies on: `kxpack inspect` of the sample installer
#     finds this edition, the package at the image's end, the certificate among
#     the image's resources, and verifies everything.
#
#   check-image.sh OBJDUMP x86|x64 SETUP_EXE KXPACK SAMPLE_INSTALLER
set -uo pipefail

if [ $# -ne 5 ]; then
  echo "usage: check-image.sh OBJDUMP x86|x64 SETUP_EXE KXPACK SAMPLE_INSTALLER" >&2
  exit 2
fi
objdump=$1 edition=$2 setup=$3 kxpack=$4 installer=$5

# What setup.exe imports, in lower case, sorted.
expected_dlls="advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll ws2_32.dll"

case $edition in
  x86) format=pei-i386 magic='010b	(PE32)' bits=32-bit arch=x86 ;;
  x64) format=pei-x86-64 magic='020b	(PE32+)' bits=64-bit arch=amd64 ;;
  *) echo "unknown edition: $edition (x86 or x64)" >&2; exit 2 ;;
esac

failures=0
check() { # description, then a command that succeeds when it holds
  local what=$1
  shift
  if "$@"; then
    echo "ok:     $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

headers=$("$objdump" -p "$setup" 2>&1) || { echo "$headers" >&2; echo "FAILED: $objdump cannot read $setup"; exit 1; }
has() { grep -qF -- "$1" <<<"$headers"; }
check "$setup is $format" has "file format $format"
check "optional header $magic" has "Magic			$magic"
check "Windows GUI subsystem" has "Subsystem		00000002	(Windows GUI)"
manifest_arch() { # every processorArchitecture in the image's manifest is ours
  local found
  found=$(grep -aoE 'processorArchitecture="[^"]*"' "$setup" | sort -u)
  [ "$found" = "processorArchitecture=\"$arch\"" ]
}
check "the manifest names processorArchitecture=\"$arch\"" manifest_arch

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ' | sed 's/ $//')
want=$(tr ' \n' '\n\n' <<<"$expected_dlls" | sed '/^$/d' | sort -u | tr '\n' ' ' | sed 's/ $//')
same_dlls() { [ "$dlls" = "$want" ]; }
check "imports exactly: $want" same_dlls
[ "$dlls" = "$want" ] || echo "        it imports: $dlls"

report=$("$kxpack" inspect --json "$installer" 2>&1)
status=$?
check "kxpack inspect verifies $(basename "$installer")" test "$status" -eq 0
[ "$status" -eq 0 ] || grep -A20 '"problems"' <<<"$report" | head -20
check "kxpack sees the $bits edition" grep -qF "\"edition\": \"$bits\"" <<<"$report"
image=$(sed -n 's/^ *"imageSize": \([0-9]*\),*$/\1/p' <<<"$report")
offset=$(sed -n 's/^ *"packageOffset": \([0-9]*\),*$/\1/p' <<<"$report")
check "the package starts at the image's end ($offset = $image)" test -n "$image" -a "$offset" = "$image"
check "the certificate is found among the image's resources" grep -qF "\"source\": \"in the image's resources\"" <<<"$report"

if [ "$failures" -gt 0 ]; then
  echo "$failures static check(s) failed for the $bits edition"
  exit 1
fi
echo "all static checks passed for the $bits edition"
