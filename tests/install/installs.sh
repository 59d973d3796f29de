#!/usr/bin/env bash
# Has lintian judge the Debian packages of this build tree, unpacks them into
# a fresh root and starts the installed client offscreen against the
# installed dev service: a file missing from a package fails here.
#   installs.sh PACKAGES_DIR HOST APP_ID
set -euo pipefail
packages="$1" host="$2" id="$3"
work="$(mktemp -d)"
dev_pid=""
cleanup() {
  if [ -n "$dev_pid" ]; then kill "$dev_pid" 2>/dev/null || true; wait "$dev_pid" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package: $*" >&2; exit 1; }
# A sanitized build's programs: leaks are the other tests' business.
export ASAN_OPTIONS=detect_leaks=0

client="$(echo "$packages"/orvelle_*.deb)"
devserver="$(echo "$packages"/orvelle-devserver_*.deb)"
has() { grep -qE "(^|, )$2( |,|$)" <<<"$(dpkg-deb -f "$1" "${3:-Depends}")"; }

# dpkg-shlibdeps named the packages of the linked libraries, the media
# plugin's too; a phone's client does not bring the dev service.
for lib in libc6 libqt6core6 libqt6quick6 libqt6network6 libqt6multimedia6; do
  has "$client" "$lib" || fail "the client's Depends lack $lib"
done
has "$devserver" openssl || fail "the dev service's Depends lack openssl"
for field in Depends Recommends Suggests; do
  has "$client" orvelle-devserver "$field" && fail "the client's $field name orvelle-devserver"
done
# Nothing of the build machine beyond /usr, but the client's conffile.
outside="$(for deb in "$client" "$devserver"; do dpkg-deb -c "$deb"; done | awk '{print $6}' \
  | grep -v '^\./usr/\|^\./$\|^\./etc/$\|^\./etc/orvelle/$\|^\./etc/orvelle/orvelle\.conf$' || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"
dpkg-deb --ctrl-tarfile "$client" | tar -xO ./conffiles | grep -qx /etc/orvelle/orvelle.conf \
  || fail "/etc/orvelle/orvelle.conf is not a conffile"

lintian --fail-on error --tag-display-limit 0 "$client" "$devserver" || fail "lintian found errors"

root="$work/root"
dpkg -x "$client" "$root"
dpkg -x "$devserver" "$root"
for file in usr/bin/orvelle usr/bin/orvelle-devserver usr/share/applications/"$id".desktop \
  usr/share/metainfo/"$id".metainfo.xml usr/share/icons/hicolor/scalable/apps/"$id".svg \
  usr/share/doc/orvelle/copyright usr/share/doc/orvelle-devserver/copyright \
  usr/share/man/man1/orvelle.1.gz usr/share/man/man1/orvelle-devserver.1.gz; do
  [ -s "$root/$file" ] || fail "the packages lack /$file"
done
# The camera, the scanner and the scan sound live in a plugin in the
# multiarch library folder.
[ -s "$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/orvelle/liborvelle-media.so" ] \
  || fail "the package lacks the media plugin"
# The metadata names the desktop entry that was installed beside it.
appstreamcli validate-tree --no-net "$root" >"$work/tree.log" 2>&1 \
  || { cat "$work/tree.log"; fail "the installed metadata does not hold together"; }

# The metadata and the package announce the version the client reports.
read -r _ version _ build_number <<<"$("$root/usr/bin/orvelle" --version | tr -d '()')"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" \
  || fail "the metainfo has no release $version"
for deb in "$client" "$devserver"; do
  [ "$(dpkg-deb -f "$deb" Version)" = "$version-$build_number" ] || fail "version of $deb"
done

"$root/usr/bin/orvelle-devserver" --data "$work/dev" --listen "$host" >"$work/dev.log" 2>&1 &
dev_pid=$!
for _ in $(seq 600); do
  grep -q "^orvelle-devserver: ready" "$work/dev.log" && break
  kill -0 "$dev_pid" 2>/dev/null || { cat "$work/dev.log"; fail "the dev service ended"; }
  sleep 0.2
done
grep -q "^orvelle-devserver: ready" "$work/dev.log" || fail "the dev service is not ready"

# The installed example, every key commented out, changes nothing; the
# settings a test needs come after it.
{
  cat "$root/etc/orvelle/orvelle.conf"
  printf '%s\n' "[service]" "host = $host" "[filestore]" "host = $host" \
    "[site]" "url = http://$host:50080/site/" "[tls]" "ca_file = $work/dev/tls/ca.pem"
} >"$work/orvelle.conf"
shot="$work/first.png"
mkdir -p "$work/home" && mkdir -m 700 "$work/run"
env -u ORVELLE_CONFIG HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/orvelle" --config "$work/orvelle.conf" --screenshot "$shot" \
  || fail "the installed client did not draw its first screen"
[ "$(od -An -tx1 -N8 "$shot" | tr -d ' ')" = 89504e470d0a1a0a ] || fail "no PNG at $shot"
echo "package: $(basename "$client") and $(basename "$devserver") install and start"
