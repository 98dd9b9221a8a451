# Set-up shared by scripts/run, scripts/test and scripts/bench. Sourced, not run.

SONACLIP_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$SONACLIP_ROOT/scripts/packages.sh"

SONACLIP_JOBS="${SONACLIP_JOBS:-2}"

# sonaclip_build DIR [cmake options...]: configures (once) and builds into DIR; everything, or
# only the targets named in SONACLIP_TARGETS (e.g. "base_tests").
sonaclip_build() {
  local dir="$1"; shift
  # ccache, where installed, lets several checkouts of the project share one compile cache:
  # paths under the checkout are hashed relative to it, and the build folder is left out.
  local launcher=()
  if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="$SONACLIP_ROOT" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$SONACLIP_ROOT" -B "$dir" -G Ninja ${launcher[@]+"${launcher[@]}"} "$@" >/dev/null || return 1
  local targets=()
  [ -n "${SONACLIP_TARGETS:-}" ] && read -r -a targets <<< "$SONACLIP_TARGETS"
  cmake --build "$dir" -j "$SONACLIP_JOBS" ${targets[@]+--target "${targets[@]}"}
}

# A private PulseAudio with one null sink, so sound tests play without hardware.
sonaclip_start_pulse() {
  if [ -n "${SONACLIP_PULSE_DIR:-}" ] && [ -S "$SONACLIP_PULSE_DIR/pulse/native" ]; then
    return 0
  fi
  SONACLIP_PULSE_DIR="$(mktemp -d /tmp/sonaclip-pulse.XXXXXX)"
  chmod 700 "$SONACLIP_PULSE_DIR"
  export SONACLIP_PULSE_DIR
  XDG_RUNTIME_DIR="$SONACLIP_PULSE_DIR" HOME="$SONACLIP_PULSE_DIR" pulseaudio -D -n \
    --exit-idle-time=-1 --disallow-exit \
    --load="module-null-sink sink_name=null" --load=module-native-protocol-unix \
    >/dev/null 2>&1 || true
  local i
  for i in $(seq 1 50); do
    [ -S "$SONACLIP_PULSE_DIR/pulse/native" ] && break
    sleep 0.1
  done
  export PULSE_SERVER="unix:$SONACLIP_PULSE_DIR/pulse/native"
  # Without it the player tests still pass, against the clock, but never reach the sound server.
  [ -S "$SONACLIP_PULSE_DIR/pulse/native" ] || { echo "PulseAudio did not start" >&2; return 1; }
}

sonaclip_stop_pulse() {
  [ -n "${SONACLIP_PULSE_DIR:-}" ] || return 0
  XDG_RUNTIME_DIR="$SONACLIP_PULSE_DIR" HOME="$SONACLIP_PULSE_DIR" pulseaudio -k >/dev/null 2>&1 || true
  rm -rf "$SONACLIP_PULSE_DIR"
  unset SONACLIP_PULSE_DIR PULSE_SERVER
}

# A private X server for the tests that drive the real program as a user would. It is started
# with -noreset: an X server resets when its last client disconnects and refuses connections while
# it does, and in these tests the program is often the only client, so the next copy started right
# after one exits could otherwise find the server closed. A test therefore cannot count on a clean
# server either: it closes what it opened.
sonaclip_start_xvfb() {
  local n i
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    SONACLIP_XVFB_PID=$!
    # Another run may have taken the same free number a moment earlier: its server holds the
    # display's lock file (with its process id) and ours ends at once. Sharing that display would
    # mix both runs' windows and keys, so only a display whose lock names our server will do.
    for i in $(seq 1 50); do
      kill -0 "$SONACLIP_XVFB_PID" 2>/dev/null || break
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$SONACLIP_XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ] &&
       [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$SONACLIP_XVFB_PID" ]; then
      export SONACLIP_TEST_DISPLAY=":$n"
      return 0
    fi
    kill "$SONACLIP_XVFB_PID" 2>/dev/null
    unset SONACLIP_XVFB_PID
  done
  return 1
}

sonaclip_stop_xvfb() {
  [ -n "${SONACLIP_XVFB_PID:-}" ] && kill "$SONACLIP_XVFB_PID" 2>/dev/null
  unset SONACLIP_XVFB_PID SONACLIP_TEST_DISPLAY
}
