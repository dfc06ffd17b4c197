#!/bin/sh
# Writes a UTF-8 text file as UTF-16LE with a byte order mark and CR LF line
# ends, the form of the program's built-in licence texts.
#   utf16-text.sh IN OUT
set -e
{ printf '\377\376'; sed 's/$/\r/' "$1" | iconv -f UTF-8 -t UTF-16LE; } > "$2.tmp"
mv "$2.tmp" "$2"
