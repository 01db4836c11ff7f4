#!/usr/bin/env bash
# The manifest as a user meets it through `sfxtool build`: a folder tree
# with nested and empty folders, blanks and Latin-1 names and excludes
# comes back from `extract` where it belongs; a UTF-8 licence with LF line
# ends comes back as code page 1252 with CR LF; warnings, --werror and the
# refused names end the build before anything is written.
#   manifest_cli_test.sh SFXTOOL WORKDIR
set -uo pipefail
sfxtool=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
source "$(dirname "$0")/../../support/cli_test.sh"
stub_stand_in stub.bin

mkdir -p "product/Sub Dir/Deeper" product/Empty product/.git product/Only
printf 'main\n' >product/main.exe
printf 'notes\n' >"product/Sub Dir/Notes and more.txt"
printf 'caf\xc3\xa9\n' >"product/Sub Dir/Deeper/café.txt"
printf 'x\n' >product/main.exe.bak
printf 'x\n' >product/.git/config
printf 'x\n' >product/Only/skip.bak
ln -s ../main.exe "product/Sub Dir/link.exe"
mkdir devices && printf 'x' >devices/nul.txt
printf 'Licence \xe2\x80\x93 caf\xc3\xa9\nSecond line\r\nThird\n' >LICENSE.TXT
touch -d '2021-03-04 05:06:08' LICENSE.TXT

cat >tree.toml <<'TOML'
product_name = "Tree"
install_dir = "C:\\Tree"
registry_key = "Software\\Tree"
launch_program = "main.exe"
[[tree]]
source = "product"
exclude = ["*.bak", ".git"]
[[file]]
source = "LICENSE.TXT"
[[tree]]
source = "product/Empty"
target_dir = "Logs"
TOML
"$sfxtool" build tree.toml -o tree.exe --stub stub.bin >out.txt 2>err.txt &&
  [[ ! -s err.txt ]] && "$sfxtool" verify tree.exe >/dev/null &&
  "$sfxtool" extract tree.exe -o out >/dev/null &&
  cmp -s product/main.exe out/main.exe &&
  cmp -s "product/Sub Dir/Notes and more.txt" "out/Sub Dir/Notes and more.txt" &&
  cmp -s product/main.exe "out/Sub Dir/link.exe" &&
  cmp -s "product/Sub Dir/Deeper/café.txt" "out/Sub Dir/Deeper/café.txt" &&
  [[ ! -e out/main.exe.bak && ! -e out/.git && ! -e out/Only/skip.bak ]] &&
  [[ -d out/Empty && -d out/Logs ]] &&
  pass "a tree comes back where it belongs" || fail "a tree comes back where it belongs: $(cat err.txt)"

"$sfxtool" list tree.exe >list.txt
# The order of the files: relative paths compared as bytes.
grep -oE '(main\.exe|link\.exe|Notes and more\.txt|caf[^ ]*\.txt|LICENSE\.TXT) ' list.txt | sed 's/ $//' >order.txt
[[ $(tr '\n' ' ' <order.txt) == "caf"*".txt Notes and more.txt link.exe main.exe LICENSE.TXT " ]] &&
  pass "tree files in byte order, sub-folders where they sort" ||
  fail "tree files in byte order: $(tr '\n' ' ' <order.txt)"
sed -n '/^Directories:/,/^[A-Z]/p' list.txt | sed 's/^Directories: *//; s/^ *//' >dirs.txt
[[ $(head -5 dirs.txt | tr '\n' '|') == 'Sub Dir|Sub Dir\Deeper|Empty|Only|Logs|' ]] &&
  pass "folders that files need and empty folders become directories, parents first" ||
  fail "directories: $(tr '\n' '|' <dirs.txt)"

# The licence: code page 1252 and CR LF, with the source's time stamp.
printf 'Licence \x96 caf\xe9\r\nSecond line\r\nThird\r\n' >expected-licence.txt
cmp -s expected-licence.txt out/LICENSE.TXT &&
  (( $(stat -c %Y out/LICENSE.TXT) == $(stat -c %Y LICENSE.TXT) / 2 * 2 )) &&
  pass "a UTF-8 LF licence is packed as code page 1252 with CR LF" ||
  fail "licence: $(od -c out/LICENSE.TXT | head -3)"

# Warnings reach standard error; --werror stops the build.
cat >warn.toml <<'TOML'
product_name = "Warn"
install_dir = "C:\\Warn"
registry_key = "Software\\Warn"
launch_program = "missing.exe"
[[file]]
source = "LICENSE.TXT"
target_dir = "Docs/Legal"
[[tree]]
source = "product"
exclude = ["Sub Dir\\Deeper", "*.pyc"]
TOML
"$sfxtool" build warn.toml -o warn.exe --stub stub.bin >/dev/null 2>err.txt &&
  grep -q '^sfxtool: warning: warn.toml:4: launch_program: "missing.exe" is not in the package' err.txt &&
  grep -q '^sfxtool: warning: warn.toml:7: file\[0\].target_dir: "Docs/Legal" is taken as "Docs\\Legal"' err.txt &&
  grep -q '^sfxtool: warning: warn.toml:10: tree\[0\].exclude: "Sub Dir\\Deeper" leaves nothing out' err.txt &&
  [[ $(grep -c exclude err.txt) -eq 1 ]] &&
  "$sfxtool" list warn.exe | grep -q 'Docs\\Legal' &&
  pass "warnings on standard error, the build goes on" || fail "warnings: $(cat err.txt)"
"$sfxtool" build warn.toml -o werror.exe --stub stub.bin --werror >/dev/null 2>err.txt
code=$?
[[ $code -eq 1 && ! -e werror.exe ]] && grep -q '^sfxtool: error: warn.toml:4: launch_program' err.txt &&
  pass "--werror makes warnings errors" || fail "--werror: exit $code: $(cat err.txt)"

# A misspelt macro is warned of; known ones in any case and a plain % are not.
printf 'product_name = "M"\ninstall_dir = "C:\\\\M"\nregistry_key = "M"\ndirectories = ["%%Sytem%%\\\\x", "%%temp%%\\\\y", "100%% off"]\n' >macro.toml
"$sfxtool" build macro.toml -o macro.exe --stub stub.bin >/dev/null 2>err.txt &&
  [[ $(wc -l <err.txt) -eq 1 ]] && grep -q '^sfxtool: warning: macro.toml:4: directories\[0\]: "%Sytem%" is no macro' err.txt &&
  pass "a misspelt macro is warned of" || fail "misspelt macro: $(cat err.txt)"

# A path too long to be replaced under the default folder is warned of once.
long=$(printf 'd%.0s' {1..120})
printf 'product_name = "L"\ninstall_dir = "C:\\\\L"\nregistry_key = "L"\n[[file]]\nsource = "LICENSE.TXT"\ntarget_dir = "%s\\\\%s"\n[[file]]\nsource = "LICENSE.TXT"\nname = "b-long-name.txt"\ntarget_dir = "%s\\\\%s"\n' \
  "$long" "$long" "$long" "$long" >long.toml
"$sfxtool" build long.toml -o long.exe --stub stub.bin >/dev/null 2>err.txt &&
  [[ $(wc -l <err.txt) -eq 1 ]] &&
  grep -q '^sfxtool: warning: long.toml:5: file\[0\].source: installs under the default folder as a path of at least 258 characters.* (1 more files)$' err.txt &&
  pass "a path too long to be replaced is warned of once" || fail "long path: $(cat err.txt)"

# Refused names: one line naming the manifest line and field, no installer.
refused() { # NAME PATTERN TOML-BODY
  refused_manifest "refused: $1" "$2" 'product_name = "R"
install_dir = "C:\\R"
registry_key = "R"'"
$3"
}
refused "a target directory that climbs out" '6: file\[0\]\.target_dir: "\.\.\\\.\.\\Escaped", which has a \. or \.\. component' \
  '[[file]]
source = "LICENSE.TXT"
target_dir = "..\\..\\Escaped"'
refused "a device name in a tree" '5: tree\[0\]\.source: "nul\.txt": must be a plain file name' \
  "[[tree]]
source = \"devices\""
refused "files that differ only in case" '8: file\[1\]\.name: "license.txt" and "LICENSE.TXT" .* are the same file in the destination' \
  '[[file]]
source = "LICENSE.TXT"
[[file]]
source = "LICENSE.TXT"
name = "license.txt"'
refused "a glob that matches nothing" '5: file\[0\]\.source: matches no file' \
  '[[file]]
source = "product/*.none"'
for field in 'welcome = ["a\u0000b"]' 'browse_prompt = "\u0000"'; do
  refused "a NUL in ${field%% *}" "4: ${field%% *}(\\[0\\])?: may not hold a NUL" "$field"
done
refused "a NUL in a source (the path up to it is another file)" '5: file\[0\]\.source: may not hold a NUL' \
  '[[file]]
source = "LICENSE.TXT\u0000.old"'
mkdir -p locked && printf 'x' >locked/secret.txt && chmod 000 locked/secret.txt
for table in file tree; do
  printf 'product_name = "U"\ninstall_dir = "C:\\\\U"\nregistry_key = "U"\n[[%s]]\nsource = "%s"\n' \
    $table "$([[ $table == file ]] && echo locked/*.txt || echo locked)" >unreadable.toml
  as_other_user "$sfxtool" build unreadable.toml -o /dev/null --stub stub.bin 2>err.txt
  grep -q "^sfxtool: unreadable.toml:5: $table\[0\]\.source: cannot read locked/secret.txt: Permission denied$" err.txt &&
    pass "an unreadable $table source is named at its line" || fail "unreadable $table source: $(cat err.txt)"
done
# The build's temporary files go to $TMPDIR, the uninstaller's copy too
# (with a win32 tree to take the uninstaller from).
uninstaller=${SFX_UNINSTALLER:-$(dirname "$sfxtool")/../win32/uninstaller.exe}
if [[ -f $uninstaller ]]; then
  printf 'product_name = "T"\ninstall_dir = "C:\\\\T"\nregistry_key = "T"\nuninstaller = true\n' >tmpdir.toml
  TMPDIR=$PWD/no-tmp SFX_UNINSTALLER=$uninstaller "$sfxtool" build tmpdir.toml -o tmpdir.exe --stub stub.bin 2>err.txt
  grep -q "^sfxtool: cannot create a file in $PWD/no-tmp for the uninstaller: No such file" err.txt &&
    pass "the uninstaller's copy goes to \$TMPDIR" || fail "TMPDIR: $(cat err.txt)"
fi
mkdir -p "deep/$(printf 'd%.0s' {1..200})"
refused "a tree folder whose directory is too long" '5: tree\[0\]\.source: "d+": the directory "a+\\d+" is longer than 255' \
  "[[tree]]
source = \"deep\"
target_dir = \"$(printf 'a%.0s' {1..60})\""
# Limits known before compressing stop the build at once (sparse files:
# no disk space, no time spent packing).
truncate -s 1100M big.bin && truncate -s 4097M huge.bin
printf 'product_name = "L"\ninstall_dir = "C:\\\\L"\nregistry_key = "L"\n[[file]]\nsource = "big.bin"\n' >big.toml
"$sfxtool" build big.toml -o big.exe --stub stub.bin --werror >/dev/null 2>err.txt
code=$?
[[ $code -eq 1 && ! -e big.exe ]] &&
  grep -q '^sfxtool: error: big.toml: the files hold 1153433600 bytes; unless they compress .*checksum' err.txt &&
  pass "a package beyond the checksum's reach is named before packing" || fail "checksum limit: exit $code: $(cat err.txt)"
printf 'product_name = "L"\ninstall_dir = "C:\\\\L"\nregistry_key = "L"\n[[file]]\nsource = "huge.bin"\n' >huge.toml
"$sfxtool" build huge.toml -o huge.exe --stub stub.bin --skip-checksum >/dev/null 2>err.txt
code=$?
[[ $code -eq 1 && ! -e huge.exe ]] && grep -q 'huge.toml:5: file\[0\]\.source: huge.bin is larger than 4 GiB' err.txt &&
  pass "a file beyond 4 GiB is refused before packing" || fail "4 GiB: exit $code: $(cat err.txt)"
rm -f big.bin huge.bin
"$sfxtool" build nothing.toml -o x.exe --stub stub.bin 2>err.txt
[[ $(cat err.txt) == 'sfxtool: cannot open nothing.toml: No such file or directory' ]] &&
  pass "a missing manifest is said plainly" || fail "missing manifest: $(cat err.txt)"

finish
