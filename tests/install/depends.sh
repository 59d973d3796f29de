#!/usr/bin/env bash
# The client's Depends bring every QML module its pages import and every Qt
# plugin and QML plugin a started client loads: each file is looked up in the
# package database, and its package must be named (an optional plugin, such
# as an extra image format, may be recommended instead).
#   depends.sh PACKAGES_DIR SOURCE_DIR QMLIMPORTSCANNER QT_QML_DIR QT_PLUGIN_DIR HOST
set -euo pipefail
packages="$1" source="$2" scanner="$3" qml="$4" plugins="$5" host="$6"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "depends: $*" >&2; exit 1; }
export ASAN_OPTIONS=detect_leaks=0

deb="$(echo "$packages"/orvelle_*.deb)"
# The package names of a field, alternatives included, one a line.
named() { dpkg-deb -f "$deb" "$1" | tr ',|' '\n' | sed 's/^ *//; s/[ (].*//; /^$/d'; }
depends="$(named Depends)"
recommends="$(named Recommends)"
owner() { dpkg-query --search "$1" 2>/dev/null | sed 's/:.*//' | head -n1; }

# What the pages import, as the QML tools resolve it on this machine.
"$scanner" -rootPath "$source/src" -importPath "$qml" >"$work/scan.json"
grep -o '"path": "[^"]*"' "$work/scan.json" | sed 's/"path": "//; s/"$//' | sort -u \
  | while read -r module; do
    package="$(owner "$module/qmldir")"
    [ -n "$package" ] || fail "no package ships $module/qmldir"
    grep -qx "$package" <<<"$depends" || fail "$package ($module) is imported but not in Depends"
  done

# What a client loads on its way to the first screen.
dpkg-deb -x "$deb" "$work/root"
mkdir -p "$work/home" && mkdir -m 700 "$work/run"
env -u ORVELLE_CONFIG HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  ORVELLE_SERVICE_HOST="$host" ORVELLE_FILESTORE_HOST="$host" \
  LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loaded" \
  "$work/root/usr/bin/orvelle" --screenshot "$work/first.png" >/dev/null \
  || fail "the client did not reach its first screen"
loaded="$(cat "$work"/loaded.* | sed -n 's/.*calling init: //p' | sort -u)"
grep -q "^$qml/" <<<"$loaded" || fail "no QML plugin seen loading: is LD_DEBUG honoured?"
while read -r file; do
  package="$(owner "$file")"
  [ -n "$package" ] || fail "no package ships $file"
  if grep -qx "$package" <<<"$depends"; then continue; fi
  case "$file" in
    "$plugins"/*) grep -qx "$package" <<<"$recommends" \
      || fail "$package ($file) is loaded but neither in Depends nor in Recommends" ;;
    *) fail "$package ($file) is loaded but not in Depends" ;;
  esac
done < <(grep -E "^($qml|$plugins)/" <<<"$loaded")
echo "depends: every imported module and loaded plugin is brought by the package"
