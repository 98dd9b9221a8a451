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
