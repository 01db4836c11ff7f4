#!/usr/bin/env bash
# `sfxtool lzh`: round trips through files and pipes, and one clear line
# with the right exit code for every kind of bad use or bad input.
#   lzh_cli_test.sh SFXTOOL WORKDIR
set -uo pipefail
sfxtool=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

source "$(dirname "$0")/../../support/cli_test.sh"

# expect NAME CODE ARGS...: exit code CODE; on failure exactly one stderr
# line starting with "sfxtool: " (usage errors may add the usage text).
expect() {
  local name=$1 code=$2
  shift 2
  "$sfxtool" "$@" >out.txt 2>err.txt
  local got=$?
  if [[ $got -ne $code ]]; then
    fail "$name: exit $got, expected $code"
  elif [[ $code -eq 1 && ( $(wc -l <err.txt) -ne 1 || $(head -c 9 err.txt) != "sfxtool: " ) ]]; then
    fail "$name: stderr is not one 'sfxtool: ' line: $(cat err.txt)"
  else
    pass "$name"
  fi
}

{ cat /usr/share/common-licenses/GPL-3; head -c 300000 "$sfxtool"; } >data.bin

# Round trips: files, and stdin/stdout.
"$sfxtool" lzh encode data.bin data.lzh && "$sfxtool" lzh decode data.lzh back.bin &&
  cmp -s data.bin back.bin && pass "file round trip" || fail "file round trip"
"$sfxtool" lzh encode - - <data.bin | "$sfxtool" lzh decode - - >piped.bin &&
  cmp -s data.bin piped.bin && pass "pipe round trip" || fail "pipe round trip"
: >empty
"$sfxtool" lzh encode empty empty.lzh && [[ $(od -An -tx1 empty.lzh) == " 00 00 00 00" ]] &&
  "$sfxtool" lzh decode empty.lzh empty.back && [[ ! -s empty.back ]] &&
  pass "empty input" || fail "empty input"
printf '\x03\x00\x00\x00\xf6\xfb\xbd\xe0\xff\xff' >abc.lzh
"$sfxtool" lzh decode abc.lzh - >abc.txt && [[ $(cat abc.txt) == abc ]] &&
  pass "worked example" || fail "worked example"

# Both levels, in either spelling of the option; fast is never the smaller.
for level in fast best; do
  "$sfxtool" lzh encode --level $level data.bin data.$level &&
    "$sfxtool" lzh decode data.$level back.$level && cmp -s data.bin back.$level &&
    pass "level $level round trip" || fail "level $level round trip"
done
"$sfxtool" lzh encode --level=best data.bin data.best2 && cmp -s data.lzh data.best2 &&
  cmp -s data.best data.best2 && pass "best is the default" || fail "best is the default"
(($(stat -c %s data.best) <= $(stat -c %s data.fast))) &&
  pass "best no larger than fast" || fail "best no larger than fast"
expect "unknown level" 2 lzh encode --level max data.bin x
expect "level without a value" 2 lzh encode data.bin x --level

expect "help" 0 lzh --help
grep -q "encode \[--level fast|best\] IN OUT" out.txt && pass "help text" || fail "help text"
expect "no arguments" 2 lzh
expect "missing OUT" 2 lzh encode data.bin
expect "unknown mode" 2 lzh squeeze data.bin x
expect "unreadable input" 1 lzh encode does-not-exist x
expect "unwritable output" 1 lzh encode data.bin no-such-dir/x
expect "directory as input" 1 lzh decode . x
printf '\x03\x00' >short.lzh
expect "shorter than the length field" 1 lzh decode short.lzh x
printf '\xff\xff\xff\xff\x00' >negative.lzh
expect "negative length" 1 lzh decode negative.lzh x
printf '\xff\xff\xff\x7f\x12\x34\x56\x78' >hostile.lzh
expect "hostile length field" 1 lzh decode hostile.lzh x
# A stream missing its last bytes still decodes (as zero bits) to the
# declared length; one cut so short that it cannot hold that length is
# refused rather than decoded from zero bits.
head -c $(($(stat -c %s data.lzh) - 5)) data.lzh >cut.lzh
expect "truncated stream decodes as zero bits" 0 lzh decode cut.lzh cut.bin
[[ $(stat -c %s cut.bin) -eq $(stat -c %s data.bin) ]] &&
  pass "truncated stream yields the declared length" ||
  fail "truncated stream yields the declared length"
head -c 1000 data.lzh >short-cut.lzh
expect "stream too short for its length" 1 lzh decode short-cut.lzh x
for seed in 1 2 3 4 5 6 7 8; do
  # A length field of 10000 before a slice from the middle of a stream:
  # arbitrary bits, the same in every run.
  { printf '\x10\x27\x00\x00'; tail -c +$((seed * 997)) data.lzh | head -c $((seed * 500)); } >noise.lzh
  "$sfxtool" lzh decode noise.lzh x >/dev/null 2>err.txt
  code=$?
  [[ $code -eq 0 || $code -eq 1 ]] && pass "noise $seed (exit $code)" || fail "noise $seed: exit $code"
done

finish
