#!/usr/bin/env bash
# Usage: test_package.sh BUILD-DIR VERSION
# Builds the Debian package into a folder of the test's own: what it holds and depends on, and no
# lintian error. (Installing it on a fresh Debian root needs the network: scripts/check-deb.)
set -euo pipefail

build=$(cd "${1:?usage: test_package.sh BUILD-DIR VERSION}" && pwd)
version=${2:?usage: test_package.sh BUILD-DIR VERSION}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "$*" && failed=1; }

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch" >cpack.log 2>&1) ||
    { cat "$scratch/cpack.log" && exit 1; }
package=$scratch/kelvo_${version}_$(dpkg --print-architecture).deb
[ -f "$package" ] || { ls "$scratch" && echo "no $package" && exit 1; }

dpkg-deb --contents "$package" | awk '{ print $1, $NF }' >"$scratch/contents"
# The package installs what scripts/install does (install_layout checks that layout); here, what
# only the package holds, and the modes that its build gives.
while read -r mode path; do
    grep -qxF -e "$mode .$path" "$scratch/contents" || fail "the package lacks $path ($mode)"
done <<'FILES'
-rwxr-xr-x /usr/bin/kelvo
-rwxr-xr-x /usr/libexec/kelvo/kelvo-browser-host
-rw-r--r-- /etc/chromium/native-messaging-hosts/kelvo.browser_host.json
-rw-r--r-- /etc/xdg/autostart/kelvo.desktop
-rw-r--r-- /usr/share/doc/kelvo/copyright
-rw-r--r-- /usr/share/man/man1/kelvo.1.gz
-rw-r--r-- /usr/share/gnome-shell/extensions/foreground@kelvo.org/extension.js
-rw-r--r-- /usr/share/gnome-shell/extensions/foreground@kelvo.org/metadata.json
FILES
# Nothing from a build or a developer's machine: only the system folders the package owns.
if grep -v -E ' \./(usr/(bin|libexec/kelvo|share/(kelvo|applications|icons|doc|lintian|man|gnome-shell))|etc/(chromium|xdg)|usr/lib/mozilla)(/|$)' \
    "$scratch/contents" | grep -v -E ' \./(usr|usr/lib|usr/libexec|usr/share|etc)?/?$'; then
    fail "the package holds files outside Kelvo's folders (above)"
fi

depends=$(dpkg-deb --field "$package" Depends)
for needed in fonts-noto-cjk fonts-material-design-icons-iconfont libqt6svg6 libqt6widgets6 libxcb1 libc6; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
# /etc/opt belongs to no package: Chrome's manifest there is a link that postinst makes.
dpkg-deb --ctrl-tarfile "$package" | tar -xO ./postinst | grep -q /etc/opt/chrome/ ||
    fail "postinst does not link Chrome's host manifest"
conffiles=$(dpkg-deb --ctrl-tarfile "$package" | tar -xO ./conffiles)
[ "$(grep -c '^/etc/' <<<"$conffiles")" = "$(grep -c ' \./etc/.*[^/]$' "$scratch/contents")" ] ||
    fail "not every file under /etc is a conffile: $conffiles"

if ! lintian --fail-on error --no-tag-display-limit "$package" >"$scratch/lintian" 2>&1; then
    cat "$scratch/lintian" && fail "lintian finds errors"
fi
[ "$failed" = 0 ] || exit 1
echo "package: ok ($(du -k "$package" | cut -f1) KiB; lintian: $(grep -c '^[EW]:' "$scratch/lintian" || true) errors and warnings)"
