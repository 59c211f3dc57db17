#!/bin/sh
# Regenerates the binary fixtures tests/data/objects/*.bin from the text forms
# next to them with Free Pascal's converter (text2bin.pas), the independent
# oracle the component-stream tests compare against. Run from anywhere:
#   tests/platform/objects/oracle/make-fixtures.sh
# Look at a changed .bin (xxd) before committing it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../../../data/objects"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fpc -v0 -FU"$work" -o"$work/text2bin" "$here/text2bin.pas" >/dev/null
for text in "$data"/*.txt; do
    "$work/text2bin" "$text" "${text%.txt}.bin"
    echo "made ${text%.txt}.bin"
done
