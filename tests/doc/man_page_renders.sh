#!/bin/sh
# The manual page renders without a single groff warning.
# Usage: man_page_renders.sh PAGE
set -eu
if ! command -v groff >/dev/null 2>&1; then
  echo "groff is not installed (apt-get install groff-base); test skipped"
  exit 77
fi
warnings="$(groff -t -man -Tutf8 -ww -z "$1" 2>&1)"
if [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  exit 1
fi
# The rendered text holds every section a reader looks for.
text="$(groff -t -man -Tutf8 -P-c "$1" 2>/dev/null | sed 's/.\x08//g')"
for section in NAME SYNOPSIS OPTIONS "THE SETUP FILE" "THE DATA FILE" "LABEL FILES" \
               "IMPORTING A TABLE" FILES "EXIT STATUS" EXAMPLES; do
  if ! printf '%s\n' "$text" | grep -qx "$section"; then
    echo "section missing: $section"
    exit 1
  fi
done
