#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the program need.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libxml2-dev zlib1g-dev libssl-dev uuid-dev libpsl-dev
  libthrift-dev thrift-compiler libboost-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev libjavascriptcoregtk-4.1-dev libgdk-pixbuf-2.0-dev librsvg2-common
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  nodejs  # runs the page scripts in the shell suite
)

# The fuzzing build (TOLVA_FUZZ=1) needs clang and its libFuzzer runtime.
if [ "${TOLVA_FUZZ:-0}" = "1" ]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "setup: these packages are missing and this user cannot install them: ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
