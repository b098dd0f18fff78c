#!/usr/bin/env bash
# The Wine test bench: a throwaway Wine prefix on its own virtual X display,
# so that a test can run Windows programs, drive their windows and look at the
# screen without touching any other test's prefix or display.
#
# As a library (source it from a test script):
#   source scripts/wine-bench.sh
#   bench_start                         # prefix + display, exports WINEPREFIX and DISPLAY
#   bench_run 60 build/x64/tests/driver/qdriver.exe version
#   bench_set_version win98             # nt40, win7, win10, ...
#   bench_floppy /tmp/disk              # drive a: becomes a floppy showing that folder
#   bench_screenshot shot.png
#   bench_reg query 'HKLM\Software\X'   # wine reg in the registry view the stub sees
#   bench_reg_value 'HKLM\Software\X' Name
#   bench_unix_path 'C:\windows\system32\x.dll'
#   bench_stop                          # also runs by itself when the script exits
#
# Which stub the tests run: bench_start exports BENCH_STUB_ARCH, i686 (the
# release target) where 32-bit Windows programs run in the bench, else x64;
# BENCH_NO_I686_REASON then says why. QUORIN_BENCH_NO32=1 makes the probe fail
# on purpose; QUORIN_STUB_ARCH (with QUORIN_NO_I686_REASON) hands down the
# answer of an earlier probe, so one test run probes once.
#
# As a command:
#   scripts/wine-bench.sh run [--version V] [--floppy DIR] -- <cmd> [args...]
# runs cmd inside a fresh bench and tears it down; the result is cmd's.
#   scripts/wine-bench.sh probe
# prints "i686", or "x64" and the reason on a second line.
#
# Several benches may run at once: each has its own display (Xvfb chooses a
# free number itself and reports it) and its own prefix, and bench_stop ends
# only what its own bench started. The first bench on a machine builds a
# template prefix (wineboot, 10 to 40 s); later ones copy it (a few seconds).
# In every prefix Desktop, Documents and the like are plain folders under
# drive_c/users/<user>, not links to the Unix home.

BENCH_SCREEN=${BENCH_SCREEN:-1024x768x24}
BENCH_TIMEOUT_BOOT=${BENCH_TIMEOUT_BOOT:-120}

BENCH_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib
BENCH_DIR=""        # mktemp folder: prefix, Xvfb's log and display file
BENCH_XVFB_PID=""
BENCH_OWNS_TRAP=""

_bench_log() { echo "wine-bench: $*" >&2; }

# Starts Xvfb on a free display. -displayfd makes the server itself claim the
# first display whose lock file it can create and report the number once it
# accepts connections, which avoids the race of two benches picking the same
# number between a check and the start.
_bench_start_xvfb() {
  local displayFile="$BENCH_DIR/display" tries=0
  while [ $tries -lt 3 ]; do
    tries=$((tries + 1))
    : >"$displayFile"
    Xvfb -displayfd 3 -screen 0 "$BENCH_SCREEN" -nolisten tcp -noreset \
      3>"$displayFile" >"$BENCH_DIR/xvfb.log" 2>&1 &
    BENCH_XVFB_PID=$!
    local waited=0
    while [ $waited -lt 100 ]; do
      if [ -s "$displayFile" ] && grep -q '^[0-9][0-9]*$' "$displayFile"; then
        export DISPLAY=":$(tr -d '\n' <"$displayFile")"
        return 0
      fi
      kill -0 "$BENCH_XVFB_PID" 2>/dev/null || break
      sleep 0.1
      waited=$((waited + 1))
    done
    _bench_log "Xvfb did not come up (try $tries):"
    sed 's/^/  /' "$BENCH_DIR/xvfb.log" >&2
    kill "$BENCH_XVFB_PID" 2>/dev/null
    wait "$BENCH_XVFB_PID" 2>/dev/null
    BENCH_XVFB_PID=""
  done
  return 1
}

_bench_cleanup_on_exit() {
  local rc=$?
  bench_stop
  return $rc
}

# Ends the script with the shell's usual code for the signal (128 + number).
_bench_cleanup_on_signal() {
  bench_stop
  trap - EXIT
  exit $((128 + $1))
}

# Builds a new prefix in $WINEPREFIX and stops its server, so that the
# registry is on disk and the prefix can be copied.
_bench_make_prefix() {
  if ! timeout "$BENCH_TIMEOUT_BOOT" wine wineboot -i >"$BENCH_DIR/wineboot.log" 2>&1; then
    _bench_log "wineboot failed or timed out:"
    tail -n 20 "$BENCH_DIR/wineboot.log" | sed 's/^/  /' >&2
    return 1
  fi
  # No window manager runs on the bench's display: let Wine draw captions and
  # borders itself, so screenshots show window titles as a user would see them.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
    _bench_log "could not switch off the window manager mode (screenshots lack captions)"
  # Wine links Desktop, Documents and the like to the Unix home folder; a
  # setup that writes shortcuts there would leave them in the real home and
  # mix them with other tests'. Make them plain folders of the prefix.
  local link
  while IFS= read -r link; do
    rm -f "$link" && mkdir -p "$link"
  done < <(find "$WINEPREFIX/drive_c/users" -type l -lname '/*' 2>/dev/null)
  timeout 30 wineserver -k >/dev/null 2>&1
  timeout 30 wineserver -w >/dev/null 2>&1
  [ -s "$WINEPREFIX/system.reg" ] || { _bench_log "the new prefix has no registry"; return 1; }
  return 0
}

# A finished prefix is kept as a template and copied for each bench, which
# takes a few seconds instead of a wineboot's ten to forty. The template is
# named after the Wine version and this format number; change the number
# when _bench_make_prefix changes. QUORIN_BENCH_FRESH=1 skips the template.
BENCH_TEMPLATE_FORMAT=1

_bench_template_dir() {
  local version loaders=w64
  version=$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')
  # A prefix booted by the 32-bit Wine as well holds the 32-bit registry view.
  [ -x /usr/lib/wine/wine ] && [ -z "$(_bench_wine64_only_dir)" ] && loaders=w32
  echo "${QUORIN_BENCH_CACHE:-${TMPDIR:-/tmp}/quorin-wine-template}/${version:-unknown}-f$BENCH_TEMPLATE_FORMAT-$loaders-u$(id -u)"
}

# The folder of the stand-in wine command when the 32-bit Wine is installed
# but cannot execute here; empty otherwise.
_bench_wine64_only_dir() {
  if [ -x /usr/lib/wine/wine ] && ! "$BENCH_LIB/can-run-32bit.sh"; then
    echo "$BENCH_LIB/wine64-only"
  fi
}

_bench_pick_wine() {
  local dir
  dir=$(_bench_wine64_only_dir)
  [ -n "$dir" ] || return 0
  case ":$PATH:" in
    *":$dir:"*) ;;
    *) export PATH="$dir:$PATH" ;;
  esac
}

# Sets BENCH_STUB_ARCH and BENCH_NO_I686_REASON; needs the prefix.
_bench_probe_arch() {
  BENCH_NO_I686_REASON=""
  if [ -n "${QUORIN_STUB_ARCH:-}" ]; then
    BENCH_STUB_ARCH=$QUORIN_STUB_ARCH
    BENCH_NO_I686_REASON=${QUORIN_NO_I686_REASON:-}
  elif [ "${QUORIN_BENCH_NO32:-0}" = 1 ]; then
    BENCH_NO_I686_REASON="32-bit programs switched off by QUORIN_BENCH_NO32=1"
  elif ! "$BENCH_LIB/can-run-32bit.sh"; then
    BENCH_NO_I686_REASON="this machine cannot execute 32-bit programs"
  elif [ ! -x /usr/lib/wine/wine ]; then
    BENCH_NO_I686_REASON="the 32-bit Wine (wine32:i386) is not installed"
  else
    # A 32-bit program of the prefix's own: 3 comes back only if it ran.
    timeout 60 wine 'C:\windows\syswow64\cmd.exe' /c exit 3 >/dev/null 2>&1
    local rc=$?
    [ $rc -eq 3 ] || BENCH_NO_I686_REASON="a 32-bit Windows program did not run in the prefix (exit $rc)"
  fi
  if [ -z "${QUORIN_STUB_ARCH:-}" ]; then
    if [ -z "$BENCH_NO_I686_REASON" ]; then BENCH_STUB_ARCH=i686; else BENCH_STUB_ARCH=x64; fi
  fi
  export BENCH_STUB_ARCH BENCH_NO_I686_REASON
}

_bench_prefix_from_template() {
  local template
  template=$(_bench_template_dir)
  if [ ! -f "$template/ready" ]; then
    mkdir -p "$(dirname "$template")" || return 1
    local lockFd
    exec {lockFd}>"$template.lock" || return 1
    # One bench builds the template; the others wait here for it.
    if ! flock -w "$BENCH_TIMEOUT_BOOT" "$lockFd"; then
      exec {lockFd}>&-
      _bench_log "the template prefix is locked by another bench for too long"
      return 1
    fi
    if [ ! -f "$template/ready" ]; then
      local building="$template.build.$$"
      rm -rf "$template" "$building"
      if ! _bench_make_prefix; then
        exec {lockFd}>&-
        return 1
      fi
      mkdir -p "$building" && cp -a "$WINEPREFIX" "$building/pfx" && touch "$building/ready" &&
        mv "$building" "$template" || _bench_log "could not keep the template prefix in $template"
      rm -rf "$building"
      exec {lockFd}>&-
      return 0
    fi
    exec {lockFd}>&-
  fi
  cp -a "$template/pfx" "$WINEPREFIX"
}

# bench_start: creates the prefix and the display and exports WINEPREFIX,
# DISPLAY, WINEDEBUG and WINEDLLOVERRIDES. Installs EXIT, INT, TERM and HUP
# traps that stop the bench, so a failing or interrupted test never leaves
# Xvfb or wineserver behind (they replace traps the script set before; a
# script that sets its own EXIT trap afterwards must call bench_stop in it).
bench_start() {
  if [ -n "$BENCH_DIR" ]; then
    _bench_log "bench already started ($WINEPREFIX)"
    return 1
  fi
  BENCH_DIR=$(mktemp -d "${TMPDIR:-/tmp}/wine-bench.XXXXXX") || return 1
  if [ -z "$BENCH_OWNS_TRAP" ]; then
    trap _bench_cleanup_on_exit EXIT
    trap '_bench_cleanup_on_signal 2' INT
    trap '_bench_cleanup_on_signal 15' TERM
    trap '_bench_cleanup_on_signal 1' HUP
    BENCH_OWNS_TRAP=1
  fi
  export WINEPREFIX="$BENCH_DIR/pfx"
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts; no menu entries or file associations
  # written into the Unix home when a setup creates Start-menu shortcuts.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEARCH=win64
  _bench_pick_wine
  if ! _bench_start_xvfb; then
    _bench_log "no X display could be started"
    bench_stop
    return 1
  fi
  local made=1
  if [ "${QUORIN_BENCH_FRESH:-0}" = 1 ]; then
    _bench_make_prefix && made=0
  else
    _bench_prefix_from_template && made=0
  fi
  if [ $made -ne 0 ]; then
    _bench_log "no Wine prefix could be made"
    bench_stop
    return 1
  fi
  _bench_probe_arch
  _bench_log "started: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX stub=$BENCH_STUB_ARCH"
  return 0
}

# bench_reg <reg arguments...>: "wine reg" in the registry view of the stub
# under test. A 32-bit program in this 64-bit prefix sees the 32-bit view,
# where keys such as HKLM\Software are redirected.
bench_reg() {
  local view=/reg:64
  [ "${BENCH_STUB_ARCH:-x64}" = i686 ] && view=/reg:32
  wine reg "$@" "$view" 2>/dev/null | tr -d '\r'
}

# bench_reg_value <key> <value name>: prints the data of one value as the
# stub sees it (an empty name reads the key's default value); fails when the
# value is not there.
bench_reg_value() {
  local key=$1 name=$2 out
  if [ -z "$name" ]; then
    out=$(bench_reg query "$key" /ve) || return 1
    name="(Default)"
  else
    out=$(bench_reg query "$key" /v "$name") || return 1
  fi
  printf '%s\n' "$out" | awk -v n="$name" '
    { line = $0; sub(/^    /, "", line) }
    index(line, n "    REG_") == 1 {
      rest = substr(line, length(n) + 5)
      sub(/^REG_[A-Z_]*    ?/, "", rest)
      print rest; found = 1; exit
    }
    END { exit !found }'
}

# bench_unix_path <windows path>: where a path the stub writes lands in the
# prefix. A 32-bit program's system32 is redirected to syswow64.
bench_unix_path() {
  local path
  path=$(winepath -u "$1" 2>/dev/null) || return 1
  # Drive C: as the folder it links to, so paths compare with $WINEPREFIX/drive_c.
  case "$path" in
    "$WINEPREFIX/dosdevices/c:/"*) path="$WINEPREFIX/drive_c/${path#"$WINEPREFIX/dosdevices/c:/"}" ;;
  esac
  if [ "${BENCH_STUB_ARCH:-x64}" = i686 ]; then
    local sys="$WINEPREFIX/drive_c/windows/system32" lower
    lower=$(printf '%s' "$path" | tr 'A-Z' 'a-z')
    case "$lower" in
      "${sys,,}" | "${sys,,}"/*) path="$WINEPREFIX/drive_c/windows/syswow64${path:${#sys}}" ;;
    esac
  fi
  printf '%s\n' "$path"
}

# bench_run <timeout-seconds> <exe> [args...]: runs a Windows program in the
# bench, prints its exit code on stdout's last line as "exit N" and returns it
# (a Windows exit code of -1 arrives as 255). A program still running after the
# timeout is killed and reported; the result is then 124.
bench_run() {
  if [ $# -lt 2 ]; then
    _bench_log "usage: bench_run <timeout-seconds> <exe> [args...]"
    return 2
  fi
  local limit=$1
  shift
  timeout -k 5 "$limit" wine "$@"
  local rc=$?
  if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
    _bench_log "TIMEOUT: $1 still running after $limit s; killed"
    echo "exit timeout"
    return 124
  fi
  echo "exit $rc"
  return $rc
}

# bench_set_version <win98|nt40|win2k|winxp|win7|win10|...>: the Windows
# version that GetVersionExA reports to programs started from now on.
bench_set_version() {
  local version=${1:-}
  # Wine stores any name but ignores one it does not know, and the program
  # would then quietly see the default version.
  case "$version" in
    win11|win10|win81|win8|win2008r2|win7|win2008|vista|win2003|winxp64|winxp|win2k|\
    nt40|nt351|winme|win98|win95) ;;
    *)
      _bench_log "bench_set_version: unknown Windows version '$version'"
      return 2
      ;;
  esac
  wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1 || {
    _bench_log "could not set the Windows version to $version"
    return 1
  }
  if ! wine reg query 'HKCU\Software\Wine' /v Version 2>/dev/null | tr -d '\r' |
      grep -qi "REG_SZ[[:space:]]*$version\$"; then
    _bench_log "the Windows version did not read back as $version"
    return 1
  fi
  # With the driver at hand, show what programs will really see.
  if [ -n "${QUORIN_QDRIVER:-}" ] && [ -f "$QUORIN_QDRIVER" ]; then
    timeout 60 wine "$QUORIN_QDRIVER" version | tr -d '\r' | grep '^version' >&2
  fi
  return 0
}

# bench_floppy <dir>: drive A: becomes a removable drive showing dir, so that
# GetDriveTypeA("A:\\") gives DRIVE_REMOVABLE and A:\setup.exe runs from it.
# Call it before starting the programs of the test: it restarts the prefix's
# services, which ends every program running in the bench.
bench_floppy() {
  local dir=$1
  if [ -z "$dir" ] || [ ! -d "$dir" ]; then
    _bench_log "bench_floppy: not a folder: $dir"
    return 2
  fi
  dir=$(cd "$dir" && pwd)
  ln -sfn "$dir" "$WINEPREFIX/dosdevices/a:" || return 1
  wine reg add 'HKLM\Software\Wine\Drives' /v 'a:' /d floppy /f >/dev/null 2>&1 || {
    _bench_log "could not declare drive a: as a floppy"
    return 1
  }
  # The mount manager reads the drive types when the prefix's services start:
  # end them so the next program starts them afresh with the floppy in place.
  timeout 20 wineserver -k >/dev/null 2>&1
  timeout 20 wineserver -w >/dev/null 2>&1
  return 0
}

# bench_screenshot <file.png>: the whole virtual screen.
bench_screenshot() {
  local file=$1
  if [ -z "$file" ]; then
    _bench_log "usage: bench_screenshot <file.png>"
    return 2
  fi
  import -display "$DISPLAY" -window root "$file" 2>/dev/null || {
    _bench_log "screenshot of $DISPLAY failed"
    return 1
  }
}

# bench_stop: ends this bench's Wine processes and its Xvfb and removes the
# prefix. Safe to call twice and when bench_start failed half-way.
bench_stop() {
  if [ -z "$BENCH_DIR" ]; then
    return 0
  fi
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    # -k ends the server of this prefix only, with every process it serves.
    timeout 20 wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1
  fi
  if [ -n "$BENCH_XVFB_PID" ]; then
    kill "$BENCH_XVFB_PID" 2>/dev/null
    local waited=0
    while kill -0 "$BENCH_XVFB_PID" 2>/dev/null && [ $waited -lt 50 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    kill -9 "$BENCH_XVFB_PID" 2>/dev/null
    wait "$BENCH_XVFB_PID" 2>/dev/null
    BENCH_XVFB_PID=""
  fi
  rm -rf "$BENCH_DIR"
  BENCH_DIR=""
  unset WINEPREFIX DISPLAY
  return 0
}

_bench_main() {
  local command=${1:-}
  shift || true
  case "$command" in
    run)
      local version="" floppy=""
      while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        case "$1" in
          --version) version=$2; shift 2 ;;
          --floppy) floppy=$2; shift 2 ;;
          *) _bench_log "unknown option: $1"; return 2 ;;
        esac
      done
      [ "${1:-}" = "--" ] && shift
      if [ $# -eq 0 ]; then
        _bench_log "usage: wine-bench.sh run [--version V] [--floppy DIR] -- <cmd> [args...]"
        return 2
      fi
      bench_start || return 1
      if [ -n "$version" ]; then bench_set_version "$version" || return 1; fi
      if [ -n "$floppy" ]; then bench_floppy "$floppy" || return 1; fi
      "$@"
      local rc=$?
      bench_stop
      return $rc
      ;;
    probe)
      bench_start >/dev/null 2>&1 || return 1
      echo "$BENCH_STUB_ARCH"
      [ -n "$BENCH_NO_I686_REASON" ] && echo "$BENCH_NO_I686_REASON"
      bench_stop
      return 0
      ;;
    *)
      echo "usage: wine-bench.sh run [--version V] [--floppy DIR] -- <cmd> [args...]" >&2
      echo "   or: wine-bench.sh probe" >&2
      echo "   or: source wine-bench.sh (bench_start, bench_run, bench_set_version," >&2
      echo "       bench_floppy, bench_screenshot, bench_reg, bench_reg_value," >&2
      echo "       bench_unix_path, bench_stop)" >&2
      return 2
      ;;
  esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -u
  _bench_main "$@"
  exit $?
fi
