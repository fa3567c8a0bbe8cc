#!/bin/sh
# The release files after scripts/package.sh made them, in the tests' Wine
# prefix: the same commit gives the same bytes; the manifests name the files
# with their version and SHA-256; the .msi installs into Program Files,
# replaces an older version, runs from there and uninstalls every file it
# installed; and a build given a certificate is signed, one without is not.
# usage: scripts/test-package.sh ZIP MSI "EXPECTED --version LINE"
set -eu
cd "$(dirname "$0")/.."
archive=$1 installer=$2 expected=$3
repo=$PWD
prefix=${WINE_TEST_PREFIX:-$repo/build/windows/wineprefix}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "test-package: $*" >&2; exit 1; }
elapsed() { echo "test-package: $1 took $(($(date +%s) - $2)) s"; }
wine_in() { cmake/wine-run.sh "$prefix" "$@" </dev/null; }
version=$(sed -n 's/^project(tarrow VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The same commit, the same bytes.
start=$(date +%s)
sha256sum "$archive" "$installer" >"$scratch/first.sha256"
scripts/package.sh >/dev/null
sha256sum -c --quiet "$scratch/first.sha256" || fail "a second package.sh gave other bytes"
elapsed "packing again" "$start"

# The manifests name the files just made.
sha() { sha256sum "$1" | cut -d' ' -f1; }
winget=build/package/tarrow.winget.yaml scoop=build/package/tarrow.scoop.json
field() { sed -n "s/^ *-\{0,1\} *$1: *'\{0,1\}\([^']*\)'\{0,1\}\$/\1/p" "$2" | head -1; }
json() { sed -n "s/^ *\"$1\": *\"\([^\"]*\)\".*/\1/p" "$2" | head -1; }
product_code=$(msiinfo export "$installer" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
[ "$(field PackageVersion "$winget")" = "$version" ] || fail "$winget: PackageVersion is not $version"
[ "$(field InstallerSha256 "$winget" | tr A-F a-f)" = "$(sha "$installer")" ] ||
  fail "$winget: InstallerSha256 is not that of $installer"
case $(field InstallerUrl "$winget") in */"$(basename "$installer")") ;; *) fail "$winget names another file" ;; esac
[ "$(field InstallerType "$winget")" = wix ] || fail "$winget: InstallerType is not wix"
[ "$(field ProductCode "$winget")" = "$product_code" ] || fail "$winget: ProductCode is not $product_code"
[ "$(json version "$scoop")" = "$version" ] || fail "$scoop: version is not $version"
[ "$(json hash "$scoop")" = "$(sha "$archive")" ] || fail "$scoop: hash is not that of $archive"
case $(json url "$scoop") in */"$(basename "$archive")") ;; *) fail "$scoop names another file" ;; esac

# Installed, upgraded over an older version, run, and uninstalled.
start=$(date +%s)
program_files=$prefix/drive_c/Program\ Files/Tarrow
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
installed() { wine_in reg query "$uninstall_key\\$1" >/dev/null 2>&1; }
# An older version of the same product: the files of this one, another
# version and product code.
msiextract -C "$scratch/old" "$installer" >/dev/null
(cd "$scratch/old/Tarrow" && wixl -a x64 -D Version=1.0.0 -D ProductCode=0F1E2D3C-4B5A-5978-8695-A4B3C2D1E0F9 \
  -o "$scratch/old.msi" "$repo/packaging/tarrow.wxs")
old_code='{0F1E2D3C-4B5A-5978-8695-A4B3C2D1E0F9}'
# Wine's Z: drive is the root of this machine's files.
windows_path() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }
msi=$(windows_path "$installer")
wine_in msiexec /i "$(windows_path "$scratch/old.msi")" /qn || fail "the older .msi did not install"
installed "$old_code" || fail "the older .msi is not listed as installed"
wine_in msiexec /i "$msi" /qn || fail "$installer did not install over the older version"
installed "$product_code" || fail "$installer is not listed as installed"
! installed "$old_code" || fail "$installer left the older version installed"
for file in tarrow.exe tarrow.com README.md LICENSE; do
  cmp -s "$program_files/$file" "$scratch/old/Tarrow/$file" || fail "Program Files\\Tarrow\\$file is not the one packed"
done
installed_com='C:\Program Files\Tarrow\tarrow.com'
printed=$(wine_in "$installed_com" --version | tr -d '\r')
[ "$printed" = "$expected" ] || fail "the installed tarrow.com --version printed \"$printed\", not \"$expected\""
listed=$(wine_in "$installed_com" --list) && [ -n "$listed" ] || fail "the installed tarrow.com --list failed or listed nothing"
wine_in reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\tarrow.exe' >/dev/null ||
  fail "no App Paths entry for tarrow.exe"
# The Start menu's entry (Wine puts it in the user's Start menu, Windows in
# every user's).
shortcut() { find "$prefix/drive_c" -path '*Start Menu/Programs/Tarrow.lnk'; }
[ -n "$(shortcut)" ] || fail "no Start menu entry"
wine_in msiexec /x "$msi" /qn || fail "$installer did not uninstall"
! installed "$product_code" || fail "$installer is still listed as installed"
! wine_in reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\tarrow.exe' >/dev/null 2>&1 ||
  fail "the App Paths entry stayed"
[ -z "$(shortcut)" ] || fail "the Start menu entry stayed: $(shortcut)"
# What Tarrow wrote beside itself (Defaults.dat, the originals it first
# found) is the user's, and stays; nothing the installer put there does.
left=$(ls -A "$program_files" 2>/dev/null | grep -vx Defaults.dat || true)
[ -z "$left" ] || fail "the uninstall left in Program Files\\Tarrow: $left"
rm -f "$program_files/Defaults.dat"
rmdir "$program_files" 2>/dev/null || true
[ ! -e "$program_files" ] || fail "Program Files\\Tarrow is still there"
elapsed "installing, upgrading, running and uninstalling the .msi" "$start"

# Signed with a throwaway certificate; unsigned without one.
start=$(date +%s)
osslsigncode verify -in "$installer" >/dev/null 2>&1 && fail "$installer is signed without a certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tarrow test signing" \
  -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
signed=$(scripts/package.sh --cert "$scratch/cert.pem" --key "$scratch/key.pem" --out build/package-signed)
unzip -q "$(echo "$signed" | sed -n 1p)" tarrow.exe tarrow.com -d "$scratch/signed"
for file in "$scratch/signed/tarrow.exe" "$scratch/signed/tarrow.com" "$(echo "$signed" | sed -n 2p)"; do
  osslsigncode verify -CAfile "$scratch/cert.pem" -in "$file" >"$scratch/verify.txt" 2>&1 ||
    { cat "$scratch/verify.txt" >&2; fail "$(basename "$file"): no valid signature"; }
  grep -q 'Message digest algorithm *: SHA256' "$scratch/verify.txt" || fail "$(basename "$file") is not signed with SHA-256"
done
elapsed "signing and checking the signatures" "$start"
echo "Installer $installer: the same bytes again, manifests match, installs over an older version, runs from Program Files, uninstalls; signed builds verify"
