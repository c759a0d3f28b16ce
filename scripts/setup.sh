#!/usr/bin/env bash
# Installs the Debian packages Quillmoss needs to build, test and run.
# This is the one list of them; only what is missing is installed, so a
# second run on a ready machine takes a moment.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools
  libcurl4-openssl-dev libicu-dev libpcre2-dev libcpp-httplib-dev libssl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils openssl xdg-utils
  # fuzzing (clang with its sanitizer runtime)
  clang libclang-rt-14-dev
  # packaging checks
  desktop-file-utils appstream dpkg-dev file librsvg2-bin
  # run time: the window's platform plugins and a Song-style CJK font
  qt6-qpa-plugins fonts-arphic-uming
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
