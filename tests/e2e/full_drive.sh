#!/usr/bin/env bash
# A drive that fills up while the installer writes: a 256 KiB tmpfs mapped
# as Wine's drive T: holds an older installation; the quiet installer of a
# 400 KB file that does not compress must fail with exit code 5, keep the
# old file's bytes and leave no temporary file; where there was no old file,
# leave none. With the space the package
# really needs, the quiet run stops before it writes (exit code 4).
#   full_drive.sh SFXTOOL INSTALLER.EXE
# Runs inside scripts/with-wine (WINEPREFIX set) as root; without the right
# to mount, it is skipped (exit code 77).
set -uo pipefail
sfxtool=$1
stub=$2
work=$(mktemp -d /tmp/sfx-full-drive.XXXXXX)
mount_dir=$work/drive
letter=t:
link=$WINEPREFIX/dosdevices/$letter
source "$(dirname "$0")/../support/cli_test.sh"

cleanup() {
  rm -f "$link"
  umount "$mount_dir" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$mount_dir"
if ! mount -t tmpfs -o size=256k tmpfs "$mount_dir" 2>/dev/null; then
  echo "SKIP: cannot mount a tmpfs here" >&2
  exit 77
fi
[[ -e $link ]] && { echo "SKIP: drive $letter is taken" >&2; exit 77; }
ln -s "$mount_dir" "$link"

head -c 400000 /dev/urandom >"$work/big.bin"
printf 'small\r\n' >"$work/small.txt"
for space in 1 0; do
  {
    echo 'product_name = "Full Drive"'
    echo "install_dir = 'T:\\Full'"
    echo "registry_key = 'Software\\SfxTests\\FullDrive'"
    [[ $space == 1 ]] && echo 'space_required = 1'
    echo '[[file]]'
    echo "source = \"$work/small.txt\""
    echo '[[file]]'
    echo "source = \"$work/big.bin\""
  } >"$work/full$space.toml"
  "$sfxtool" build "$work/full$space.toml" -o "$work/full$space.exe" \
    --stub "$stub" >/dev/null || fail "sfxtool build $space"
done

mkdir -p "$mount_dir/Full"
printf 'old big' >"$mount_dir/Full/big.bin"
printf 'old small' >"$mount_dir/Full/small.txt"

# The space check passes (the package claims 1 byte); the write fails.
wine "$work/full1.exe" /S '/LOG=T:\full1.log' 'T:\Full'
code=$?
[[ $code == 5 ]] || fail "full drive: exit code $code, not 5"
[[ $(cat "$mount_dir/Full/big.bin") == 'old big' ]] ||
  fail "full drive: the old big.bin was not kept"
[[ $(cat "$mount_dir/Full/small.txt") == $'small\r' ]] ||
  fail "full drive: small.txt was not replaced"
[[ -z $(ls "$mount_dir/Full" | grep sfxnew) ]] ||
  fail "full drive: a temporary file was left"
grep -q 'Cannot write the data block.' "$mount_dir/full1.log" ||
  fail "full drive: the log does not say why: $(cat "$mount_dir/full1.log")"
grep -q 'Exit code 5' "$mount_dir/full1.log" || fail "full drive: no exit code in the log"
# Without an older big.bin it is written in place: the failed run removes it.
rm -f "$mount_dir/Full/big.bin" "$mount_dir/full1.log"
wine "$work/full1.exe" /S 'T:\Full'
code=$?
[[ $code == 5 ]] || fail "full drive, new file: exit code $code, not 5"
[[ -z $(ls "$mount_dir/Full" | grep -v '^small.txt$') ]] ||
  fail "full drive, new file: left $(ls "$mount_dir/Full")"
printf 'old big' >"$mount_dir/Full/big.bin"

# The real requirement exceeds the free space: a quiet run answers No.
rm -f "$mount_dir/full1.log"
wine "$work/full0.exe" /S 'T:\Full'
code=$?
[[ $code == 4 ]] || fail "no space: exit code $code, not 4"
[[ $(cat "$mount_dir/Full/big.bin") == 'old big' ]] ||
  fail "no space: the old big.bin was not kept"

wine reg delete 'HKCU\Software\SfxTests\FullDrive' /f >/dev/null 2>&1
finish
