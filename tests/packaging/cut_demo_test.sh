#!/usr/bin/env bash
# scripts/cut-demo, the headless part of scripts/run: it exits 0, says where the ring is, prints
# the ring's information, and the ring is a real MP3 of the section's length.
#   cut_demo_test.sh CUT_DEMO BIN_DIR
set -u
out="$(mktemp -d /tmp/sonaclip-demo.XXXXXX)"
trap 'rm -rf "$out"' EXIT
fail() { echo "FAILED: $*" >&2; echo "$log" >&2; exit 1; }

log="$(env -u DISPLAY -u WAYLAND_DISPLAY "$1" "$2" "$out" 2>&1)" || fail "exit status $?"
echo "$log"
ring="$out/demo-ring.mp3"
grep -qF "Ring:  $ring" <<<"$log" || fail "does not say where the ring is"
grep -q '"channels"' <<<"$log" || fail "no --info"
[ -s "$ring" ] || fail "no ring"
length="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$ring")"
awk -v d="$length" 'BEGIN { exit !(d > 5.8 && d < 6.2) }' || fail "ring of $length s, not 6 s"

# The fades are the "1 s fades" the demo says it makes: the ring's middle plays at the song's own
# level (a fade as long as the ring would halve it), and its first quarter second lies far below.
mean() {
  ffmpeg -v info -nostats -i "$1" -af "atrim=$2:$3,volumedetect" -f null - 2>&1 |
    sed -n 's/.*mean_volume: \(-\{0,1\}[0-9.]*\) dB.*/\1/p'
}
middle="$(mean "$ring" 1.5 4.5)"
song="$(mean "$out/demo-song.wav" 3.5 6.5)"
start="$(mean "$ring" 0 0.25)"
echo "mean volume: ring middle $middle dB, song there $song dB, ring start $start dB"
awk -v m="$middle" -v s="$song" 'BEGIN { exit !(m != "" && s != "" && m - s > -1 && m - s < 1) }' ||
  fail "the ring's middle is not at the song's level: the fades are longer than 1 s"
awk -v a="$start" -v m="$middle" 'BEGIN { exit !(a != "" && a < m - 10) }' || fail "no fade-in at the start"
