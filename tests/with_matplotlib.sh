#!/bin/sh
# Runs Python with the given arguments, using the first interpreter that has
# numpy and matplotlib: /usr/bin/python3 (Debian's python3-matplotlib), then
# python3 on the PATH. Exits 77, which the test counts as skipped, when
# neither has them, or 1 if EPHEMERIS_REQUIRE_MATPLOTLIB is set (as in CI).
for python in /usr/bin/python3 python3; do
  if "$python" -c 'import numpy, matplotlib' >/dev/null 2>&1; then
    exec "$python" "$@"
  fi
done
echo "SKIPPED: no Python with numpy and matplotlib (on Debian: apt-get install python3-matplotlib)"
if [ -n "${EPHEMERIS_REQUIRE_MATPLOTLIB:-}" ]; then exit 1; fi
exit 77
