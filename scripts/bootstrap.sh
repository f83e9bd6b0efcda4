#!/usr/bin/env bash
# Installs every Debian package Varnelo needs to build, run, test and benchmark.
# Idempotent: prints nothing and touches nothing when all is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git clang-format
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev qt6-qpa-plugins
  libqt6svg6 libqt6multimedia6 libgl-dev libxkbcommon-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libmp3lame-dev libvorbis-dev libogg-dev libtag1-dev
  libflac-dev libopus-dev libopusenc-dev libebur128-dev
  libcdio-dev libcdio-paranoia-dev libcdio-utils zlib1g-dev
  libgtest-dev libgmock-dev googletest
  ffmpeg sox lame vorbis-tools openssl
  # The reference FLAC and Opus tools: tests check outputs with them, the bench races them.
  flac opus-tools
  # An independent tag reader: covers written are read back with it.
  python3-mutagen
  cd-paranoia whipper python3-libdiscid cdrdao
  xvfb xauth dbus fonts-dejavu-core
  # Desktop: a sound server for the real-sound tests and bench, playerctl for
  # MPRIS, the validators of the installed files, icons rendered from the SVG.
  pulseaudio pulseaudio-utils playerctl desktop-file-utils appstream librsvg2-bin groff-base python3
  ca-certificates libssl3 # https to the station directory's mirrors
  # file association: xdg-mime, update-desktop-database and desktop-file-validate
  xdg-utils
  # Fuzz targets (libFuzzer) and the sanitizer stage of the test command; llvm-14
  # brings llvm-symbolizer for readable sanitizer reports.
  clang-14 libclang-rt-14-dev libfuzzer-14-dev llvm-14
  # Recording from the sound server's monitor sources; the server and its
  # tools run in the recording tests.
  libpulse-dev pulseaudio pulseaudio-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "bootstrap: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
