#!/usr/bin/env bash
# Installs the named Debian packages with apt-get (through sudo when not
# root). Does nothing when no package is named.
set -euo pipefail
[ $# -gt 0 ] || exit 0
echo "installing: $*"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@"
