#!/usr/bin/env bash
# Checks what the install and the Debian package give a desktop:
#   check-package.sh BUILD_DIR
# the desktop entry (desktop-file-validate), the AppStream metadata
# (appstreamcli validate --no-net), the manual page (man --warnings), the
# files `cmake --install` puts down and the installed program answering
# --version, and the package that cpack makes (lintian: no error or warning).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
for tool in desktop-file-validate appstreamcli man lintian dpkg-deb cpack; do
  command -v "$tool" >/dev/null || { echo "check-package: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
work=$(mktemp -d /tmp/glimmet-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  failures=$((failures + 1))
  echo "FAIL: $*"
}

desktop-file-validate "$root/app/glimmet.desktop" || fail "desktop entry"
metainfo=("$build"/*.metainfo.xml)
[[ ${#metainfo[@]} == 1 && -f ${metainfo[0]} ]] || { echo "check-package: no metainfo in $build (configure first)"; exit 1; }
appstreamcli validate --no-net "${metainfo[0]}" >"$work/appstream.log" 2>&1 || {
  cat "$work/appstream.log"
  fail "AppStream metadata"
}
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/app/glimmet.1" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "manual page: $warnings"

# The install: every desktop file in its place, the program runnable there.
cmake --install "$build" --prefix "$work/usr" >/dev/null
installed=(
  bin/glimmet lib/glimmet/glimmet lib/glimmet/data share/applications/glimmet.desktop
  share/icons/hicolor/scalable/apps/glimmet.svg "share/metainfo/$(basename "${metainfo[0]}")"
  share/man/man1/glimmet.1.gz share/doc/glimmet/copyright share/doc/glimmet/changelog.gz
)
for f in "${installed[@]}"; do [[ -e $work/usr/$f ]] || fail "not installed: $f"; done
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/usr/bin/glimmet" --version) || fail "installed glimmet --version"
[[ $version == "glimmet "* ]] || fail "installed glimmet --version said: $version"
zcat "$work/usr/share/man/man1/glimmet.1.gz" | cmp -s - "$root/app/glimmet.1" || fail "installed manual page differs"

# The package: the same files, and lintian finds nothing to object to.
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"
  fail "cpack"
}
deb=("$work"/deb/*.deb)
if [[ -f ${deb[0]} ]]; then
  listing=$(dpkg-deb -c "${deb[0]}")
  for f in "${installed[@]}"; do grep -q " ./usr/$f" <<<"$listing" || fail "not in the package: $f"; done
  # lintian says so when it runs as root; that is no finding.
  lintian --fail-on error,warning --tag-display-limit 0 "${deb[0]}" 2> >(grep -v 'root privileges' >&2) ||
    fail "lintian"
fi

((failures == 0)) && echo "check-package: desktop entry, metadata, manual page, install and package pass"
((failures == 0))
