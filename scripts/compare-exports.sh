#!/usr/bin/env bash
# Compares two exported folders, leaving out what an import does not carry
# back: the written-only externalprojects.xml, the related values of
# documents and the database key of a requirement in its resource files
# (keys are new). Exit 0 when the rest is byte-identical.
set -euo pipefail
a="$1"; b="$2"
strip() { grep -v -e '<VALUE fieldid=' -e '<RequirementID>' -e 'RELATEDVALUES' "$1" || true; }
status=0
( cd "$a" && find . -type f | sort ) > /tmp/qmxml_a.$$
( cd "$b" && find . -type f | sort ) > /tmp/qmxml_b.$$
if ! diff -q /tmp/qmxml_a.$$ /tmp/qmxml_b.$$ >/dev/null; then
  echo "the folders hold different files:"; diff /tmp/qmxml_a.$$ /tmp/qmxml_b.$$ | head; status=1
fi
while read -r f; do
  case "$f" in ./externalprojects.xml) continue ;; esac
  [ -f "$b/$f" ] || continue
  if ! cmp -s <(strip "$a/$f") <(strip "$b/$f"); then echo "differs: $f"; status=1; fi
done < /tmp/qmxml_a.$$
rm -f /tmp/qmxml_a.$$ /tmp/qmxml_b.$$
exit $status
