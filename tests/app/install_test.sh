#!/usr/bin/env bash
# cmake --install into a temporary prefix: both programs, a valid menu entry that starts
# the installed program, and its icon.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "install: $*"; exit 1; }
for program in vortuner vortuner-cli; do
  [ -x "$prefix/bin/$program" ] || fail "no bin/$program"
done
"$prefix/bin/vortuner-cli" --help | grep -q identify || fail "vortuner-cli does not run"
entry=$prefix/share/applications/vortuner.desktop
[ -f "$entry" ] || fail "no menu entry"
desktop-file-validate "$entry" || fail "the menu entry is not valid"
[ "$(sed -n 's/^Exec=//p' "$entry")" = vortuner ] || fail "the entry does not start vortuner"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -s "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon '$icon'"
echo "installed into a prefix"
