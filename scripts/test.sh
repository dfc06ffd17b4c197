#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh), builds everything and runs every
# test. This is the README's test command and what CI runs.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

bash scripts/setup.sh
printf '\n== build and test: kxpack and the native tests\n'
cmake --workflow --preset native
# The Windows side needs kxpack for its keys, the sample installer and tests.
printf '\n== build and test: setup.exe and its Windows-side tests under Wine\n'
cmake --workflow --preset mingw
