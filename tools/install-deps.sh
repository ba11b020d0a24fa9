#!/usr/bin/env bash
# Installs, from Debian's packages, what is missing: by default what the build and the
# production need (tools/build.sh, tools/run.sh); with --tests also the test tools
# (tools/test.sh). Other arguments are packages a tool needs besides (tools/fuzz.sh: clang).
# Only what is missing is installed, so a second run costs nothing.
# Usage: install-deps.sh [--tests] [PACKAGE...]
set -euo pipefail
# The build, with help2man for the manual pages it makes; the production: an OpenCL driver,
# a virtual display for a machine without one, ffmpeg for the capture's videos.
packages=(
    build-essential cmake pkg-config help2man
    libglfw3-dev libepoxy-dev libglu1-mesa-dev libglm-dev libfreetype-dev
    ocl-icd-opencl-dev opencl-headers libsdl2-dev libsndfile1-dev libpng-dev nlohmann-json3-dev
    libx11-dev libxrandr-dev
    pocl-opencl-icd xvfb xauth ffmpeg
)
# The test tools: googletest, the window's keys (xdotool), the capture in parts over SSH
# (parallel, rsync, an sshd the tests start on a port of their own), the package's checks, and
# tools/looks.sh's other GL drivers (zink over lavapipe) and its image arithmetic (PIL).
testtools=(
    libgtest-dev googletest xdotool
    parallel rsync openssh-server
    lintian desktop-file-utils appstream
    mesa-vulkan-drivers python3-pil
)
if [[ "${1:-}" == --tests ]]; then
    packages+=("${testtools[@]}")
    shift
fi
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
# openssh-server's set-up starts the machine's SSH service and enables it at boot; the tests
# use neither. While it installs, a policy (policy-rc.d) lets no service start, unless the
# machine has one already, and on a machine run by systemd the service is disabled after.
policy=/usr/sbin/policy-rc.d
sshd=0
[[ " ${missing[*]} " == *" openssh-server "* ]] && sshd=1
if ((sshd)) && [[ ! -e $policy ]]; then
    trap '$sudo rm -f "$policy"' EXIT
    printf '#!/bin/sh\n# Written by quellspire tools/install-deps.sh while it installs; no service starts.\nexit 101\n' |
        $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
if ((sshd)) && [[ -d /run/systemd/system ]]; then
    $sudo systemctl disable --now --quiet ssh.service
fi
