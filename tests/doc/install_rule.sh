#!/bin/sh
# cmake --install puts the program and its manual page under a prefix.
# Usage: install_rule.sh BUILD_DIR SOURCE_DIR
set -eu
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/orthaxis" || { echo "missing: bin/orthaxis"; exit 1; }
cmp "$2/doc/orthaxis.1" "$prefix/share/man/man1/orthaxis.1"
version="$("$prefix/bin/orthaxis" --version)"
case "$version" in
  "orthaxis "*) ;;
  *) echo "installed program answers --version with: $version"; exit 1 ;;
esac
