#!/usr/bin/env bash
# Installs the build into a temporary prefix, starts the installed program the
# way the desktop entry does (offscreen, every user folder redirected), ends it
# with SIGTERM and checks that its archive lives under the prefix, that the build
# folder's archive is untouched, that a second install keeps the first one's
# archive and backup byte for byte, and that an install beside a lone backup or
# compacted copy places no archive.
#   install-test.sh <build folder> <build's program folder> <program, bin and
#                   data folders relative to the prefix>
set -euo pipefail
build=$1
build_program=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vx-install.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A blank in the prefix: the desktop entry must quote the program's path.
prefix="$work/my prefix"
program="$prefix/$3"
bin="$prefix/$4"
share="$prefix/$5"

# The state of a file: absent, or its inode, time and bytes.
state() {
  if [ -e "$1" ]; then echo "$(stat -c '%i %Y' "$1") $(sha256sum < "$1")"; else echo absent; fi
}
build_dat=$(state "$build_program/Vexilon.dat")
build_bak=$(state "$build_program/Vexilon.bak")

cmake --install "$build" --prefix "$prefix" > "$work/install1.log" || { cat "$work/install1.log"; fail "install"; }
[ -f "$program/Vexilon.dat" ] || fail "no archive placed in $program"
[ "$(stat -c %a "$program/Vexilon.dat")" = 600 ] || fail "the placed archive is readable by others"
[ -f "$share/icons/hicolor/scalable/apps/vexilon.svg" ] || fail "no icon"
"$bin/sqlsim" help > /dev/null || fail "installed sqlsim does not run"

entry="$share/applications/vexilon.desktop"
desktop-file-validate "$entry" || fail "desktop entry does not validate"
grep -qx "Icon=vexilon" "$entry" || fail "desktop entry names another icon"
exec_line=$(grep '^Exec=' "$entry")
[ "$exec_line" = "Exec=\"$bin/vexilon\"" ] || fail "desktop entry starts '$exec_line'"

# Start it as the menu does, with nothing pointing it at a program folder.
for d in config data sim home; do mkdir -p "$work/$d"; done
mkdir -m 700 "$work/runtime"
env -u VEXILON_PROGRAM_DIR -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen VEXILON_NO_BROWSE=1 \
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_RUNTIME_DIR="$work/runtime" VEXILON_SIM_DIR="$work/sim" \
  "$bin/vexilon" > "$work/program.log" 2>&1 &
pid=$!
# Up once it has written its workgroup file and mapped its libraries.
for _ in $(seq 1 150); do
  [ -e "$program/Vexilon.sec" ] && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/program.log"; fail "the installed program ended at start"; }
  sleep 0.2
done
[ -e "$program/Vexilon.sec" ] || fail "the installed program did not take $program as its folder"
sleep 1
for lib in libvexilon_lib.so libvexilon_global.so libtarnwell.so; do
  grep -q " $program/$lib\$" "/proc/$pid/maps" || fail "the installed program did not load $program/$lib"
done

kill -TERM "$pid"
for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "the installed program did not end on SIGTERM"
rc=0; wait "$pid" || rc=$?
pid=
[ "$rc" = 0 ] || { cat "$work/program.log"; fail "the installed program ended with $rc"; }
[ -f "$program/Vexilon.dat" ] && [ -f "$program/Vexilon.bak" ] || fail "no archive and backup in $program after the run"
[ -e "$program/Vexilon.sec" ] && fail "the exit steps did not run: Vexilon.sec is left"
[ "$(state "$build_program/Vexilon.dat")" = "$build_dat" ] || fail "the build folder's archive changed"
[ "$(state "$build_program/Vexilon.bak")" = "$build_bak" ] || fail "the build folder's backup changed"

# A second install over the first: the archive and backup it finds stay as they
# are (marked first, so that a fresh copy of the empty archive cannot pass for them).
echo "earlier archive" >> "$program/Vexilon.dat"
echo "earlier backup" >> "$program/Vexilon.bak"
dat=$(state "$program/Vexilon.dat")
bak=$(state "$program/Vexilon.bak")
cmake --install "$build" --prefix "$prefix" > "$work/install2.log" || { cat "$work/install2.log"; fail "second install"; }
[ "$(state "$program/Vexilon.dat")" = "$dat" ] || fail "the second install replaced Vexilon.dat"
[ "$(state "$program/Vexilon.bak")" = "$bak" ] || fail "the second install replaced Vexilon.bak"
[ "$(readlink -f "$bin/vexilon")" = "$(readlink -f "$program/vexilon")" ] || fail "bin/vexilon is not the program"
# Rows: an install finds a backup, or a compacted copy, without the archive
# (start-up then stops so that the user can put it back): it places no empty
# archive, which the next exit would back up over the rows, and leaves the file.
for left in Vexilon.bak Vexilon.tmp; do
  rm -f "$program/Vexilon.dat" "$program/Vexilon.bak" "$program/Vexilon.tmp"
  echo "the rows of $left" > "$program/$left"
  kept=$(state "$program/$left")
  cmake --install "$build" --prefix "$prefix" > "$work/install-$left.log" || { cat "$work/install-$left.log"; fail "install beside $left"; }
  [ -e "$program/Vexilon.dat" ] && fail "an install beside only $left placed an empty Vexilon.dat"
  [ "$(state "$program/$left")" = "$kept" ] || fail "an install beside only $left changed it"
  grep -q "is there without Vexilon.dat" "$work/install-$left.log" || fail "an install beside only $left did not say what to do"
done
echo "installed, ran and reinstalled under $prefix"
