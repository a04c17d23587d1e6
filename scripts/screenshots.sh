#!/usr/bin/env bash
# Takes the window's screenshots in docs/ under a virtual X server with a real window manager:
# the usual font (docs/screenshot.png, shown in the README), an 11-point font, scale factor 2,
# a long batch with its Stop button, the list with its ID3v2 mark, the rename preview and the
# Settings menu open with "Also use ID3v2 tags" checked; then the list with its marks and the
# rename preview with a 100-character name at qt6ct fonts of 10 and 12 points, the latter on a
# 1,280 by 800 screen at a scale of 1.5. Also checks that the window manager gets
# the titles exactly as the program sets them ("Morwick", "Edit"), and that Stop leaves the rest
# of a batch untouched.
#
#   scripts/screenshots.sh
#
# Needs xvfb-run (xvfb), openbox, import (imagemagick), xdotool, xprop (x11-utils) and qt6ct; as
# root the script installs what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${MORWICK_IN_XVFB:-}" ]; then
    need=()
    for tool in xvfb-run:xvfb openbox:openbox import:imagemagick xdotool:xdotool xprop:x11-utils qt6ct:qt6ct; do
        command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
    done
    if [ ${#need[@]} -gt 0 ]; then
        if [ "$(id -u)" -ne 0 ]; then
            echo "missing: ${need[*]} (sudo apt-get install ${need[*]})" >&2
            exit 1
        fi
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
    fi
    build=${MORWICK_BUILD_DIR:-$root/build}
    [ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$build" --target morwick >/dev/null
    export MORWICK_IN_XVFB=1 MORWICK_BINARY="$build/morwick"
    exec xvfb-run -a -s "-screen 0 1920x1200x24 -dpi 96" bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR QT_FONT_DPI
openbox >/dev/null 2>&1 &
sleep 1

fixture=$root/tests/data/peer-id3v1.mp3
mkdir -p "$work/music/Some Band - First Album"
for i in 01 02 03 04 05 06 07 08 09 10 11 12; do
    cp "$fixture" "$work/music/Some Band - First Album/$i. A Song Called Number $i.mp3"
done
cp "$fixture" "$work/music/Some Band - First Album/13. A song whose name is longer than the list is wide.mp3"
# Removing a leading ID3v2 tag rewrites the file: a batch over these takes a few seconds.
mkdir -p "$work/many"
for i in $(seq -w 1 4000); do cp "$root/tests/data/peer-id3v2-and-id3v1.mp3" "$work/many/Song $i.mp3"; done

# Starts Morwick with the environment given, in the folder given; sets `id` to its window and
# `pid` to its process.
start() {
    local folder=$1
    shift
    env "$@" "$MORWICK_BINARY" "$folder" >/dev/null 2>&1 &
    pid=$!
    id=$(xdotool search --sync --onlyvisible --pid "$pid" --name '^Morwick$' | head -1)
}
finish() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
# The window with its frame, as the window manager shows it.
shoot() {
    local id=$1 out=$2
    sleep "${3:-1}"
    local frame
    frame=$(xwininfo -id "$id" -frame | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h "+" x "+" y}')
    # 256 colours keep the PNGs small; antialiased text does not need more.
    import -window root -crop "$frame" +repage -strip -colors 256 -define png:compression-level=9 "PNG8:$out"
    echo "$out: $(identify -format '%wx%h' "$out") (window $(xwininfo -id "$id" | awk '/Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h}'))"
}
title_of() { xprop -id "$1" _NET_WM_NAME | sed 's/^[^"]*"//; s/"$//'; }
frame_id() { # openbox reparents: the frame is the window's parent
    xwininfo -id "$1" -children | awk '/Parent window id:/{print $4}'
}

# Copies of read-only fixtures would stay read-only, which Remove all tags refuses.
chmod -R u+w "$work"
album="$work/music/Some Band - First Album"
for setting in "screenshot.png" "screenshot-11pt.png QT_FONT_DPI=117" "screenshot-scale2.png QT_SCALE_FACTOR=2"; do
    read -r out env <<<"$setting"
    start "$album" ${env:-}
    xdotool windowactivate --sync "$id" key ctrl+a
    shoot "$(frame_id "$id")" "$root/docs/$out"
    if [ "$out" = screenshot.png ]; then
        t=$(title_of "$id")
        [ "$t" = "Morwick" ] || { echo "main window titled \"$t\"" >&2; exit 1; }
        xdotool key alt+3
        edit=$(xdotool search --sync --onlyvisible --name '^Edit' | head -1)
        t=$(title_of "$edit")
        [ "$t" = "Edit" ] || { echo "tag dialog titled \"$t\"" >&2; exit 1; }
        echo "titles the window manager got: \"$(title_of "$id")\", \"$t\""
        for _ in $(seq 13); do xdotool key Escape; sleep 0.1; done
    fi
    finish
done

# The list with the ID3v2 mark, and the rename preview over the same files.
mixed="$work/mixed"
mkdir -p "$mixed"
cp "$root/tests/data/peer-id3v1.mp3" "$mixed/01_first_song.mp3"
cp "$root/tests/data/peer-id3v2-and-id3v1.mp3" "$mixed/02 - first song (ID3v2 too).mp3"
cp "$root/tests/data/peer-id3v1.mp3" "$mixed/01. Some Band - First Song.mp3"
cp "$root/tests/data/cbr128-stereo-44k-noinfo.mp3" "$mixed/no tag at all.mp3"
cp "$root/tests/data/peer-id3v2-and-id3v1.mp3" "$mixed/the ID3v2 one.mp3"
chmod -R u+w "$mixed"
start "$mixed"
xdotool windowactivate --sync "$id"
xdotool key ctrl+a
shoot "$(frame_id "$id")" "$root/docs/id3v2-mark.png"
xdotool key alt+e v
preview=$(xdotool search --sync --onlyvisible --name '^Preview renames$' | head -1)
shoot "$(frame_id "$preview")" "$root/docs/preview-renames.png"
xdotool key Escape
finish

# Larger fonts as a user sets them with qt6ct: a folder with more entries than the list shows,
# some with ID3v2 tags, and a 100-character name; the window, its list and the rename preview.
crowded="$work/crowded"
mkdir -p "$crowded"
for i in $(seq -w 1 30); do
    if [ $((10#$i % 3)) -eq 0 ]; then src=peer-id3v2-and-id3v1.mp3; else src=peer-id3v1.mp3; fi
    cp "$root/tests/data/$src" "$crowded/$i. A Song Called Number $i.mp3"
done
cp "$root/tests/data/peer-id3v2-and-id3v1.mp3" \
    "$crowded/00. A very long name of a live recording made at a summer festival by the sea, with the full ban.mp3"
chmod -R u+w "$crowded"
qt6ct_font() { # the qt6ct settings for a general font of $1 points, in a config folder $2
    mkdir -p "$2/qt6ct"
    printf '[Appearance]\nstyle=Fusion\n[Fonts]\ngeneral="DejaVu Sans,%s,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"\nfixed="DejaVu Sans Mono,%s,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"\n' \
        "$1" "$1" >"$2/qt6ct/qt6ct.conf"
}
crowd_shots() { # $1: points, $2: suffix; the rest: environment
    local points=$1 suffix=$2
    shift 2
    qt6ct_font "$points" "$work/config-$points"
    start "$crowded" XDG_CONFIG_HOME="$work/config-$points" QT_QPA_PLATFORMTHEME=qt6ct "$@"
    xdotool windowactivate --sync "$id"
    xdotool key ctrl+a
    shoot "$(frame_id "$id")" "$root/docs/list-$suffix.png"
    eval "$(xdotool getwindowgeometry --shell "$(frame_id "$id")")"
    echo "window with frame at ${X},${Y}, ${WIDTH}x${HEIGHT} on a screen of $(xdpyinfo 2>/dev/null | awk '/dimensions:/{print $2}')"
    xdotool key alt+e v
    preview=$(xdotool search --sync --onlyvisible --name '^Preview renames$' | head -1)
    shoot "$(frame_id "$preview")" "$root/docs/preview-$suffix.png"
    xdotool key Escape
    finish
}
crowd_shots 10 10pt
crowd_shots 12 12pt
# A 1,280 by 800 screen at a scale of 1.5, on a second server of its own.
Xvfb :97 -screen 0 1280x800x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
sleep 1
outer=$DISPLAY
export DISPLAY=:97
openbox >/dev/null 2>&1 &
sleep 1
crowd_shots 12 12pt-scale1.5-1280 QT_SCALE_FACTOR=1.5
export DISPLAY=$outer

# The Settings menu, open from the keyboard on its ID3v2 item, with the setting and the tag in
# the status line on (from a settings file of their own, so the other pictures keep defaults).
mkdir -p "$work/config-id3v2"
printf '[morwick]\nstatusbar=1\nid3v2=1\n' >"$work/config-id3v2/morwick.ini"
start "$album" XDG_CONFIG_HOME="$work/config-id3v2"
xdotool windowactivate --sync "$id"
xdotool key ctrl+a
sleep 0.3
xdotool key alt+s Down Down Down Down
shoot "$(frame_id "$id")" "$root/docs/settings-menu.png"
xdotool key Escape
finish

# The tag dialog with ID3v2 tags in use, on a song whose ID3v2 tag (written by mutagen) holds a
# title longer than an ID3v1 tag's 30 characters, in Cyrillic: shown whole.
long="$work/long"
mkdir -p "$long"
cp "$root/tests/data/peer-id3v1.mp3" "$long/01. Song.mp3"
chmod u+w "$long/01. Song.mp3"
/usr/bin/python3 - "$long/01. Song.mp3" <<'PY'
import sys
from mutagen.id3 import COMM, ID3, TALB, TCON, TDRC, TIT2, TPE1, TRCK
tag = ID3()
tag.add(TIT2(encoding=3, text="Песня о далёкой северной реке и белых ночах"))
tag.add(TPE1(encoding=3, text="Оркестр Северного Сияния"))
tag.add(TALB(encoding=3, text="Белые ночи"))
tag.add(TDRC(encoding=3, text="1999"))
tag.add(TRCK(encoding=3, text="1/12"))
tag.add(TCON(encoding=3, text="Folk"))
tag.add(COMM(encoding=3, lang="eng", desc="", text="Записано вживую в Архангельске"))
tag.save(sys.argv[1], v2_version=4)
PY
start "$long" XDG_CONFIG_HOME="$work/config-id3v2"
xdotool windowactivate --sync "$id"
xdotool key ctrl+a
sleep 0.3
xdotool key alt+3
edit=$(xdotool search --sync --onlyvisible --name '^Edit' | head -1)
shoot "$(frame_id "$edit")" "$root/docs/tag-dialog-id3v2.png"
xdotool key Escape
finish

# A long batch: Remove all tags over 4000 files, shot while it runs, then stopped with Escape.
start "$work/many"
xdotool windowactivate --sync "$id"
sleep 0.5
xdotool key ctrl+a
sleep 0.3
xdotool key F9
shoot "$(frame_id "$id")" "$root/docs/stop-button.png" 1
xdotool key Escape
sleep 2
finish
# Says how many of a stopped batch's 4000 files ($1) it handled, and fails ($2: how) when none
# was left tagged: the batch did not stop.
check_stopped() {
    local tagged=0
    for f in "$1"/*.mp3; do
        [ "$(tail -c 128 "$f" | head -c 3)" = TAG ] && tagged=$((tagged + 1))
    done
    echo "$2 during the batch: $((4000 - tagged)) files handled, $tagged left tagged"
    [ "$tagged" -gt 0 ] || { echo "$2 did not stop the batch" >&2; exit 1; }
}
check_stopped "$work/many" Escape

# The same batch again on fresh copies, stopped by a real click on Stop: the button sits at the
# right end of the status bar, in the window's bottom-right corner.
mkdir -p "$work/many2"
for i in $(seq -w 1 4000); do cp "$root/tests/data/peer-id3v2-and-id3v1.mp3" "$work/many2/Song $i.mp3"; done
chmod -R u+w "$work/many2"
start "$work/many2"
xdotool windowactivate --sync "$id"
sleep 0.5
xdotool key ctrl+a
sleep 0.3
xdotool key F9
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$id")"
xdotool mousemove --window "$id" $((WIDTH - 20)) $((HEIGHT - 9)) click 1
sleep 2
finish
check_stopped "$work/many2" "A click on Stop"
