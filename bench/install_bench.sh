#!/usr/bin/env bash
# Install time under Wine, in one run, as ratios against msiexec /qn
# installing an MSI of the same files (built with wixl) in the same prefix,
# and against a plain copy of the same tree (xcopy):
#   A  about 50 MB of mixed files (programs, fonts, images, text of 32 KB and
#      more, from bench/make-corpus.sh)
#   B  5,000 files of 1 to 8 KB
# The setup runs with and without the install pacing record. Its time is from
# the Install button to the finish page, read from the test driver's clock.
#
# Usage: bench/install_bench.sh [work folder]     (needs scripts/build.sh)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-${TMPDIR:-/tmp}/quorin-install-bench}
QUORIN=$root/build/host/tools/quorin/quorin
QDRIVER=$root/build/x64/tests/driver/qdriver.exe
for tool in "$QUORIN" "$QDRIVER" "$(command -v wixl)"; do
  [ -e "$tool" ] || { echo "install_bench: missing $tool (run scripts/build.sh; wixl comes with scripts/install-deps.sh)"; exit 1; }
done

rm -rf "$work"
mkdir -p "$work"
echo "== products in $work"
"$root/bench/make-corpus.sh" "$work/corpus" 120 >/dev/null
mkdir -p "$work/A/files" "$work/B/files"
total=0
while IFS= read -r -d '' f; do
  size=$(stat -c %s "$f")
  [ "$size" -ge 32768 ] || continue
  [ $((total + size)) -le $((50 * 1024 * 1024)) ] || continue
  rel=${f#"$work/corpus/"}
  mkdir -p "$work/A/files/$(dirname "$rel")"
  cp "$f" "$work/A/files/$rel"
  total=$((total + size))
done < <(find "$work/corpus" -type f -print0 | sort -z)
rm -rf "$work/corpus"
python3 - "$work/B/files" <<'PY'
import os, random, sys
random.seed(7)
words = [b"setup ", b"install ", b"file ", b"folder ", b"the ", b"of ", b"data ", b"volume ", b"\r\n"]
for i in range(5000):
    folder = os.path.join(sys.argv[1], "d%02d" % (i % 50))
    os.makedirs(folder, exist_ok=True)
    size = random.randint(1024, 8192)
    text = b"".join(random.choice(words) for _ in range(size // 4))[:size]
    open(os.path.join(folder, "f%04d.txt" % i), "wb").write(text)
PY

source "$root/scripts/wine-bench.sh"
bench_start || exit 1
arch=$BENCH_STUB_ARCH
win() { winepath -w "$1" 2>/dev/null; }

# make <product>: the setup (paced and not), the MSI and the tree to copy.
make_product() {
  local p=$1 dir=$work/$1
  local n bytes
  n=$(find "$dir/files" -type f | wc -l)
  bytes=$(du -sb "$dir/files" | cut -f1)
  echo "product $p: $n files, $((bytes / 1048576)) MB"
  for pacing in true false; do
    cat >"$dir/setup-$pacing.toml" <<EOF
[setup]
title = "Bench $p"
folder = "C:\\\\Bench\\\\$p-$pacing"
mode = "framed"
pacing = $pacing
[texts]
information = ""
6.6 = ""
[[file]]
source = "files/**/*"
EOF
    "$QUORIN" build "$dir/setup-$pacing.toml" -o "$dir/setup-$pacing.exe" --arch "$arch" -q || return 1
  done
  python3 - "$dir" "$p" <<'PY' || return 1
import os, sys, uuid
dir, name = sys.argv[1], sys.argv[2]
root = os.path.join(dir, "files")
ids = {}
def ident(prefix, path):
    key = prefix + path
    if key not in ids:
        ids[key] = "%s%d" % (prefix, len(ids))
    return ids[key]
def tree(path, indent):
    out = []
    for entry in sorted(os.listdir(path)):
        full = os.path.join(path, entry)
        if os.path.isdir(full):
            out.append('%s<Directory Id="%s" Name="%s">' % (indent, ident("D", full), entry))
            out += tree(full, indent + "  ")
            out.append(indent + "</Directory>")
        else:
            c = ident("C", full)
            out.append('%s<Component Id="%s" Guid="%s"><File Id="%s" Name="%s" Source="%s" KeyPath="yes"/></Component>'
                       % (indent, c, uuid.uuid5(uuid.NAMESPACE_URL, full), ident("F", full), entry,
                          os.path.relpath(full, dir)))
    return out
components = [i for i in ids]
body = tree(root, "        ")
refs = ['      <ComponentRef Id="%s"/>' % v for k, v in ids.items() if k.startswith("C")]
open(os.path.join(dir, "product.wxs"), "w").write("""<?xml version="1.0"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Bench %s" Language="1033" Version="1.0.0" Manufacturer="Quorin Bench"
           UpgradeCode="%s">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
      <Directory Id="INSTALLDIR" Name="Bench%sMsi">
%s
      </Directory>
      </Directory>
    </Directory>
    <Feature Id="All" Level="1">
%s
    </Feature>
  </Product>
</Wix>
""" % (name, uuid.uuid5(uuid.NAMESPACE_URL, name), name, "\n".join(body), "\n".join(refs)))
PY
  # wixl takes sources relative to the folder it runs in.
  (cd "$dir" && wixl -o product.msi product.wxs) >"$dir/wixl.log" 2>&1 || { echo "wixl failed:"; tail "$dir/wixl.log"; return 1; }
  mkdir -p "$WINEPREFIX/drive_c/BenchSource"
  cp -r "$dir/files" "$WINEPREFIX/drive_c/BenchSource/$p"
}

# Seconds as a decimal text, from milliseconds.
seconds() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }

# setup_time <product> <pacing>: milliseconds from Install to the finish page.
setup_time() {
  local log=$work/$1/run-$2.log
  timeout 900 wine "$QDRIVER" --timeout 300 "start $(win "$work/$1/setup-$2.exe")" "window class=QuorinClass" \
    "click 1" "click 1" "expect 1001 contains=Bench" "clock" "click 1" \
    "expect title \"Bench $1 Setup - Setup Complete\"" "clock" "click 1" "click IDCANCEL" "exit 0" >"$log" 2>&1 || {
    echo "the setup of $1 did not run through:" >&2; tail -n 5 "$log" >&2; echo 0; return 1; }
  local a b
  a=$(grep '^clock ' "$log" | sed -n 1p | cut -d' ' -f2)
  b=$(grep '^clock ' "$log" | sed -n 2p | cut -d' ' -f2)
  echo $((b - a))
}

wall_ms() {  # wall_ms <command...>: milliseconds the command took
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}

declare -A result
for p in A B; do
  make_product "$p" || exit 1
  result[$p,paced]=$(setup_time "$p" true)
  result[$p,unpaced]=$(setup_time "$p" false)
  result[$p,msi]=$(wall_ms wine msiexec /i "$(win "$work/$p/product.msi")" /qn)
  result[$p,copy]=$(wall_ms wine cmd /c xcopy /E /I /Q /Y "C:\\BenchSource\\$p" "C:\\BenchCopy\\$p")
done

echo
echo "install time under Wine ($arch stub), seconds and ratio to msiexec /qn"
printf '  %-34s %12s %12s\n' "" "A: 50 MB" "B: 5,000 small"
for row in paced unpaced msi copy; do
  case $row in
    paced) label="quorin setup, pacing record" ;;
    unpaced) label="quorin setup, one entry per tick" ;;
    msi) label="msiexec /qn, wixl MSI" ;;
    copy) label="xcopy of the same tree" ;;
  esac
  line=$(printf '  %-34s' "$label")
  for p in A B; do
    ms=${result[$p,$row]}
    ratio=$(awk -v a="$ms" -v b="${result[$p,msi]}" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
    line+=$(printf ' %6ss %5sx' "$(seconds "$ms")" "$ratio")
  done
  echo "$line"
done
bench_stop
