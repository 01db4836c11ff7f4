#!/usr/bin/env bash
# The vendor's installer read by tools that are not ours: osslsigncode
# accepts the signature, wrestool (icoutils) finds the icon images of the
# .ico, the version strings and the execution level; sfxtool verify tells
# signed from unsigned and refuses a signed file with a changed payload
# byte. Then sfxtool is installed into a scratch DESTDIR and builds from
# another folder without --stub.
#   vendor_readers.sh SFXTOOL FIXTURE_DIR FIXTURE_SOURCES SOURCE_DIR
set -uo pipefail
sfxtool=$1
fixtures=$2
sources=$3
source_dir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
signed=$fixtures/vendor.exe
unsigned=$fixtures/vendor_unsigned.exe

source "$(dirname "$0")/../support/cli_test.sh"

# --- The signature -----------------------------------------------------------
out=$(osslsigncode verify -CAfile "$fixtures/vendor_cert.pem" -in "$signed" 2>&1)
equals "osslsigncode verify accepts the signed installer" "$?" 0
contains "osslsigncode names the signer" "$out" "CN=Sfx Throw-away Test Signer"

out=$("$sfxtool" verify "$signed")
equals "sfxtool verify: signed installer" "$?" 0
contains "sfxtool verify names the signer" "$out" \
  "signed by /CN=Sfx Throw-away Test Signer/O=Sfx Test Vendor"
out=$("$sfxtool" verify "$unsigned")
equals "sfxtool verify: unsigned installer" "$?" 0
contains "sfxtool verify: not signed" "$out" "vendor_unsigned.exe: not signed"
"$sfxtool" verify "$fixtures/hello.exe" >/dev/null
equals "an installer without identity keys still verifies" "$?" 0

# One payload byte changed, 40 bytes before the trailer marker.
python3 - "$signed" "$work/changed.exe" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.find(b'File CRCFile CRC')
data[at - 40] ^= 1
open(sys.argv[2], 'wb').write(data)
EOF
out=$("$sfxtool" verify "$work/changed.exe" 2>&1)
equals "sfxtool verify refuses the changed signed file" "$?" 1
contains "... as a checksum mismatch" "$out" "FAILED: checksum mismatch"

# --- The resources -----------------------------------------------------------
python3 - "$sources/vendor.ico" "$signed" <<'EOF' && pass "every icon image equals the .ico's" || fail "icon images"
import struct, subprocess, sys
ico = open(sys.argv[1], 'rb').read()
count = struct.unpack_from('<H', ico, 4)[0]
for i in range(count):
    size, offset = struct.unpack_from('<II', ico, 6 + 16 * i + 8)
    raw = subprocess.run(['wrestool', '-x', '--raw', '--type=3',
                          '--name=%d' % (i + 1), sys.argv[2]],
                         capture_output=True, check=True).stdout
    assert raw == ico[offset:offset + size], 'image %d differs' % (i + 1)
listing = subprocess.run(['wrestool', '-l', sys.argv[2]], capture_output=True,
                         text=True, check=True).stdout
assert listing.count('--type=3 ') == count, listing
assert "--type=14 --name='SETUP'" in listing, listing
EOF
strings=$(wrestool -x --raw --type=16 "$signed" | iconv -f UTF-16LE -t UTF-8 2>/dev/null | tr -c '[:print:]' '\n' | grep -v '^$' | tr '\n' '|')
for pair in "ProductName|Vendor E2E" "ProductVersion|3.2.1" "FileVersion|3.2.1" \
            "CompanyName|Sfx Test Vendor" "FileDescription|Vendor E2E Setup"; do
  contains "VERSIONINFO ${pair%%|*}" "$strings" "$pair|"
done
manifest=$(wrestool -x --raw --type=24 --name=1 "$signed")
contains "manifest: execution level" "$manifest" 'level="highestAvailable"'
contains "manifest: common controls 6" "$manifest" 'Microsoft.Windows.Common-Controls'
contains "manifest: DPI awareness" "$manifest" '<dpiAware'
contains "manifest: Windows 10" "$manifest" '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a'

# --- The installed tool --------------------------------------------------------
host_dir=$(dirname "$sfxtool")
if DESTDIR="$work/stage" cmake --install "$host_dir" --prefix /usr/local >/dev/null; then
  pass "cmake --install into a DESTDIR"
else
  fail "cmake --install into a DESTDIR"
fi
installed=$work/stage/usr/local/bin/sfxtool
equals "installed: --version" "$("$installed" --version | cut -d' ' -f1)" sfxtool
mkdir -p "$work/elsewhere" && cp "$source_dir/tests/e2e/fixtures/data/a.txt" "$work/elsewhere/"
cat >"$work/elsewhere/app.toml" <<'EOF'
product_name = "Elsewhere"
install_dir = 'C:\Elsewhere'
registry_key = 'Software\SfxTests\Elsewhere'
uninstaller = true
[[file]]
source = "a.txt"
EOF
out=$(cd "$work/elsewhere" && env -u SFX_STUB -u SFX_UNINSTALLER "$installed" build app.toml -o setup.exe 2>&1)
equals "installed sfxtool builds without --stub" "$?" 0
out=$("$installed" list "$work/elsewhere/setup.exe" 2>&1)
contains "... and packs the installed uninstaller" "$out" "TIV_UNINSTAL.EXE"
# A PKCS#12 file with its password in a file, timestamped by an authority
# of the older kind (--timestamp), as a build server signs.
openssl pkcs12 -export -in "$fixtures/vendor_cert.pem" \
  -inkey "$fixtures/vendor_key.pem" -passin "file:$fixtures/vendor_key.pass" \
  -out "$work/vendor.pfx" -passout pass:pfx-pass
printf 'pfx-pass\r\n' >"$work/pfx.pass"
openssl pkey -in "$fixtures/vendor_key.pem" \
  -passin "file:$fixtures/vendor_key.pass" -out "$work/tsa_key.pem"
python3 "$source_dir/tests/unit/tool/legacy_tsa.py" "$fixtures/vendor_cert.pem" \
  "$work/tsa_key.pem" "$work/port" &
tsa=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
out=$(cd "$work/elsewhere" && env -u SFX_STUB -u SFX_UNINSTALLER "$installed" \
  build app.toml -o pfx.exe --sign "$work/vendor.pfx" \
  --key-password-file "$work/pfx.pass" \
  --timestamp "http://127.0.0.1:$(cat "$work/port")" </dev/null 2>&1)
equals "signs with a PKCS#12 file and a timestamp" "$?" 0
kill "$tsa"
out=$(osslsigncode verify -CAfile "$fixtures/vendor_cert.pem" \
  -TSA-CAfile "$fixtures/vendor_cert.pem" -in "$work/elsewhere/pfx.exe" 2>&1)
equals "... which osslsigncode accepts" "$?" 0
contains "... with the timestamp" "$out" "Timestamp Server Signature verification: ok"

out=$("$installed" help manifest)
for key in product_version publisher execution_level uninstaller icon registry_key; do
  contains "help manifest lists $key" "$out" "$key"
done

finish
