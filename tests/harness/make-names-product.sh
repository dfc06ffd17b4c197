#!/usr/bin/env bash
# A product whose program files have names in many scripts, empty files,
# empty folders and deep folders, and the same files as ready ZIPs made by
# four real tools. Usage: make-names-product.sh OUT TERMINAL_EXE
#   OUT/program         the folder (with terminal.exe, which shortcut 1 starts)
#   OUT/zips/TOOL.zip   infozip, python, 7zip and bsdtar archives of it
set -euo pipefail
# The names are UTF-8 whatever the caller's locale.
export LC_ALL=C.UTF-8
out=$1
terminal=$2
rm -rf "$out"
program="$out/program"
mkdir -p "$program" "$out/zips"
cd "$program"
cp "$terminal" terminal.exe
# The sample configuration's second shortcut starts docs\manual.txt.
mkdir -p docs
printf 'manual\n' >docs/manual.txt
mkdir -p 'Руководство' 'Ελληνικά/Έγγραφα' '説明書' 'a/b/c/d/e/f/g/h/i/j' 'empty/inner' 'pkg/sub' 'Ünïcödé Ĺatin'
printf 'Руководство пользователя\n' >'Руководство/Руководство.txt'
printf 'Größe: 42\n' >'Größe.txt'
printf 'Καλημέρα\n' >'Ελληνικά/Έγγραφα/Καλημέρα.txt'
printf '説明\n' >'説明書/説明.txt'
printf '\xF0\x9F\x98\x80\n' >'emoji 😀 𝄞.txt'
printf 'deep\n' >'a/b/c/d/e/f/g/h/i/j/deep.txt'
printf 'café crème\n' >'Ünïcödé Ĺatin/café.txt'
: >'pkg/__init__.py'
: >'pkg/sub/__init__.py'
: >'Руководство/пусто.txt'
head -c 300000 /dev/urandom >'説明書/データ.bin'
# Every entry by its name, the folders' too, for the tools that take a list.
entries=(*)

cd "$program"
zip -q -r -X "$out/zips/infozip.zip" "${entries[@]}"
python3 - "$out/zips/python.zip" "${entries[@]}" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for top in sys.argv[2:]:
        archive.write(top)
        for root, folders, files in os.walk(top):
            for name in sorted(folders) + sorted(files):
                archive.write(os.path.join(root, name))
PY
7z a -tzip -bd -bso0 "$out/zips/7zip.zip" "${entries[@]}"
bsdtar --format zip -cf "$out/zips/bsdtar.zip" "${entries[@]}"
