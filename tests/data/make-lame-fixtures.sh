#!/usr/bin/env bash
# Remakes the lame-* MP3 fixtures in this folder: 2.5 s of a chord with a little noise (a fixed
# seed, so the input is the same every time), encoded by Debian's lame 3.100 at the rates and
# modes that put the Xing/Info header at each of its distances from the frame start. The tests
# do not run this: they read the committed files. Needs python3 and lame (scripts/deps.sh).
set -euo pipefail
cd "$(dirname "$0")"

wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT
python3 - "$wav" <<'EOF'
import math, random, struct, sys, wave
rate, seconds = 44100, 2.5
random.seed(28)
frames = bytearray()
for i in range(int(rate * seconds)):
    t = i / rate
    tone = sum(math.sin(2 * math.pi * f * t) / n for n, f in enumerate((220, 277.2, 329.6, 440), 1))
    left = 0.25 * tone + 0.05 * random.uniform(-1, 1)
    right = 0.25 * tone * (0.5 + 0.5 * math.sin(2 * math.pi * 0.7 * t)) + 0.05 * random.uniform(-1, 1)
    frames += struct.pack('<hh', int(left * 32767), int(right * 32767))
with wave.open(sys.argv[1], 'wb') as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(bytes(frames))
EOF

make() { # name, lame options...
    local name=$1
    shift
    lame --quiet --noreplaygain "$@" "$wav" "$name"
}
# MPEG-1 (44.1 kHz)
make lame-vbr-v4-mono-44k.mp3 -V4 -m m
make lame-vbr-v9-stereo-44k-crc.mp3 -V9 -m j -p --resample 44.1
make lame-cbr64-mono-44k.mp3 -b 64 -m m
# MPEG-2 (22.05 kHz)
make lame-vbr-v5-mono-22k.mp3 -V5 -m m --resample 22.05
make lame-vbr-v5-stereo-22k.mp3 -V5 -m j --resample 22.05
make lame-cbr32-mono-22k.mp3 -b 32 -m m --resample 22.05
# MPEG-2.5 (11.025 and 8 kHz)
make lame-vbr-v7-stereo-11k.mp3 -V7 -m j --resample 11.025
make lame-vbr-v7-mono-8k.mp3 -V7 -m m --resample 8
make lame-cbr16-mono-8k.mp3 -b 16 -m m --resample 8
