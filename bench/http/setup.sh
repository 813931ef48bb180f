#!/usr/bin/env bash
# Installs what the HTTP benchmarks compare against (the curl tool). Safe to run again.
set -euo pipefail
if ! command -v curl >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq curl
fi
