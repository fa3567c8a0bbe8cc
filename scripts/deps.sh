#!/bin/sh
# Installs what building, running and testing Tarrow need on Debian 12, or
# only the packages named on the command line.
# Safe to run again: only missing packages are installed.
set -eu
packages="${*:-cmake g++ make libgtest-dev googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth
  imagemagick xdotool x11-utils fonts-wine zip unzip msitools wixl faketime osslsigncode openssl}"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages:$missing" >&2
  echo "Run this as root (or with sudo) to install them." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
