#!/usr/bin/env bash
# Builds Morwick's Debian package, checks it with lintian (any error fails), and tries it out
# on this machine: installs it with apt-get,
# checks that it starts and that its files are where they belong, then removes it and checks
# that nothing is left. Needs root on Debian 12; CI does not run it. The package stays in the
# build folder (build-package/ unless MORWICK_BUILD_DIR says otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "package.sh installs and removes the package: run it as root." >&2
    exit 1
fi
if dpkg-query -W -f='${Status}' morwick 2>/dev/null | grep -q "install ok installed"; then
    echo "morwick is installed already; remove it first (apt-get remove morwick)." >&2
    exit 1
fi

bash scripts/deps.sh dpkg-dev desktop-file-utils appstream man-db lintian

build=${MORWICK_BUILD_DIR:-build-package}
step() { printf '\n== %s\n' "$*"; }

step "Build (Release, no tests) and package"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
rm -f "$build"/morwick_*.deb
(cd "$build" && cpack -G DEB) | grep -E "^CPack: (Create package|- package)"
deb=$(realpath "$build"/morwick_*.deb)
dpkg-deb --field "$deb" Package Version Architecture Section Maintainer Depends Recommends
dpkg-deb --contents "$deb" | awk '{print $6}' | grep -v '/$'

step "lintian"
# Errors (or lintian failing to run) fail; warnings and notes are shown for whoever looks next.
status=0
lintian --info --fail-on error "$deb" || status=$?
if [ "$status" -ne 0 ]; then
    echo "FAILED: lintian reports errors on $deb (status $status)" >&2
    exit 1
fi
echo "lintian: no errors"

step "Install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >/dev/null
dpkg-query -W -f='${Package} ${Version} ${Status}\n' morwick

step "Run"
command -v morwick
morwick --version
morwick --help | head -1
# The command-line program runs with no display at all.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM morwick-cli --version
if ldd "$(command -v morwick-cli)" | grep -E 'libQt6(Gui|Widgets)'; then
    echo "FAILED: morwick-cli loads graphical libraries" >&2
    exit 1
fi
# Started for a few seconds on the offscreen platform, in a folder, with a settings folder of
# its own: still running when the time is up (status 124) means it started.
home=$(mktemp -d)
status=0
(cd "$home" && XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen \
    timeout 5 morwick "$home") || status=$?
rm -rf "$home"
if [ "$status" -ne 124 ]; then
    echo "FAILED: morwick ended with status $status instead of running" >&2
    exit 1
fi
echo "morwick ran for 5 s and was stopped (status $status)"

step "Installed files"
for document in Help.html ReadMe.txt LueMinut.txt copyright changelog.gz; do
    test -f "/usr/share/doc/morwick/$document"
done
ls /usr/share/doc/morwick
desktop-file-validate /usr/share/applications/morwick.desktop && echo "desktop entry valid"
appstreamcli validate --no-net /usr/share/metainfo/example.morwick.Morwick.metainfo.xml | tail -1
man -w morwick
man -w morwick-cli
test -f /usr/share/bash-completion/completions/morwick-cli && echo "bash completion for morwick-cli in place"
for size in 16x16 32x32 48x48 256x256 scalable; do
    ls /usr/share/icons/hicolor/$size/apps/morwick.*
done
files=$(dpkg-query -L morwick)

step "Remove"
apt-get remove -y -qq morwick >/dev/null
if dpkg-query -W -f='${Status}' morwick 2>/dev/null | grep -q "installed"; then
    echo "FAILED: morwick is still installed" >&2
    exit 1
fi
left=0
while read -r path; do
    # Shared folders such as /usr/share/applications stay; anything of Morwick's must go.
    if [ -e "$path" ] && [ ! -d "$path" ]; then
        echo "left behind: $path" >&2
        left=1
    fi
done <<<"$files"
for dir in /usr/share/doc/morwick; do
    if [ -e "$dir" ]; then
        echo "left behind: $dir" >&2
        left=1
    fi
done
[ "$left" -eq 0 ] || exit 1
hash -r
if command -v morwick || command -v morwick-cli; then
    echo "FAILED: a morwick is still on PATH" >&2
    exit 1
fi
echo "morwick is gone; nothing of it left behind"
echo
echo "Package: $deb"
