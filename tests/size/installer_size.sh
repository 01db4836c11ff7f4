#!/usr/bin/env bash
# The installer program's size budget. Fails when the program is larger
# than the budget, and always names where the bytes go: the biggest input
# files and functions of the link, from the linker map.
#
# The program starts without the C runtime's start-up code, which is what
# would run global constructors (src/app/main_win32.cc). So it also fails
# when a global object of our own code needs one: the start-up function the
# compiler makes for a file's globals may do nothing but register their
# destructors (which never run either; the program ends in ExitProcess).
#   installer_size.sh <installer.exe> <installer.map> <budget-bytes>
#                     <objdump> <our object files and libraries>...
set -eu -o pipefail
exe=$1 map=$2 budget=$3 objdump=$4
shift 4
size=$(stat -c %s "$exe")

# The input sections the map places: "bytes name file". A long section
# name stands on a line of its own, its address, size and file on the next;
# sections at address 0 were discarded by the linker.
placed() {
  awk 'function hex(t,   v, i) {
         v = 0; t = tolower(substr(t, 3))
         for (i = 1; i <= length(t); ++i)
           v = v * 16 + index("0123456789abcdef", substr(t, i, 1)) - 1
         return v
       }
       /^ \.[^ ]+$/ { pending = $1; next }
       pending != "" && NF == 3 && $1 ~ /^0x/ { $0 = " " pending " " $0 }
       { pending = "" }
       $1 ~ /^\./ && NF == 4 && $2 ~ /^0x/ && $3 ~ /^0x/ && hex($2) != 0 {
         print hex($3), $1, $4 }' "$map"
}

echo "installer: $size bytes (budget $budget)"
# The lists are cut with sed, which reads its whole input: a head that
# stopped early would end sort with SIGPIPE, which pipefail makes a failure.
echo "-- biggest input files --"
placed | awk '{ f = $3; sub(/.*\//, "", f); total[f] += $1 }
              END { for (f in total) print total[f], f }' |
  sort -rn | sed -n 1,15p
echo "-- biggest functions and data --"
placed | awk '$1 >= 256 { s = $2; sub(/^\.(text|rdata|data)\$/, "", s);
                          f = $3; sub(/.*\//, "", f); print $1, s, f }' |
  sort -rn | sed -n 1,15p | c++filt

status=0
constructors=$("$objdump" -dr "$@" | awk '
  /^[0-9a-f]+ <_+GLOBAL__sub_I/ { inside = $2; next }
  /^$/ { inside = "" }
  inside == "" || !/(DISP32|dir32|R_386)/ { next }
  # Allowed: the calls to atexit and the addresses of the destructor
  # functions they are given.
  $NF ~ /^_?atexit$/ || $NF ~ /^\.text\$__tcf_[0-9]+$/ { next }
  { print inside, $NF }')
if [[ -n $constructors ]]; then
  echo "FAIL: global objects that need a constructor at start-up:"
  echo "$constructors" | c++filt
  status=1
fi

if (( size > budget )); then
  echo "FAIL: the installer is $((size - budget)) bytes over its budget"
  status=1
fi
exit $status
