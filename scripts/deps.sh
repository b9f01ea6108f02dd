#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need,
# skipping those already installed. Runs apt-get as root, or through sudo.
set -euo pipefail
need=(cmake ninja-build g++ qt6-base-dev libgtest-dev libgmock-dev xvfb xdotool
      fonts-liberation2 x11-apps)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
