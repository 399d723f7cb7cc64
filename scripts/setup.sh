#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: when all are
# present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  fonts-wqy-microhei
  ffmpeg
  fdisk dosfstools ntfs-3g exfatprogs e2fsprogs xfsprogs
  xxd
  clang libclang-rt-14-dev llvm
  libssl-dev
  libewf-dev ewf-tools
  gddrescue
  chromium
  qt6-translations-l10n
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
