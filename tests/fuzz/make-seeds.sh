#!/usr/bin/env bash
# Writes the seed inputs of the kxpack inspect fuzzer into a folder: small
# installers made by `kxpack build` from a minimal stub (a PE header and one
# section holding the package certificate) and a tiny product, and variants
# that take inspect down its other paths. The committed corpus started from
# these; the fuzzer's finds were merged in afterwards.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: tests/fuzz/make-seeds.sh OUT_DIR

Builds kxpack (build/native) and writes into OUT_DIR:
  installer.exe     stub, licence, core and custom containers; verifies
  uninstaller.exe   the core container turned into an uninstall container
  cut.exe           the installer cut inside its core container
  no-cert.exe       the installer with its certificate marker broken
Keys and timestamps are new on each run, so the files differ every time.
EOF
}

case "${1:-}" in -h | --help) usage; exit 0 ;; esac
if [ $# -ne 1 ]; then
  usage >&2
  exit 2
fi

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$1
kxpack=$top/build/native/bin/kxpack
(cd "$top" && cmake --preset native >/dev/null && cmake --build build/native --target kxpack >/dev/null)

work=$(mktemp -d /tmp/kxpack-seeds-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

"$kxpack" keygen "$work/keys" >/dev/null 2>&1

# The stub: a 512-byte header and one section with the certificate behind its marker.
perl -e '
  local $/;
  open my $f, "<:raw", $ARGV[0] or die "$ARGV[0]: $!";
  my $cert = <$f>;
  my $data = "KXCERT01" . pack("V", length $cert) . $cert;
  $data .= "\0" x ((0x200 - length($data) % 0x200) % 0x200);
  my $image = "\0" x 0x200;
  my $pe = 0x80;
  my $table = $pe + 24 + 0xE0;
  substr($image, 0, 2) = "MZ";
  substr($image, 0x3C, 4) = pack("V", $pe);
  substr($image, $pe, 24) = "PE\0\0" . pack("vv", 0x14C, 1) . ("\0" x 12) . pack("vv", 0xE0, 0x102);
  substr($image, $table, 40) = ".rdata\0\0" . pack("VVVV", length $data, 0x1000, length $data, 0x200)
                               . ("\0" x 16);
  binmode STDOUT;
  print $image, $data;
' "$work/keys/package-cert.der" >"$work/stub.exe"

product=$work/product
mkdir -p "$product/licenses" "$product/program/sub" "$product/custom"
printf 'company_program=Seed Product\ncompany_program_brief=Seed\ncompany_name=Seed Company\nlink_name_1=Seed.lnk\nfile_name_1=app.exe\nicon_file_1=app.exe\nicon_index_1=0\n' \
  >"$product/setup.cfg"
printf 'Licence text.\n' >"$product/licenses/1033-english.txt"
printf '\xd0\x9b\xd0\xb8\xd1\x86\xd0\xb5\xd0\xbd\xd0\xb7\xd0\xb8\xd1\x8f\n' >"$product/licenses/1049-russian.txt"
printf 'MZ program' >"$product/program/app.exe"
# Incompressible, so that the archive is larger than two uninstall slots.
head -c 1200 /dev/urandom >"$product/program/sub/data.bin"
printf 'extra' >"$product/custom/extra.txt"
# A 2 x 1 BMP, 24 bits per pixel (the wizard wants 500 x 60; kxpack takes it when told).
perl -e 'binmode STDOUT; print "BM", pack("VvvV", 62, 0, 0, 54),
  pack("VllvvVVllVV", 40, 2, 1, 1, 24, 0, 8, 2835, 2835, 0, 0), "\xff\0\0\0\xff\0\0\0"' \
  >"$product/header.bmp"

"$kxpack" build --stub "$work/stub.exe" --key "$work/keys/package-key.pem" --product "$product" \
  --allow-any-bitmap-size --output "$out/installer.exe" 2>/dev/null

# Offsets of the containers: their magic is "KX24" in UTF-16LE.
offsets=$(perl -e 'local $/; binmode STDIN; my $s = <STDIN>; my $p = 0;
  while (($p = index($s, "K\0X\x002\x004\0", $p)) >= 0) { print "$p\n"; $p++ }' <"$out/installer.exe")
core=$(sed -n 2p <<<"$offsets")
custom=$(sed -n 3p <<<"$offsets")

# Type 4 (uninstall) and record id 6 (uninstall list) over the core container.
perl -e 'local $/; binmode STDIN; binmode STDOUT; my $s = <STDIN>; my ($core, $custom) = @ARGV;
  substr($s, $core + 16, 1) = "\x04"; substr($s, $core + 88, 1) = "\x06";
  print substr($s, 0, $custom)' "$core" "$custom" <"$out/installer.exe" >"$out/uninstaller.exe"
head -c $((core + 200)) "$out/installer.exe" >"$out/cut.exe"
perl -e 'local $/; binmode STDIN; binmode STDOUT; my $s = <STDIN>;
  $s =~ s/KXCERT01/KXCERT00/; print $s' <"$out/installer.exe" >"$out/no-cert.exe"
ls -l "$out"
