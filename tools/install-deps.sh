#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the production and the tests need.
# Only what is missing is installed, so a second run costs nothing.
set -euo pipefail
packages=(
    build-essential cmake pkg-config
    libglfw3-dev libepoxy-dev libglu1-mesa-dev libglm-dev libfreetype-dev
    ocl-icd-opencl-dev opencl-headers pocl-opencl-icd
    libsdl2-dev libsndfile1-dev libpng-dev nlohmann-json3-dev
    libgtest-dev googletest
    libx11-dev libxrandr-dev xvfb xdotool xauth ffmpeg
    mesa-vulkan-drivers python3-pil
    parallel rsync openssh-server
    help2man lintian desktop-file-utils
)
# A tool that needs more (tools/fuzz.sh: clang) names its packages as arguments.
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
