#!/usr/bin/env bash
# Makes the Debian package of this build tree, has lintian judge it, unpacks
# it into a fresh root and starts the installed client offscreen against the
# installed dev service: a file missing from the package fails here.
#   package.sh BUILD_DIR HOST APP_ID
set -euo pipefail
build="$1" host="$2" id="$3"
work="$(mktemp -d)"
dev_pid=""
cleanup() {
  [ -n "$dev_pid" ] && kill "$dev_pid" 2>/dev/null && wait "$dev_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package: $*" >&2; exit 1; }
# A sanitized build's programs: leaks are the other tests' business.
export ASAN_OPTIONS=detect_leaks=0

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
deb="$(echo "$work"/out/*.deb)"
[ -f "$deb" ] || fail "cpack made no .deb"

# dpkg-shlibdeps named the packages of the linked libraries.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6core6 libqt6quick6 libqt6network6; do
  grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
# Nothing of the build machine beyond /usr.
outside="$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./usr/\|^\./$' || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"

lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"

root="$work/root"
dpkg -x "$deb" "$root"
for file in bin/orvelle bin/orvelle-devserver share/applications/"$id".desktop \
  share/metainfo/"$id".metainfo.xml share/icons/hicolor/scalable/apps/"$id".svg \
  share/doc/orvelle/copyright; do
  [ -s "$root/usr/$file" ] || fail "the package lacks /usr/$file"
done
# The camera, the scanner and the scan sound live in a plugin beside it.
[ -n "$(find "$root/usr/lib" -name liborvelle-media.so -size +0)" ] \
  || fail "the package lacks the media plugin"
grep -qE "(^|, )libqt6multimedia6( |,|$)" <<<"$depends" || fail "Depends lacks libqt6multimedia6"
# The metadata names the desktop entry that was installed beside it.
appstreamcli validate-tree --no-net "$root" >"$work/tree.log" 2>&1 \
  || { cat "$work/tree.log"; fail "the installed metadata does not hold together"; }

# The metadata and the package announce the version the client reports.
read -r _ version _ build_number <<<"$("$root/usr/bin/orvelle" --version | tr -d '()')"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" \
  || fail "the metainfo has no release $version"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-$build_number" ] || fail "package version"

"$root/usr/bin/orvelle-devserver" --data "$work/dev" --listen "$host" >"$work/dev.log" 2>&1 &
dev_pid=$!
for _ in $(seq 600); do
  grep -q "^orvelle-devserver: ready" "$work/dev.log" && break
  kill -0 "$dev_pid" 2>/dev/null || { cat "$work/dev.log"; fail "the dev service ended"; }
  sleep 0.2
done
grep -q "^orvelle-devserver: ready" "$work/dev.log" || fail "the dev service is not ready"

cat >"$work/orvelle.conf" <<CONF
[service]
host = $host
[filestore]
host = $host
[site]
url = http://$host:50080/site/
[tls]
ca_file = $work/dev/tls/ca.pem
CONF
shot="$work/first.png"
mkdir -p "$work/home" && mkdir -m 700 "$work/run"
env -u ORVELLE_CONFIG HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/orvelle" --config "$work/orvelle.conf" --screenshot "$shot" \
  || fail "the installed client did not draw its first screen"
[ "$(od -An -tx1 -N8 "$shot" | tr -d ' ')" = 89504e470d0a1a0a ] || fail "no PNG at $shot"
echo "package: $(basename "$deb") installs and starts"
