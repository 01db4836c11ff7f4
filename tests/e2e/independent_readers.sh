#!/usr/bin/env bash
# Installs the example fixture unattended under Wine and reads the result
# with tools that share no code with the installer: Wine's "reg query" for
# the installation log key and the uninstall key, and lnkinfo (liblnk) for
# every shortcut file the log names.
#   independent_readers.sh FIXTURE.EXE
# Runs inside scripts/with-wine (WINEPREFIX and DISPLAY set).
set -euo pipefail
installer=$1
dest='C:\sfx-e2e\readers\Hello'
source "$(dirname "$0")/../support/cli_test.sh"

wine cmd /c 'rmdir /s /q C:\sfx-e2e\readers' >/dev/null 2>&1 || true
wine reg delete 'HKCU\Software\SfxTests\HelloE2E' /f >/dev/null 2>&1 || true
wine "$installer" "$dest"
# The installer started the product, which greets with a box; end it.
wine taskkill /f /im hello.exe >/dev/null 2>&1 || true

# "reg query" prints "    NAME    REG_SZ    VALUE" per value.
declare -A log
while IFS= read -r line; do
  line=${line%$'\r'}
  [[ $line =~ ^\ {4}([^ ].*)\ {4}REG_SZ\ {4}(.*)$ ]] || continue
  log[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
done < <(wine reg query 'HKCU\Software\SfxTests\HelloE2E\install')

expect() {
  local name=$1 want=$2
  if [[ "${log[$name]-<missing>}" != "$want" ]]; then
    fail "log value $name is '${log[$name]-<missing>}', expected '$want'"
  fi
}
d="$dest\\"
expect Name 'Hello E2E'
expect Location "$d"
expect Prog0 "${d}hello.exe"
expect Prog1 "${d}Docs\\readme.txt"
expect Prog2 "${d}TIV_UNINSTAL.EXE"
expect Prog3 "${d}hello.ini"
expect NumbOfProg 4
expect Exec1 cleanup.exe
expect ExecComLine1 /all
expect NumbOfExec 1
expect NumbOfPostExec 0
expect Dir0 "${d}Docs"
[[ ${log[InstallerFile]-} == *'\hello.exe' ]] ||
  fail "InstallerFile is '${log[InstallerFile]-}'"
[[ ${#log[@]} -eq 17 ]] || fail "the log key holds ${#log[@]} values, not 17"

uninstall=$(wine reg query \
  'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Hello E2E' /v UninstallString |
  tr -d '\r')
grep -qF "\"${d}TIV_UNINSTAL.EXE\" Software\\SfxTests\\HelloE2E" <<<"$uninstall" ||
  fail "UninstallString: $uninstall"

# lnkinfo prints the link's fields as "<label> : <value>" lines.
check_link() {
  local name=$1 target=$2 arguments=$3 working=$4
  local windows=${log[$name]-}
  [[ -n $windows ]] || { fail "no $name in the log"; return; }
  local unix
  unix=$(winepath -u "$windows" 2>/dev/null | tr -d '\r')
  [[ -f $unix ]] || { fail "$name: no file $unix"; return; }
  local info
  info=$(lnkinfo "$unix" 2>&1 | tr -d '\r')
  field() { sed -n "s/^\s*$1\s*:\s*//p" <<<"$info" | head -1; }
  [[ "$(field 'Local path')" == "$target" ]] ||
    fail "$name: target '$(field 'Local path')', expected '$target'"
  [[ "$(field 'Command line arguments')" == "$arguments" ]] ||
    fail "$name: arguments '$(field 'Command line arguments')', expected '$arguments'"
  [[ "$(field 'Working directory')" == "$working" ]] ||
    fail "$name: working directory '$(field 'Working directory')', expected '$working'"
}
check_link Shortcut0 "${d}hello.exe" '/greet "dear user"' "$d"
check_link DeskIcon0 "${d}hello.exe" '/greet "dear user"' "$d"
check_link Shortcut1 "${d}Docs\\readme.txt" '' "${d}Docs"

finish
