#!/usr/bin/env bash
# Makes the Debian packages of this build tree into OUT (the other package
# tests read them from there).
#   make.sh BUILD_DIR OUT
set -euo pipefail
build="$1" out="$2"
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$build/tests/cpack.log" 2>&1 \
  || { cat "$build/tests/cpack.log"; echo "package: cpack failed" >&2; exit 1; }
for name in orvelle orvelle-devserver; do
  [ -f "$(echo "$out/${name}_"*.deb)" ] || { echo "package: cpack made no $name package" >&2; exit 1; }
done
