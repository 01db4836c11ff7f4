#!/usr/bin/env bash
# Checks our LZH streams against two independent "-lh1-" implementations:
# jLHA (Java) decodes what `sfxtool lzh encode` writes and `sfxtool lzh
# decode` decodes what jLHA writes; lhasa (C) extracts our streams wrapped
# in a one-member archive.
#   lzh_interop_test.sh SFXTOOL WORKDIR
set -euo pipefail
sfxtool=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
jar=/usr/share/java/jlha.jar
rm -rf "$work" && mkdir -p "$work/classes"
javac -nowarn -d "$work/classes" -cp "$jar" "$here/LhaRaw.java"
jlha() { java -cp "$work/classes:$jar" LhaRaw "$@"; }

cd "$work"
jlha generate random 300000 random-300k   # about nine tree rebuilds
jlha generate random 65000 random-65000   # one full block, two rebuilds
jlha generate random 4097 random-4097
jlha generate runs 70000 runs
jlha generate spaced-text 50000 spaced-text
jlha generate audio 1000000 audio   # nearly all literals, few short matches
: >empty
printf 'x' >one-byte
printf ' ' >one-space
cp /usr/share/common-licenses/GPL-3 real-text
cat /usr/share/common-licenses/GPL-2 /usr/share/common-licenses/LGPL-2.1 >>real-text
# A generated table (long runs of similar lines, where putting off a long
# match pays), a three-line file (its stream is mostly the young tree's),
# and one long run.
awk 'BEGIN { for (i = 0; i < 400; i++) { n = sprintf("vec_op%d", i * 7 % 1000)
  printf "    tbl_%s = %d,%*s// gen.tbl.%s\n", n, 7000 + i, 40 - length(n), "", n } }' \
  >table-text
printf 'Vendor: Debian\nVendor-URL: https://www.debian.org/\nBugs: debbugs://bugs.debian.org\n' \
  >small-text
head -c 100000 /dev/zero >zeros

source "$here/../support/cli_test.sh"
same() { check "$1" cmp -s "$2" "$3"; }  # NAME EXPECTED ACTUAL

for input in random-300k random-65000 random-4097 runs spaced-text audio \
             empty one-byte one-space real-text table-text small-text zeros; do
  "$sfxtool" lzh encode "$input" "$input.ours"
  "$sfxtool" lzh encode --level fast "$input" "$input.fast"
  for ours in ours fast; do
    jlha decode "$input.$ours" "$input.$ours.jlha"
    same "$input: jLHA decodes ours ($ours)" "$input" "$input.$ours.jlha"
    jlha wrap "$input" "$input.$ours" "$input.$ours.lzh"
    lhasa -pq2 "$input.$ours.lzh" >"$input.$ours.lhasa" || true
    same "$input: lhasa extracts ours ($ours)" "$input" "$input.$ours.lhasa"
  done
  jlha encode "$input" "$input.jlha"
  "$sfxtool" lzh decode "$input.jlha" "$input.jlha.ours"
  same "$input: ours decodes jLHA's" "$input" "$input.jlha.ours"
done

# jLHA presets its "-lh1-" dictionary to zeros, ours (and lhasa's) to
# spaces: streams that
# never reach into the initial dictionary decode alike either way.
jlha decode-zero random-300k.ours random-300k.ours.zero
same "random-300k: jLHA decodes ours with its own preset" random-300k random-300k.ours.zero
# Text that starts with spaces takes them from the initial dictionary, so
# there the preset decides.
jlha decode-zero spaced-text.ours spaced-text.ours.zero
check "spaced-text: needs the space preset" \
  bash -c '! cmp -s spaced-text spaced-text.ours.zero'

# The parse is at least as good as jLHA's on text, runs and literal-heavy
# audio, at both levels (on random bytes both code nearly every byte as a
# literal, and which stream ends a byte shorter is chance).
for input in real-text spaced-text runs table-text small-text zeros audio; do
  theirs=$(stat -c %s "$input.jlha")
  for ours in ours fast; do
    size=$(stat -c %s "$input.$ours")
    echo "$input: ours ($ours) $size bytes, jLHA $theirs bytes"
    check "$input: our stream ($ours) is no larger than jLHA's" \
      test "$size" -le "$theirs"
  done
done

finish
