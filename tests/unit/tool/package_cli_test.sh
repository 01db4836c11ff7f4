#!/usr/bin/env bash
# `sfxtool build / list / verify / extract` as a user runs them: round trips
# for every format version, reproducible builds, the integrity check, clear
# manifest errors, and a corpus of damaged installers that must each end
# with a message and exit code 1, never a crash.
#   package_cli_test.sh SFXTOOL MAKE_CORPUS WORKDIR [--large]
# With --large only the 50 MB round trip runs.
set -uo pipefail
sfxtool=$1
make_corpus=$2
work=$3
large=${4:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
source "$(dirname "$0")/../../support/cli_test.sh"
stub_stand_in stub.bin

# mtime NAME: modification time in seconds.
mtime() { stat -c %Y "$1"; }
# same_file SRC OUT: equal bytes, and a time equal to the source's rounded
# down to the 2 seconds of a DOS time stamp.
same_file() {
  cmp -s "$1" "$2" && (( $(mtime "$2") == $(mtime "$1") / 2 * 2 ))
}
marker_of() { "$sfxtool" list --json "$1" | sed -n 's/.*"marker_offset": \([0-9]*\).*/\1/p'; }
flip() { # FILE OFFSET: inverts the lowest bit of one byte
  local b
  b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "$(printf '\\%03o' $((b ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
clean_stderr() { ! grep -qE 'Sanitizer|runtime error' "$1"; }

mkdir -p src
if [[ $large == --large ]]; then
  head -c 52428800 /dev/urandom >src/big.bin
  touch -d '2022-02-02 22:22:23' src/big.bin
  cat >big.toml <<'TOML'
product_name = "Big"
install_dir = "C:\\Big"
registry_key = "Software\\Big"
[[file]]
source = "src/big.bin"
TOML
  # On a terminal (script(1) gives one) the build shows its progress.
  script -qec "'$sfxtool' build big.toml -o big.exe --stub stub.bin" /dev/null >tty.txt
  check "50 MB build" test -s big.exe
  check "a progress line on a terminal" grep -qE $'\rbuild  [0-9.]+ MB of 5[0-9.]+ MB  [0-9.]+ MB/s  [0-9:]+ left' tty.txt
  check "50 MB verify" "$sfxtool" verify big.exe
  "$sfxtool" extract big.exe -o out-big 2>progress.txt >/dev/null
  check "50 MB round trip" same_file src/big.bin out-big/big.bin
  check "no progress line when standard error is no terminal" test ! -s progress.txt
  finish
fi

yes 'A line of the readme, repeated to fill the file.' | head -c 5000 >src/readme.txt
: >src/empty.txt
yes 'sixty-five thousand bytes of text' | head -c 65000 >src/exact65000.bin
head -c 130000 /dev/urandom >src/exact130000.bin
printf 'up and away\n' >src/escape.txt
# An .ico of one 4-byte image: header, directory entry, image.
printf '\0\0\1\0\1\0\20\20\0\0\1\0\40\0\4\0\0\0\26\0\0\0icon' >src/icon.ico
touch -d '2019-05-04 03:02:01' src/readme.txt src/empty.txt
touch -d '2020-12-31 23:59:59' src/exact65000.bin
touch -d '1999-01-01 00:00:00' src/exact130000.bin src/escape.txt

cat >base.toml <<'TOML'
# Fits every format version.
product_name = "Test Product"
product_texts = ["two", "", "Café"]
package_texts = ["Package A", "Package B"]
install_dir = "C:\\Program Files\\Test"
menu_folder = "Test"
browse_prompt = "Choose a folder"
registry_key = "Software\\Tests\\Test"
launch_program = "readme.txt"
welcome = ["Welcome", "to the test"]
finish = ["Done"]
directories = ["Data", "%COMMONAPPDATA%Test"]
extra_log_entries = ["extra.log"]

[[file]]
source = "src/readme.txt"
shortcut = "Readme"
[[file]]
source = "src/empty.txt"
target_dir = "%INSTALLDIR%"
[[file]]
source = "src/exact65000.bin"
target_dir = "Data"
[[file]]
source = "src/exact130000.bin"
target_dir = "%SYSTEM%\\Sub"
[[file]]
source = "src/escape.txt"
target_dir = "Up\\Deep"
TOML
{ cat base.toml; cat <<'TOML'
[[file]]
source = "src/readme.txt"
name = "LICENSE.TXT"
desktop_icon = true
add_to_log = false
[[pre_run]]
file = "readme.txt"
parameters = "/s"
extract_first = true
stage = "before"
[[pre_run]]
file = "%SYSTEM%tool.exe"
stage = 3
TOML
} >full.toml
sed -i 's/^product_name = .*/&\nicon = "src\/icon.ico"\ninfo_texts = ["i1", "", "i3"]\nflags = [true, false, true]/' full.toml

# Round trips in every format version.
expect_tree() { # DIR: every file where it belongs, with its time stamp
  same_file src/readme.txt "$1/readme.txt" &&
    same_file src/empty.txt "$1/%INSTALLDIR%/empty.txt" &&
    same_file src/exact65000.bin "$1/Data/exact65000.bin" &&
    same_file src/exact130000.bin "$1/%SYSTEM%/Sub/exact130000.bin" &&
    same_file src/escape.txt "$1/Up/Deep/escape.txt" &&
    [[ -d "$1/%COMMONAPPDATA%/Test" ]]  # a listed directory, empty
}
for format in 1.2 2.1 2.2 2.3 2.4; do
  "$sfxtool" build base.toml -o "setup-$format.exe" --stub stub.bin --format "$format" >/dev/null &&
    "$sfxtool" verify "setup-$format.exe" >/dev/null &&
    "$sfxtool" extract "setup-$format.exe" -o "out-$format" >/dev/null &&
    expect_tree "out-$format" &&
    "$sfxtool" list --json "setup-$format.exe" | grep -q "\"format\": \"Installer $format\"" &&
    pass "round trip in format $format" || fail "round trip in format $format"
done
"$sfxtool" build full.toml -o full.exe --stub stub.bin >/dev/null &&
  "$sfxtool" verify full.exe >/dev/null && "$sfxtool" extract full.exe -o out-full >/dev/null &&
  expect_tree out-full &&
  perl -pe 's/\n/\r\n/' src/readme.txt | cmp -s - out-full/LICENSE.TXT &&
  (( $(mtime out-full/LICENSE.TXT) == $(mtime src/readme.txt) / 2 * 2 )) &&
  pass "round trip with every 2.4 field" || fail "round trip with every 2.4 field"
"$sfxtool" list full.exe >list.txt &&
  grep -q '\[before\] readme.txt /s extract-first' list.txt &&
  grep -q 'LICENSE.TXT' list.txt && grep -q '^Flags: *1 0 1' list.txt &&
  grep -q '^Product: *Test Product' list.txt && grep -q '^ *Café$' list.txt &&
  pass "list shows header and files" || fail "list shows header and files"
"$sfxtool" list --json full.exe | grep -q '"icon_size": 26' &&
  pass "list --json" || fail "list --json"

# SOURCE_DATE_EPOCH as the newest time (the same inputs giving the same
# bytes: the -j builds below).
SOURCE_DATE_EPOCH=946684800 "$sfxtool" build base.toml -o epoch.exe --stub stub.bin >/dev/null &&
  "$sfxtool" extract epoch.exe -o out-epoch >/dev/null &&
  (( $(mtime out-epoch/readme.txt) == 946684800 )) &&
  (( $(mtime out-epoch/Up/Deep/escape.txt) == 915148800 )) &&
  pass "SOURCE_DATE_EPOCH clamps newer times only" || fail "SOURCE_DATE_EPOCH clamps newer times only"
SOURCE_DATE_EPOCH= "$sfxtool" build base.toml -o epoch-empty.exe --stub stub.bin >/dev/null &&
  cmp -s epoch-empty.exe setup-2.4.exe && pass "an empty SOURCE_DATE_EPOCH is unset" ||
  fail "an empty SOURCE_DATE_EPOCH is unset"

# Any number of threads gives the same installer and the same files; a
# file of many blocks keeps several of them in flight.
{ yes 'many blocks of text' | head -c 400000; head -c 300000 /dev/urandom; } >src/blocks.bin
{ cat full.toml; printf '[[file]]\nsource = "src/blocks.bin"\ntarget_dir = "Data"\n'
  printf '[[file]]\nsource = "src/escape.txt"\nname = "Café.txt"\ntarget_dir = "Ré"\n'; } >jobs.toml
for j in 1 2 5; do
  "$sfxtool" build jobs.toml -o "jobs-$j.exe" --stub stub.bin -j "$j" >/dev/null &&
    "$sfxtool" extract "jobs-$j.exe" -o "out-jobs-$j" -j "$j" >/dev/null ||
    fail "build and extract with -j $j"
done
cmp -s jobs-1.exe jobs-2.exe && cmp -s jobs-1.exe jobs-5.exe &&
  diff -r out-jobs-1 out-jobs-2 >/dev/null && diff -r out-jobs-1 out-jobs-5 >/dev/null &&
  same_file src/blocks.bin out-jobs-2/Data/blocks.bin &&
  pass "-j 1, 2 and 5 give the same bytes" || fail "-j 1, 2 and 5 give the same bytes"
check "names are written in UTF-8" same_file src/escape.txt out-jobs-1/Ré/Café.txt
"$sfxtool" list jobs-1.exe | perl -CS -Mutf8 -ne '$t = index($_, "Target") if /^Date/;
  $r = index($_, "Ré") if /Café/; END { exit !($t > 0 && $r == $t) }' &&
  pass "list pads a UTF-8 name by characters" || fail "list pads a UTF-8 name by characters"
"$sfxtool" verify jobs-1.exe -j 3 -v >out.txt &&
  [[ $(grep -c '^ *[0-9]* ' out.txt) -eq 8 ]] && grep -q ': OK' out.txt &&
  pass "verify -v lists every file" || fail "verify -v lists every file: $(cat out.txt)"
"$sfxtool" verify jobs-1.exe -q >out.txt 2>&1 && [[ ! -s out.txt ]] &&
  pass "-q prints nothing" || fail "-q prints nothing"

# Failures: one line on standard error, exit code 1; nothing lost.
fails() { # NAME PATTERN COMMAND...: exit 1 with one matching line on stderr
  local name=$1 pattern=$2
  shift 2
  "$@" >/dev/null 2>"$errors"
  local code=$?
  [[ $code -eq 1 && $(wc -l <"$errors") -eq 1 ]] && grep -qE "$pattern" "$errors" &&
    pass "$name" || fail "$name (exit $code: $(cat "$errors"))"
}
errors=$PWD/errors.txt
cp -p src/readme.txt keep.txt && ln -f src/readme.txt hardlink.txt
for output in src/readme.txt hardlink.txt stub.bin base.toml; do
  fails "build refuses to write over its input $output" 'is the input' \
    "$sfxtool" build base.toml -o "$output" --stub stub.bin
done
# full.toml packs src/readme.txt as a converted licence, and an icon.
cp -p src/icon.ico icon-keep.ico
for output in src/readme.txt src/icon.ico; do  # (after a warning line)
  "$sfxtool" build full.toml -o "$output" --stub stub.bin >/dev/null 2>"$errors"
  [[ $? -eq 1 ]] && grep -q 'is the input' "$errors" &&
    pass "build refuses to write over its input $output (full)" ||
    fail "build refuses to write over its input $output (full)"
done
cmp -s src/icon.ico icon-keep.ico || fail "the icon is intact"
printf 'old output\n' >lzh-out.bin && cp lzh-out.bin lzh-keep.bin
printf '\377\377\377\377' >negative.lzh
fails "lzh refuses to write over its input" 'is the input' \
  "$sfxtool" lzh encode lzh-out.bin lzh-out.bin
fails "lzh decode of a bad stream keeps the old output" 'not an LZH stream' \
  "$sfxtool" lzh decode negative.lzh lzh-out.bin
cmp -s lzh-out.bin lzh-keep.bin && [[ -z $(find . -maxdepth 1 -name '*.tmp*') ]] &&
  pass "lzh left its output as it was" || fail "lzh left its output as it was"
# A replaced output keeps its permissions; one the user may not write stays.
for tool in "build base.toml --stub stub.bin -o" "lzh encode src/readme.txt"; do
  cp lzh-keep.bin mode.out && chmod 751 mode.out && "$sfxtool" $tool mode.out >/dev/null
  equals "$tool keeps the output's permissions" "$(stat -c %a mode.out)" 751
  chmod 444 mode.out && cp -p mode.out mode-keep.out
  fails "$tool refuses a read-only output" 'mode.out cannot be replaced: it is read-only' \
    as_other_user "$sfxtool" $tool mode.out
  cmp -s mode.out mode-keep.out || fail "$tool: the read-only output is intact"
done
cmp -s src/readme.txt keep.txt && cmp -s stub.bin <(cat stub.bin) && grep -q '^product_name' base.toml &&
  pass "the refused inputs are intact" || fail "the refused inputs are intact"
mkdir -p self && cp full.exe self/readme.txt
fails "extract refuses to replace the installer" 'would replace the installer' \
  "$sfxtool" extract self/readme.txt -o self
(cd self && fails "extract -o . refuses to replace the installer" 'would replace the installer' \
  "$sfxtool" extract readme.txt -o .)
cmp -s full.exe self/readme.txt && [[ $(ls self) == readme.txt ]] &&
  pass "the installer is intact and nothing was written" || fail "the installer is intact"
mkdir -p planted/out victim && ln -s ../../victim planted/out/Data
fails "a symbolic link inside -o is not followed" 'Data is a symbolic link' \
  "$sfxtool" extract full.exe -o planted/out
[[ -z $(ls victim) && -z $(find planted -name '*.tmp') ]] &&
  pass "nothing written through the link" || fail "nothing written through the link"
for tool in verify list; do
  fails "$tool on a directory" '^(sfxtool: )?src: (FAILED: )?is a directory$' "$sfxtool" $tool src
  fails "$tool on a device" 'is not a regular file' "$sfxtool" $tool /dev/null
done
fails "extract from a directory" 'src: is a directory' "$sfxtool" extract src -o out-dir

# Names and texts that are not printable are shown escaped: the entry name
# of escape.txt patched to hold ESC and an undefined byte of the code page.
"$sfxtool" build base.toml -o control.exe --stub stub.bin --skip-checksum >/dev/null
at=$(grep -obUa 'escape\.txt' control.exe | tail -1 | cut -d: -f1)
printf '\033\201' | dd of=control.exe bs=1 seek="$at" conv=notrunc status=none
"$sfxtool" list control.exe >out.txt && "$sfxtool" list --json control.exe >json.txt &&
  grep -qF '\x1B\x81cape.txt' out.txt && grep -qF '"\u001b\u0081cape.txt"' json.txt &&
  ! grep -q $'\033' out.txt json.txt &&
  pass "list escapes what is not printable" || fail "list escapes: $(grep cape out.txt json.txt)"

# Faults the installer would pass over without a word: verify fails them,
# list shows them, extract warns of the time stamps and writes the files.
untime() { # FILE NAME: the entry NAME gets month 15, day 0, hour 25
  local at=$(($(grep -obUa "$2" "$1" | tail -1 | cut -d: -f1) + ${#2} + 16))
  printf '\0\310\340\135' | dd of="$1" bs=1 seek="$at" conv=notrunc status=none
}
"$sfxtool" build base.toml -o plain.exe --stub stub.bin --skip-checksum >/dev/null
cp plain.exe untimed.exe && untime untimed.exe readme.txt && untime untimed.exe exact65000.bin
untimed='entry 0 (readme.txt): the time stamp 2026-15-00 25:00:00 is no date and time;'
fails "verify fails an impossible time stamp" "FAILED: ${untimed//[()]/.} the installer gives" \
  "$sfxtool" verify untimed.exe
"$sfxtool" list untimed.exe | grep -qF "Warning:            $untimed" &&
  "$sfxtool" extract untimed.exe -o out-untimed -q 2>err.txt &&
  [[ $(cat err.txt) == "sfxtool: warning: untimed.exe: $untimed written with the time of extraction (and 1 more entries)" ]] &&
  cmp -s src/readme.txt out-untimed/readme.txt && same_file src/empty.txt out-untimed/%INSTALLDIR%/empty.txt &&
  pass "list and extract warn of impossible time stamps" || fail "impossible time stamps: $(cat err.txt)"
h=$("$sfxtool" list --json plain.exe | sed -n 's/.*"header_offset": \([0-9]*\).*/\1/p')
p=$(od -An -tu4 -j "$h" -N4 plain.exe | tr -d ' ')
tail -c +$((h + 5)) plain.exe | head -c "$p" | "$sfxtool" lzh decode - header.bin
for field in "BrowsePrompt:Choose a folder" "PackageText2:Package B" "ExtraProgEntries[0]:extra.log"; do
  text=${field#*:} && field=${field%%:*}  # the text's first byte becomes a NUL
  perl -0777 -pe "s/\Q$text\E/\0${text:1}/" header.bin | "$sfxtool" lzh encode - header.lzh
  { head -c "$h" plain.exe; perl -e 'print pack("V", -s "header.lzh")'; cat header.lzh
    tail -c +$((h + 5 + p)) plain.exe; } >nul.exe
  shown="header: $field \"\\x00${text:1}\" holds a NUL"
  "$sfxtool" verify nul.exe 2>err.txt
  [[ $? -eq 1 ]] && grep -qF "nul.exe: FAILED: $shown" err.txt &&
    "$sfxtool" list nul.exe | grep -qF "Warning:            $shown" &&
    pass "verify fails and list shows a NUL in $field" || fail "NUL in $field: $(cat err.txt)"
done
for stub in src/readme.txt setup-2.4.exe; do
  fails "a stub without a size block or with a marker is named" "^sfxtool: $stub: the stub (must hold|holds)" \
    "$sfxtool" build base.toml -o bad-stub.exe --stub "$stub"
done
for args in list "list --json" verify; do
  fails "$args into a full disk fails" '^sfxtool: cannot write the standard output: No space left on device$' \
    sh -c '"$0" $1 setup-2.4.exe >/dev/full' "$sfxtool" "$args"
done

# The integrity check.
marker=$(marker_of setup-2.4.exe)
size=$(stat -c %s setup-2.4.exe)
stub_size=$(stat -c %s stub.bin)
skip_byte=$((302 + 22))  # the SkipChecksum byte of the size block
for offset in 0 1 150 302 303 316 320 323 $stub_size $((stub_size + 5)) $((stub_size + 100)) \
              $((marker / 2)) $((marker - 30)) $((marker - 5)) $((marker - 1)); do
  cp setup-2.4.exe flipped.exe
  flip flipped.exe "$offset"
  "$sfxtool" verify flipped.exe 2>out.txt
  code=$?
  # A flip inside the size block itself hides the block.
  sizes="the file is $size bytes, StubSizeBlock expects $size"
  (( offset >= 302 && offset < 325 )) && sizes="StubSizeBlock"
  [[ $code -eq 1 ]] && grep -q 'FAILED: checksum mismatch' out.txt &&
    grep -qE "$sizes" out.txt ||
    fail "a flipped byte at $offset is rejected (exit $code: $(cat out.txt))"
done
pass "flipped bytes before the marker are rejected"
cp setup-2.4.exe flipped.exe
flip flipped.exe $skip_byte
"$sfxtool" verify flipped.exe >out.txt
check "a set SkipChecksum byte is accepted, with a warning" grep -q 'warning: checksum mismatch' out.txt
{ cat setup-2.4.exe; printf 'a signature appended later'; } >appended.exe
"$sfxtool" verify appended.exe >out.txt
check "bytes appended after the checksum are accepted" grep -q ': OK' out.txt
"$sfxtool" build base.toml -o skip.exe --stub stub.bin --skip-checksum >/dev/null
# Flips in the program part only: one inside the package would break its
# streams, which the check reports whatever the checksum.
flip skip.exe 10
flip skip.exe 150
check "a --skip-checksum installer accepts flipped bytes" "$sfxtool" verify skip.exe
# --level fast: an installer that verifies and extracts the same files.
"$sfxtool" build base.toml -o fast.exe --stub stub.bin --level fast >/dev/null
check "a --level fast installer verifies" "$sfxtool" verify fast.exe
rm -rf fast-out
"$sfxtool" extract fast.exe -o fast-out >/dev/null &&
  "$sfxtool" extract setup-2.4.exe -o best-out >/dev/null &&
  diff -r fast-out best-out >/dev/null && pass "--level fast extracts the same files" ||
  fail "--level fast extracts the same files"
"$sfxtool" build base.toml -o bad.exe --stub stub.bin --level max >/dev/null 2>&1
[[ $? -eq 2 && ! -e bad.exe ]] && pass "an unknown --level is refused" ||
  fail "an unknown --level is refused"
head -c $((size - 30)) setup-2.4.exe >nomarker.exe
"$sfxtool" verify nomarker.exe 2>out.txt
check "no marker is reported" grep -q 'FAILED: no trailer marker' out.txt

# The vendor's keys are read by the tool, not the manifest reader (the
# reader's messages are the unit test's).
head='product_name = "P"
install_dir = "C:\\P"
registry_key = "K"'
refused_manifest "manifest error: unknown execution level" '4: execution_level: must be' "$head
execution_level = \"admin\""
refused_manifest "manifest error: uninstaller not a boolean" '4: uninstaller: must be true or false' "$head
uninstaller = \"yes\""
"$sfxtool" build base.toml -o signed.exe --stub stub.bin --key key.pem >/dev/null 2>&1
check "--key without --sign is a usage error" test $? -eq 2
"$sfxtool" build base.toml -o signed.exe --stub stub.bin --key-password-file x >/dev/null 2>&1
check "--key-password-file without --sign is a usage error" test $? -eq 2
while read -r option args; do  # each option once; a second is a usage error
  "$sfxtool" $args >/dev/null 2>err.txt
  [[ $? -eq 2 ]] && grep -q "^sfxtool [a-z]*: $option is given twice" err.txt ||
    fail "$option given twice: $(head -1 err.txt)"
done <<'ARGS'
--json list --json --json full.exe
--quiet verify -q --quiet full.exe
--jobs extract full.exe -o twice -j 2 --jobs=3
--werror build base.toml -o twice.exe --stub stub.bin --werror --werror
--level lzh encode --level fast --level=best src/readme.txt twice.lzh
ARGS
pass "options given twice are usage errors"
# After '--' every argument is a file, whatever its first character.
cp base.toml ./-m.toml && cp setup-2.4.exe ./-s.exe
for args in "build -q -o dash.exe --stub stub.bin -- -m.toml" "list -- -s.exe" "verify -q -- -s.exe" \
            "extract -q -o out-dash -- -s.exe" "lzh encode -- -m.toml -m.lzh" "lzh decode -- -m.lzh -m.out"; do
  "$sfxtool" $args >/dev/null || fail "-- ends the options: $args"
done
cmp -s dash.exe setup-2.4.exe && expect_tree out-dash && cmp -s ./-m.out base.toml &&
  pass "-- ends the options of every command" || fail "-- ends the options of every command"
"$sfxtool" build base.toml --stub=stub.bin --level=fast -o joined.exe >/dev/null &&
  "$sfxtool" verify joined.exe >/dev/null && pass "build takes --flag=value" ||
  fail "build takes --flag=value"
for args in "build base.toml -o x.exe --stub stub.bin --werror=1" \
             "lzh decode --level fast twice.lzh x.out"; do
  "$sfxtool" $args >/dev/null 2>&1
  [[ $? -eq 2 ]] || fail "usage error: $args"
done
# The default stub lies beside the tool's folder: try it with a copy.
mkdir -p tool/bin && cp "$sfxtool" tool/bin/sfxtool
tool/bin/sfxtool build base.toml -o nostub.exe 2>err.txt
code=$?
[[ $code -eq 1 ]] && grep -q 'bin/../win32/installer.exe' err.txt && pass "a missing default stub is named" ||
  fail "a missing default stub is named (exit $code: $(cat err.txt))"
mkdir -p tool/win32 && cp stub.bin tool/win32/installer.exe
tool/bin/sfxtool build base.toml -o default-stub.exe >/dev/null && cmp -s default-stub.exe setup-2.4.exe &&
  pass "the default stub is the installer of the same build" ||
  fail "the default stub is the installer of the same build"
printf 'no size block here' >badstub.bin
"$sfxtool" build base.toml -o badstub.exe --stub badstub.bin 2>err.txt
code=$?
[[ $code -eq 1 ]] && grep -q 'RealFileSize=' err.txt && [[ ! -e badstub.exe ]] &&
  pass "a stub without its size block is refused" || fail "a stub without its size block is refused"

# Damaged installers: a message and exit code 1 from verify and extract,
# 0 or 1 from list, never a sanitizer report, never a file outside.
mkdir corpus
"$make_corpus" full.exe corpus || fail "make_corpus"
count=0
for bad in corpus/*.exe; do
  count=$((count + 1))
  name=$(basename "$bad" .exe)
  "$sfxtool" verify "$bad" >out.txt 2>err.txt
  code=$?
  [[ $code -eq 1 && ! -s out.txt && $(wc -l <err.txt) -eq 1 ]] && grep -q 'FAILED: ' err.txt &&
    clean_stderr err.txt || fail "verify $name: exit $code: $(cat out.txt err.txt | head -5)"
  mkdir -p "jail/$name/out"
  "$sfxtool" extract "$bad" -o "jail/$name/out" >out.txt 2>err.txt
  code=$?
  [[ $code -eq 1 && $(wc -l <err.txt) -eq 1 ]] && clean_stderr err.txt ||
    fail "extract $name: exit $code: $(cat err.txt | head -5)"
  [[ -z $(find "jail/$name" -mindepth 1 -maxdepth 1 ! -name out) ]] ||
    fail "extract $name wrote outside its folder"
  # Entry 0 is the damaged one: nothing of it may stay, not even a
  # temporary file.
  [[ -z $(find "jail/$name/out" -type f) ]] || fail "extract $name left files"
  "$sfxtool" list "$bad" >out.txt 2>err.txt
  code=$?
  [[ $code -eq 0 || $code -eq 1 ]] && clean_stderr err.txt ||
    fail "list $name: exit $code: $(cat err.txt | head -5)"
done
(( count >= 40 )) && pass "$count damaged installers handled" || fail "only $count damaged installers"

finish
