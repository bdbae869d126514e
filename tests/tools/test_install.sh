#!/usr/bin/env bash
# Usage: test_install.sh BUILD-DIR
# Installs system-wide into a staging folder (DESTDIR) and for a user with a home folder of the
# test's own, then checks that every piece is where the browsers look for it and that the host
# manifests name the installed host and the extension's real identity.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build=$(cd "${1:?usage: test_install.sh BUILD-DIR}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# check_install DESTDIR PREFIX CHROME-HOSTS CHROMIUM-HOSTS FIREFOX-HOSTS
check_install() {
    python3 - "$root/browser-extension/manifest.json" "$@" <<'PYTHON'
import base64, hashlib, json, os, sys, zipfile

extension_manifest, destdir, prefix, chrome, chromium, firefox = sys.argv[1:]
extension = json.load(open(extension_manifest))
digest = hashlib.sha256(base64.b64decode(extension["key"])).hexdigest()[:32]
chrome_id = "".join(chr(ord("a") + int(c, 16)) for c in digest)
gecko_id = extension["browser_specific_settings"]["gecko"]["id"]
host = f"{prefix}/libexec/kelvo/kelvo-browser-host"
failures = []

def expect(condition, what):
    if not condition:
        failures.append(what)

for program in (f"{prefix}/bin/kelvo", host):
    expect(os.access(destdir + program, os.X_OK), f"{program} is not an installed program")
shared = f"{destdir}{prefix}/share/kelvo"
expect(os.path.isfile(f"{shared}/browser-extension/manifest.json"), "the unpacked extension is missing")
with zipfile.ZipFile(f"{shared}/kelvo-firefox.xpi") as package:
    expect(json.loads(package.read("manifest.json")) == extension, "the Firefox package differs")

for folder, allowed in ((chrome, ["allowed_origins", f"chrome-extension://{chrome_id}/"]),
                        (chromium, ["allowed_origins", f"chrome-extension://{chrome_id}/"]),
                        (firefox, ["allowed_extensions", gecko_id])):
    path = f"{destdir}{folder}/kelvo.browser_host.json"
    manifest = json.load(open(path))
    expect(manifest["name"] == "kelvo.browser_host" and manifest["type"] == "stdio",
           f"{path}: wrong name or type")
    expect(manifest["path"] == host, f"{path}: names {manifest['path']}, not {host}")
    expect(manifest.get(allowed[0]) == [allowed[1]], f"{path}: does not allow {allowed[1]}")

if failures:
    sys.exit("\n".join(failures))
PYTHON
}

DESTDIR="$scratch/stage" "$root/scripts/install" --build "$build" --prefix /opt/kelvo >/dev/null
check_install "$scratch/stage" /opt/kelvo /etc/opt/chrome/native-messaging-hosts \
    /etc/chromium/native-messaging-hosts /usr/lib/mozilla/native-messaging-hosts

home="$scratch/home"
HOME="$home" "$root/scripts/install" --user --build "$build" >/dev/null
check_install "" "$home/.local" "$home/.config/google-chrome/NativeMessagingHosts" \
    "$home/.config/chromium/NativeMessagingHosts" "$home/.mozilla/native-messaging-hosts"
echo "install layout: ok"
