# Debian packages the build, the program and the tests need: one list, one place.
# Sourced by scripts/run, scripts/test and scripts/bench.

SONACLIP_PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config libcli11-dev ccache
  # windows, drawing, sound, web page
  qt6-base-dev qt6-svg-dev qt6-multimedia-dev qt6-webengine-dev libqt6svg6
  qt6-qpa-plugins libgl-dev
  # decoding and encoding
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libmp3lame-dev libpulse-dev
  libvorbis-dev libogg-dev libtag1-dev
  # loudness measurement
  libebur128-dev
  # crash texts, stack walks, MD5
  libboost-dev libunwind-dev libmd-dev
  # the skin's font; Qt's own dialogs and buttons in Chinese
  fonts-wqy-microhei qt6-translations-l10n
  # the Debian package (dependencies found by dpkg-shlibdeps), checked with lintian
  dpkg-dev file lintian help2man
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg pulseaudio pulseaudio-utils xvfb xauth xdotool imagemagick x11-utils time lldb
  libglib2.0-bin libglib2.0-dev
  libx11-dev libxcb1-dev
)

# Installs whatever is missing; quiet, and does nothing when all is present.
sonaclip_install_packages() {
  local missing=()
  local p
  for p in "${SONACLIP_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq >/dev/null
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
