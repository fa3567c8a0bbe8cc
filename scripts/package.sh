#!/bin/sh
# Builds tarrow.exe and its console companion tarrow.com (the windows preset)
# and makes the release files in build/package (or the --out folder):
#   tarrow-VERSION-win64.zip   the two programs with README.md and LICENSE
#   tarrow-VERSION-x64.msi     the same, installed for every user into
#                              Program Files\Tarrow (packaging/tarrow.wxs)
#   tarrow.winget.yaml         winget's manifest of the .msi, and Scoop's of
#   tarrow.scoop.json          the zip, each with the version and the file's
#                              SHA-256 (from packaging/*.in)
# The same commit gives the same bytes: the files go in a fixed order with
# fixed permissions, dated at the commit (or $SOURCE_DATE_EPOCH); the
# program's headers carry no link time; the installer's codes are derived
# from the version and the files, and its dates are the commit's.
#
# Given a certificate and its key, tarrow.exe, tarrow.com and the .msi are
# signed (Authenticode, SHA-256) before they are packed; with a timestamp
# server, each signature is timestamped there, so it stays valid after the
# certificate expires. Without a certificate the files are unsigned.
#
# The manifests name the files at $RELEASE_URL (where the release is
# published), each with its SHA-256.
#
# usage: [RELEASE_URL=URL] scripts/package.sh [--cert CERT.pem --key KEY.pem [--pass-file FILE]
#                            [--timestamp URL]] [--out FOLDER]
# Prints the zip's path, then the .msi's.
set -eu
cd "$(dirname "$0")/.."
cert="" key="" passfile="" timestamp="" out=build/package
while [ $# -gt 0 ]; do
  case $1 in
    --cert) cert=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --pass-file) passfile=$2; shift 2 ;;
    --timestamp) timestamp=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "package.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
  echo "package.sh: --cert and --key go together" >&2
  exit 2
fi
if [ -z "$cert" ] && [ -n "$timestamp$passfile" ]; then
  echo "package.sh: --timestamp and --pass-file need --cert and --key" >&2
  exit 2
fi
root=$(pwd)
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target tarrow tarrow_console >/dev/null

version=$(sed -n 's/^project(tarrow VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Windows Installer compares the first three fields only.
msi_version=$(echo "$version" | cut -d. -f1-3)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)}
stage=$out/stage
archive=$out/tarrow-$version-win64.zip
installer=$out/tarrow-$version-x64.msi
rm -rf "$stage" "$archive" "$installer" "$out/tarrow.winget.yaml" "$out/tarrow.scoop.json"
mkdir -p "$stage"
cp build/windows/tarrow.exe build/windows/tarrow.com README.md LICENSE "$stage/"

# A signature's own time is the commit's, so that signing again gives the
# same bytes; a timestamp server's answer is its own.
sign() {
  [ -n "$cert" ] || return 0
  file=$1
  set -- -certs "$cert" -key "$key" -h sha256 -n Tarrow -time "$epoch"
  if [ -n "$passfile" ]; then set -- "$@" -readpass "$passfile"; fi
  if [ -n "$timestamp" ]; then set -- "$@" -ts "$timestamp"; fi
  osslsigncode sign "$@" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
}
sign "$stage/tarrow.exe"
sign "$stage/tarrow.com"

chmod 644 "$stage"/*
# zip keeps local time: the same zone everywhere.
export TZ=UTC
touch -d "@$epoch" "$stage"/*
# -X: no owner ids or extra time fields; -D: no folder entries.
(cd "$stage" && zip -X -D -q "../$(basename "$archive")" tarrow.exe tarrow.com README.md LICENSE)

# The installer. wixl takes the product code from the source and makes up a
# package code and dates of its own: the product code is derived from the
# version (a new product for each version, which the major upgrade needs),
# the package code from the files packed, and the dates are the commit's.
guid() {
  printf '%s' "$1" | sha256sum | sed 's/^\(........\)\(....\).\(...\).\(...\)\(............\).*/\1-\2-5\3-8\4-\5/' |
    tr a-f A-F
}
product_code=$(guid "Tarrow product $msi_version")
package_code=$(guid "Tarrow package $(cd "$stage" && cat tarrow.exe tarrow.com README.md LICENSE "$root/packaging/tarrow.wxs" | sha256sum)")
when=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
(cd "$stage" && faketime -f "$when" \
  wixl -a x64 -D Version="$msi_version" -D ProductCode="$product_code" \
  -o "$root/$installer" "$root/packaging/tarrow.wxs")
faketime -f "$when" msibuild "$installer" -s "Tarrow $msi_version" Tarrow "x64;1033" "{$package_code}"
sign "$installer"
touch -d "@$epoch" "$archive" "$installer"

# The manifests of winget and Scoop, naming the files just made where
# $RELEASE_URL says they are published.
release_url=${RELEASE_URL:-https://tarrow.invalid/releases/$version}
fill() {
  sed -e "s|@VERSION@|$version|g" -e "s|@MSI_SHA256@|$(sha256sum "$installer" | cut -d' ' -f1 | tr a-f A-F)|g" \
    -e "s|@ZIP_SHA256@|$(sha256sum "$archive" | cut -d' ' -f1)|g" -e "s|@PRODUCT_CODE@|{$product_code}|g" \
    -e "s|@MSI_VERSION@|$msi_version|g" -e "s|@RELEASE_URL@|$release_url|g" "$1"
}
fill packaging/tarrow.winget.yaml.in >"$out/tarrow.winget.yaml"
fill packaging/tarrow.scoop.json.in >"$out/tarrow.scoop.json"
rm -rf "$stage"
echo "$archive"
echo "$installer"
