#!/usr/bin/env bash
# The Debian package as a user gets it: built with cpack from this build folder, clean for
# lintian (no error, no warning), unpacked with dpkg-deb into a temporary root (no installation)
# with every file the program runs (PACKAGED_FILES, one name a line, made by the build), its
# sonaclip-cut cutting a ring and its sonaclip opening the main window on the test X server, with
# the skin and plug-ins found beside the program in the unpacked /usr/lib/sonaclip.
#   package_test.sh BUILD_DIR VERSION PACKAGED_FILES
set -u
build="$1"
version="$2"
packaged="$3"
work="$(mktemp -d /tmp/sonaclip-package.XXXXXX)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# Built from what the build folder holds (its programs, plug-ins and skin are built already).
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/sonaclip_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work/out"; fail "no $deb"; }

# Dependencies found by dpkg-shlibdeps, beside the ones named by hand.
depends="$(dpkg-deb -f "$deb" Depends)"
# codecs.so is opened with dlopen, yet dpkg-shlibdeps reads its own needs (LAME, libvorbis, FFmpeg's
# encoders); TagLib comes with the programs.
for need in libqt6widgets6 libavformat libmp3lame0 libvorbisenc2 libogg0 libtag1v5 fonts-wqy-microhei \
            libqt6webenginecore6-bin libqt6webenginewidgets6 qt6-translations-l10n; do
  grep -q "$need" <<<"$depends" || fail "Depends lacks $need: $depends"
done
# The loudness meter, linked into both programs.
grep -q libebur128 <<<"$depends" || fail "Depends lacks libebur128: $depends"

# lintian, as Debian checks a package: any error or warning fails (information and pedantic
# notes do not).
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
cat "$work/lintian.log"
! grep -qE '^(E|W): ' "$work/lintian.log" || fail "lintian reports errors or warnings"

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
lib="$work/root/usr/lib/sonaclip"
[ -s "$packaged" ] || fail "no list of the packaged files: $packaged"
while read -r f; do
  [ -n "$f" ] || continue
  [ -f "$lib/$f" ] || fail "missing /usr/lib/sonaclip/$f"
  case "$(file -b "$lib/$f")" in
    ELF*"not stripped"*) fail "/usr/lib/sonaclip/$f is not stripped" ;;
  esac
done <"$packaged"
for f in sonaclip sonaclip-cut; do
  [ "$(readlink "$work/root/usr/bin/$f")" = "../lib/sonaclip/$f" ] || fail "/usr/bin/$f is not a link into /usr/lib/sonaclip"
done
[ -f "$work/root/usr/share/applications/sonaclip.desktop" ] || fail "no menu entry"
[ -f "$work/root/usr/share/icons/hicolor/scalable/apps/sonaclip.svg" ] || fail "no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/sonaclip.desktop" || fail "menu entry invalid"
fi

export ASAN_OPTIONS=detect_leaks=0 HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The cutter through its /usr/bin link: it finds the plug-ins beside its real self.
ffmpeg -v error -y -f lavfi -i "sine=frequency=660:duration=4" -ar 44100 -ac 2 "$work/song.wav" || fail "ffmpeg"
"$work/root/usr/bin/sonaclip-cut" --start 0:01 --end 0:03 --fade-in 200ms "$work/song.wav" "$work/ring.mp3" ||
  fail "sonaclip-cut could not cut"
info="$("$work/root/usr/bin/sonaclip-cut" --info "$work/ring.mp3")" || fail "sonaclip-cut --info"
echo "$info"
[ "$(ffprobe -v error -show_entries format=format_name -of csv=p=0 "$work/ring.mp3")" = mp3 ] || fail "the ring is no MP3"
"$work/root/usr/bin/sonaclip-cut" --start 0:01 --end 0:03 "$work/song.wav" "$work/ring.m4r" ||
  fail "sonaclip-cut could not cut an M4R ring"
[ "$(ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 "$work/ring.m4r")" = aac ] ||
  fail "the M4R ring is no AAC"

# The program opens its skinned main window on the test X server.
[ -n "${SONACLIP_TEST_DISPLAY:-}" ] || { echo "no test display: window check skipped"; exit 0; }
DISPLAY="$SONACLIP_TEST_DISPLAY" QT_QPA_PLATFORM=xcb "$work/root/usr/bin/sonaclip" >"$work/program.log" 2>&1 &
pid=$!
window=""
for _ in $(seq 1 300); do
  window="$(DISPLAY="$SONACLIP_TEST_DISPLAY" xdotool search --all --pid "$pid" --onlyvisible --name 'Tavio' 2>/dev/null | head -1)"
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/program.log"; fail "sonaclip ended without a window"; }
  sleep 0.1
done
[ -n "$window" ] || { cat "$work/program.log"; fail "no window"; }
[ "$(readlink "/proc/$pid/exe")" = "$lib/sonaclip" ] || fail "not the unpacked program"
# The skin gives the window its size; without it the program shows nothing at all.
geometry="$(DISPLAY="$SONACLIP_TEST_DISPLAY" xdotool getwindowgeometry "$window")"
echo "$geometry"
grep -q "Geometry: 600x540" <<<"$geometry" || fail "the window is not the skin's size"
echo "package ok"
