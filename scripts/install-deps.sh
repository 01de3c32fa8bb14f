#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Lumora needs.
# Quiet and quick when everything is already there; `--bench` adds what the
# benchmarks read (the wallpaper photo they are made from).
set -euo pipefail

packages=(
  cmake ninja-build pkg-config ccache g++ clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev
  libgif-dev libopenjp2-7-dev libmagick++-dev libraw-dev libexiv2-dev liblcms2-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-photo-dev libsane-dev
  libdcmtk-dev libpoppler-cpp-dev libjxr-dev libheif-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 fonts-dejavu-core
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(plasma-workspace-wallpapers)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq -o DPkg::Lock::Timeout=300
$sudo apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=300 "${missing[@]}"
