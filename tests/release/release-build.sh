#!/usr/bin/env bash
# A release as a release engineer makes it, from the Debian package alone:
# the package unpacked (dpkg -x) into a scratch root, and with nothing but
# what it holds (kxpack and its stubs) a key pair made, the sample product
# given a version, an installer of each edition built with --edition, and
# each inspected. The Windows-side release_tests then install them.
#
#   release-build.sh DEB WORK_DIR SAMPLE_DIR PROGRAM_DIR OUT_DIR [THIS_STUB EDITION]
#
# DEB the package (build/native/kxsetup_<version>_amd64.deb); WORK_DIR a
# scratch folder (made anew); SAMPLE_DIR examples/sample; PROGRAM_DIR its
# program files as the build staged them (with terminal.exe); OUT_DIR gets
# release-setup-32.exe, release-setup-64.exe, and release-setup.ico and
# release-product.cfg, the icon and configuration they were built from.
# With THIS_STUB (this build's setup.exe) and EDITION (32 or 64), the
# package's stub of that edition must be that file: a package made before
# the stub was last built would test an old setup program.
set -euo pipefail

if [ $# -ne 5 ] && [ $# -ne 7 ]; then
  echo "usage: release-build.sh DEB WORK_DIR SAMPLE_DIR PROGRAM_DIR OUT_DIR [THIS_STUB EDITION]" >&2
  exit 2
fi
deb=$1 work=$2 sample=$3 program=$4 out=$5 this_stub=${6:-} this_edition=${7:-}
version=2.4.1.7

fail() {
  echo "release-build: $*" >&2
  exit 1
}
# Each step's command shown, then run; its failure names it.
step() {
  printf '+ %s\n' "$*" >&2
  "$@" || fail "failed ($?): $*"
}

[ -f "$deb" ] || fail "$deb does not exist: make the package first (cmake --build --preset native --target package)"

rm -rf "$work"
mkdir -p "$work" "$out"
step dpkg -x "$deb" "$work/root"
kxpack=$work/root/usr/bin/kxpack
stubs=$work/root/usr/share/kxsetup/stubs
for file in "$kxpack" "$stubs/setup-32.exe" "$stubs/setup-64.exe"; do
  [ -f "$file" ] || fail "the package holds no ${file#"$work/root"}"
done
if [ -n "$this_stub" ] && ! cmp -s "$this_stub" "$stubs/setup-$this_edition.exe"; then
  fail "the package's setup-$this_edition.exe is not this build's $this_stub: make the package again" \
    "(cmake --build --preset native --target package)"
fi
# The package's version is the one kxpack gives.
package_version=$(dpkg-deb -f "$deb" Version)
said=$("$kxpack" --version | head -n 1)
[ "$said" = "kxpack $package_version" ] || fail "kxpack --version says '$said', the package is $package_version"

# Nothing but the package's files: its kxpack is run from the scratch root
# and finds its stubs there.
step "$kxpack" keygen --subject "kxsetup release test key" "$work/keys"

product=$work/product
step cp -R "$sample" "$product"
rm -rf "$product/terminal"
# A line of its own, also after a last line without a line break.
[ -z "$(tail -c 1 "$product/setup.cfg")" ] || echo >>"$product/setup.cfg"
echo "product_version=$version" >>"$product/setup.cfg"
[ -f "$product/setup.ico" ] || fail "the sample product has no setup.ico"
step cp "$product/setup.ico" "$out/release-setup.ico"
step cp "$product/setup.cfg" "$out/release-product.cfg"

for edition in 32 64; do
  installer=$out/release-setup-$edition.exe
  rm -f "$installer"
  step "$kxpack" build --edition "$edition" --key "$work/keys/package-key.pem" --product "$product" \
    --program "$program" --strict --output "$installer"
  step "$kxpack" inspect "$installer" >"$work/inspect-$edition.txt"
  grep -q "^edition: *$edition-bit " "$work/inspect-$edition.txt" ||
    fail "kxpack inspect does not find the $edition-bit edition in $installer: $(grep '^edition' "$work/inspect-$edition.txt")"
  for shown in "icon:         16, 32, 48, 256 (PNG) pixels" "version:      file $version, product $version" \
    "certificate:  /CN=kxsetup release test key, "; do
    grep -qF "$shown" "$work/inspect-$edition.txt" || fail "kxpack inspect of $installer does not show '$shown'"
  done
done
# Authenticode over the rewritten image: a vendor's code-signing
# certificate (made here for the test) and osslsigncode, which the package
# recommends.
step openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign-key.pem" -out "$work/sign-cert.pem" \
  -subj "/CN=kxsetup release test signer" -days 30 -addext extendedKeyUsage=codeSigning
signed=$work/release-setup-$this_edition-signed.exe
step "$kxpack" build --edition "${this_edition:-64}" --key "$work/keys/package-key.pem" --product "$product" \
  --program "$program" --sign-cert "$work/sign-cert.pem" --sign-key "$work/sign-key.pem" --output "$signed"
step osslsigncode verify -CAfile "$work/sign-cert.pem" -in "$signed" >"$work/verify.txt"
step "$kxpack" inspect "$signed" >"$work/inspect-signed.txt"
grep -q "^Signature verification: ok" "$work/verify.txt" || fail "osslsigncode does not verify $signed"
grep -q "^authenticode: sha256, " "$work/inspect-signed.txt" ||
  fail "kxpack inspect of $signed does not show its Authenticode signature"

echo "release-build: release-setup-32.exe and release-setup-64.exe of version $version in $out"
