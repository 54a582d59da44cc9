#!/usr/bin/env bash
# Installs the named Debian packages with apt-get (through sudo when not
# root). Does nothing when no package is named.
set -euo pipefail
[ $# -gt 0 ] || exit 0
if ! command -v apt-get >/dev/null; then
  echo "install-packages.sh: no apt-get here; install these with the system's package manager: $*" >&2
  exit 1
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "install-packages.sh: installing $* needs root: run this as root or install sudo" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
echo "installing: $*"
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
