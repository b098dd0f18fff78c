#!/usr/bin/env bash
# Writes the seeds of the loader and string-group fuzzers from the examples:
#  loader_fuzz/EXAMPLE   the example's package behind a 32-byte stand-in stub
#                        whose configuration block names that stub size
#  strings_fuzz/EXAMPLE  the example's string groups as the strings fuzzer reads
#                        them, with error code 21 and a file name
# A seed stays a few KiB. Usage, from the repository root:
#   tests/fuzz/seeds/make-seeds.sh [quorin-binary]
set -euo pipefail
quorin="${1:-build/host/tools/quorin/quorin}"
seeds=tests/fuzz/seeds
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for example in hello custom; do
  "$quorin" build "examples/$example/project.toml" -o "$work/$example.exe" >/dev/null
  "$quorin" list "$work/$example.exe" >"$work/$example.txt"
  python3 - "$work/$example.exe" "$work/$example.txt" "$seeds" "$example" <<'PY'
import re, struct, sys
exe, listing, seeds, name = sys.argv[1:]
data = open(exe, 'rb').read()
at = data.find(b'ww' + b'gT)H')
stub_size = struct.unpack_from('<I', data, at + 6)[0]
stub = bytearray(b'\x90' * 32)
stub[8:26] = b'ww' + b'gT)H' + struct.pack('<I', 32) + bytes(8)
open(f'{seeds}/loader_fuzz/{name}', 'wb').write(bytes(stub) + data[stub_size:])

texts = {}
for m in re.finditer(r'^  (\d)\.(\d+) = "(.*)"  #', open(listing, encoding='latin-1').read(), re.M):
    text = m.group(3).encode('latin-1').decode('unicode_escape').encode('latin-1')
    texts.setdefault(int(m.group(1)), []).append(text)
file_name = b'C:\\Program Files\\Example\\readme.txt'
seed = struct.pack('<HH', 21, 1024) + bytes([len(file_name)]) + file_name
for g in range(9):
    group = struct.pack('<H', len(texts.get(g, []))) + b''.join(t + b'\0' for t in texts.get(g, []))
    seed += struct.pack('<H', len(group)) + group
open(f'{seeds}/strings_fuzz/{name}', 'wb').write(seed)
PY
done
