#!/usr/bin/env bash
# Installs from Debian's packages whatever the build, the tests and the demo need and is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  # The dewarp benchmark times its peer filter through the filter library.
  libavfilter-dev
  libsdl2-dev libcairo2-dev
  # JPEG pictures are decoded with libjpeg-turbo's TurboJPEG interface.
  libturbojpeg0-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # The RTSP interop test: GStreamer's RTSP server driven from Debian's python3.
  python3 python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-rtsp gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  # The receiver-report test reads the reports with a standard RTCP dissector.
  tshark
  # Recordings are read back by a second, independent reader.
  gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-bad gstreamer1.0-libav
  # The command channel's interop test runs its own lighttpd on a loopback port; no service.
  lighttpd
  # The multicast tests run in a network namespace of their own, made with unshare and ip.
  util-linux iproute2
  # The script host reads and writes its lines as JSON.
  nlohmann-json3-dev
  # The window benchmark shows the viewer beside ffplay on a virtual X server.
  xvfb
  # The installed desktop entry is checked by the standard validator.
  desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# Answered here so that the capture tools' set-up asks nothing: no capturing by other users.
echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
apt-get update -qq
# Packages with a daemon (lighttpd) must not start or enable it: the tests run their own.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  own_policy=1
fi
apt-get install -y -qq --no-install-recommends "${missing[@]}"
[ "$own_policy" -eq 1 ] && rm -f "$policy"
if command -v systemctl >/dev/null && systemctl is-enabled lighttpd >/dev/null 2>&1; then
  systemctl disable --now lighttpd >/dev/null 2>&1 || true
fi
if command -v update-rc.d >/dev/null && [ -e /etc/init.d/lighttpd ]; then
  update-rc.d lighttpd disable >/dev/null 2>&1 || true
fi
