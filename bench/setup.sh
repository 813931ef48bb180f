#!/usr/bin/env bash
# Installs the peers the benches compare against: the JSON libraries (header
# and library packages only; nothing of theirs is linked into the program)
# and surf for the start-up bench. Idempotent.
set -euo pipefail

packages=(rapidjson-dev libsimdjson-dev nlohmann-json3-dev surf)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "bench setup: these packages are missing and this user cannot install them: ${missing[*]}" >&2
    exit 1
  fi
fi
echo "bench setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
