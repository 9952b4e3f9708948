#!/usr/bin/env bash
# The README's quick start on the command line, exactly as written, on a copy of the
# records in examples/: every command succeeds, the model file equals the stored one, and
# every line of the stored JSON results comes out again (keys added later do not matter).
# Usage: readme_quick_start_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/examples"
cp "$source/examples/step-response.vtd" "$source/examples/logger.txt" "$work/examples/"
ln -s "$build" "$work/build"
commands=$(sed -n '/^    cd examples$/,/^$/p' "$source/README.md" | sed 's/^    //')
[ "$(grep -c vortuner-cli <<<"$commands")" -eq 3 ] || { echo "no quick start block in README.md"; exit 1; }
(cd "$work" && bash -euo pipefail -c "$commands")
cmp "$source/examples/step-response.vtm" "$work/examples/step-response.vtm"
for f in step-response-model.json step-response-tuning.json logger-model.json; do
  sed 's/,$//' "$work/examples/$f" >"$work/lines"
  while IFS= read -r line; do
    grep -qxF -- "${line%,}" "$work/lines" || { echo "$f: no longer gives: $line"; exit 1; }
  done <"$source/examples/$f"
done
echo "the README's quick start gives what examples/ holds"
