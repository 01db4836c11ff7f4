# Shared by the shell tests: counters with pass/fail/check, the closing
# line ctest reads, and the environment every tool run gets. Source it
# after changing into the test's work folder.
#   source "$(dirname "$0")/../../support/cli_test.sh"

# Sanitizer reports get exit codes of their own, so that a crash can never
# pass for an expected exit code 1.
export ASAN_OPTIONS=exitcode=99:detect_leaks=1
export UBSAN_OPTIONS=exitcode=98:print_stacktrace=1
export TZ=UTC
unset SOURCE_DATE_EPOCH

passes=0
failures=0
pass() { echo "ok   $1"; passes=$((passes + 1)); }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
check() { # NAME COMMAND...: passes when the command succeeds
  local name=$1
  shift
  if "$@" >/dev/null; then pass "$name"; else fail "$name"; fi
}
equals() { # NAME ACTUAL EXPECTED
  if [[ "$2" == "$3" ]]; then pass "$1"; else fail "$1: got '$2', want '$3'"; fi
}
contains() { # NAME TEXT PART
  if grep -qF -- "$3" <<<"$2"; then pass "$1"; else fail "$1: '$3' not in: $2"; fi
}
# Prints the counts and exits 0 only when nothing failed.
finish() {
  echo "$passes passed, $failures failed"
  [[ $failures -eq 0 ]]
  exit $?
}

# refused_manifest NAME PATTERN TOML: "$sfxtool" build (on stub.bin) refuses
# the manifest TOML with exit code 1 and one line "sfxtool: bad.toml:"
# PATTERN on standard error, and writes no installer.
refused_manifest() {
  printf '%s\n' "$3" >bad.toml
  "$sfxtool" build bad.toml -o bad.exe --stub stub.bin >out.txt 2>err.txt
  local code=$?
  if [[ $code -eq 1 && $(wc -l <err.txt) -eq 1 ]] &&
     grep -qE "^sfxtool: bad\.toml:$2" err.txt && [[ ! -e bad.exe ]]; then
    pass "$1"
  else
    fail "$1 (exit $code: $(cat err.txt))"
  fi
}

# stub_stand_in FILE: a stand-in for the installer program, any bytes with
# one size block.
stub_stand_in() {
  { printf 'MZ'; head -c 300 /dev/zero; printf '\x16RealFileSize='
    head -c 9 /dev/zero; printf 'stub end'; } >"$1"
}

# as_other_user COMMAND...: runs it as nobody when the tests run as root,
# whom file permissions do not stop; as it is otherwise.
as_other_user() {
  if [[ $(id -u) -eq 0 ]]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  else
    "$@"
  fi
}
