#!/usr/bin/env bash
# Usage: test_install.sh BUILD-DIR VERSION
# Installs system-wide into staging folders (DESTDIR) and for a user with a home of the test's own:
# every piece is where the browsers look for it, the host manifests name the installed host, the
# desktop and autostart entries are valid and start the installed program; and what the program
# answers on its command line without a display.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build=$(cd "${1:?usage: test_install.sh BUILD-DIR VERSION}" && pwd)
version=${2:?usage: test_install.sh BUILD-DIR VERSION}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# check_install DESTDIR PREFIX CHROME-HOSTS CHROMIUM-HOSTS FIREFOX-HOSTS AUTOSTART-FOLDER|-
check_install() {
    python3 - "$root/browser-extension/manifest.json" "$@" <<'PYTHON'
import json, os, re, shlex, subprocess, sys, zipfile

extension_manifest, destdir, prefix, chrome, chromium, firefox, autostart = sys.argv[1:]
extension = json.load(open(extension_manifest))
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

# What else a manifest holds (the name and the extension's identity) is the browser tests': the
# browsers start the host only through a manifest from scripts/host-manifest that matches.
for folder in (chrome, chromium, firefox):
    path = f"{destdir}{folder}/kelvo.browser_host.json"
    expect(json.load(open(path))["path"] == host, f"{path}: does not name {host}")

def exec_argv(value):
    """The command line of a desktop entry's Exec value: string escapes, quoting, then %%."""
    value = re.sub(r"\\([sntr\\])", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(
        m.group(1), "\\"), value)
    return [word.replace("%%", "%") for word in shlex.split(value)]

icons = f"{destdir}{prefix}/share/icons/hicolor"
for icon in ("scalable/apps/kelvo.svg", "symbolic/apps/kelvo-symbolic.svg"):
    expect(os.path.isfile(f"{icons}/{icon}"), f"{icons}/{icon} is missing")
entries = [f"{destdir}{prefix}/share/applications/kelvo.desktop"]
if autostart == "-":
    expect(not os.path.exists(f"{destdir}/etc/xdg/autostart/kelvo.desktop"), "autostart written")
else:
    entries.append(f"{destdir}{autostart}/kelvo.desktop")
for entry in entries:
    check = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    expect(check.returncode == 0 and not check.stdout, f"{entry}: {check.stdout}")
    fields = dict(line.split("=", 1) for line in open(entry) if "=" in line)
    argv = exec_argv(fields["Exec"].rstrip("\n"))
    if argv == ["kelvo"]:
        expect(prefix in ("/usr", "/usr/local"), f"{entry}: bare Exec for {prefix}")
    else:
        expect(argv == [f"{prefix}/bin/kelvo"], f"{entry}: Exec starts {argv}")
        answer = subprocess.run([destdir + argv[0], "--version"], capture_output=True, text=True).stdout
        expect(answer.startswith("Kelvo "), f"{entry}: Exec does not start Kelvo")

if failures:
    sys.exit("\n".join(failures))
PYTHON
}

hosts=(/etc/opt/chrome/native-messaging-hosts /etc/chromium/native-messaging-hosts
    /usr/lib/mozilla/native-messaging-hosts)
DESTDIR="$scratch/stage" "$root/scripts/install" --build "$build" --prefix /opt/kelvo >/dev/null
check_install "$scratch/stage" /opt/kelvo "${hosts[@]}" /etc/xdg/autostart
DESTDIR="$scratch/usr" "$root/scripts/install" --no-autostart --build "$build" --prefix /usr >/dev/null
check_install "$scratch/usr" /usr "${hosts[@]}" -

# A home folder whose path needs quoting in a desktop entry.
home="$scratch/home 100%"
HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" "$root/scripts/install" \
    --user --build "$build" >/dev/null
[ -f "$home/data/gnome-shell/extensions/foreground@kelvo.org/extension.js" ] ||
    { echo "the GNOME Shell extension is not in the user's data folder" && exit 1; }
check_install "" "$home/.local" "$home/.config/google-chrome/NativeMessagingHosts" \
    "$home/.config/chromium/NativeMessagingHosts" "$home/.mozilla/native-messaging-hosts" \
    "$home/config/autostart"
echo "install layout: ok"

# The installed program's command line, without a display: arguments, exit status, and what
# must appear on standard output and standard error ("" for nothing).
kelvo="$home/.local/bin/kelvo"
failed=0
# shellcheck disable=SC2034 # out and err are read through ${!stream}
while IFS=';' read -r arguments status out err; do
    read -ra argv <<<"$arguments"
    actual=0
    env -u DISPLAY -u WAYLAND_DISPLAY "$kelvo" "${argv[@]}" >"$scratch/out" 2>"$scratch/err" ||
        actual=$?
    for stream in out err; do
        want=${!stream} got=$(cat "$scratch/$stream")
        [[ ($want == "" && $got == "") || ($want != "" && $got == *"$want"*) ]] ||
            { echo "kelvo $arguments: standard $stream is '$got', expected '$want'" && failed=1; }
    done
    [ "$actual" = "$status" ] || { echo "kelvo $arguments: status $actual, not $status" && failed=1; }
done <<ROWS
--version;0;Kelvo $version;
--help;0;Usage: kelvo [--help | --version];
--verbose;2;;Usage: kelvo
--version --help;2;;Usage: kelvo
-platform offscreen;2;;Usage: kelvo
ROWS
if env -u DISPLAY -u WAYLAND_DISPLAY "$kelvo" --version >/dev/full 2>/dev/null; then
    echo "kelvo --version reports success when standard output cannot be written" && failed=1
fi
[ "$failed" = 0 ] || exit 1
echo "command line: ok"
