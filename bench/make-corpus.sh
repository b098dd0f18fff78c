#!/usr/bin/env bash
# Gathers the compression benchmark's corpus from files found on this machine:
# Windows PE binaries, text, fonts and images, the kinds of files a setup
# package carries. The choice is deterministic for a given machine: files are
# walked in byte order and taken, within size limits, until each kind reaches
# its share. Usage: make-corpus.sh DEST [TOTAL_MB]   (default 50)
set -euo pipefail

dest=${1:?usage: make-corpus.sh DEST [TOTAL_MB]}
total_mb=${2:-50}
export LC_ALL=C

rm -rf "$dest"
mkdir -p "$dest"

# take KIND SHARE_PERCENT MAX_FILE_BYTES DIR... -- name patterns
take() {
  local kind=$1 share=$2 max_file=$3
  shift 3
  local dirs=()
  while [ "$1" != "--" ]; do dirs+=("$1"); shift; done
  shift
  local budget=$(( total_mb * 1024 * 1024 * share / 100 ))
  local names=()
  for p in "$@"; do names+=(-o -name "$p"); done
  local n=0 used=0 size f
  # Ordered by file name, not path, so that the folders interleave.
  while IFS=$'\t' read -r -d '' _ size f; do
    [ "$size" -ge 64 ] && [ "$size" -le "$max_file" ] || continue
    [ $(( used + size )) -le "$budget" ] || continue
    n=$(( n + 1 ))
    used=$(( used + size ))
    printf '%s\0' "$f" >> "$dest/$kind.list"
  done < <(find "${dirs[@]}" -type f \( -false "${names[@]}" \) -printf '%f\t%s\t%p\0' 2>/dev/null | sort -z)
  # One copy for the whole kind; the files keep their paths below DEST/KIND.
  mkdir -p "$dest/$kind"
  [ "$n" -eq 0 ] || tar -cf - --null -T "$dest/$kind.list" 2>/dev/null | tar -xf - -C "$dest/$kind"
  tr '\0' '\n' < "$dest/$kind.list" >> "$dest/files.txt" 2>/dev/null || true
  rm -f "$dest/$kind.list"
  printf '%-7s %5d files %10d bytes\n' "$kind" "$n" "$used"
}

take pe     40 4194304 /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 \
                       /usr/lib/x86_64-linux-gnu/wine/x86_64-windows -- '*.dll' '*.exe'
take text   25 2097152 /usr/share/common-licenses /usr/share/doc -- \
                       'copyright' 'README*' '*.txt' '*.html' '*.md' 'NEWS*' 'changelog' '*.css' '*.js'
take fonts  15 4194304 /usr/share/fonts -- '*.ttf' '*.otf' '*.pfb'
take images 20 1048576 /usr/share/icons /usr/share/pixmaps /usr/share/wine -- \
                       '*.png' '*.svg' '*.xpm' '*.bmp' '*.ico' '*.cur'

echo "corpus: $(find "$dest" -type f ! -name files.txt | wc -l) files, $(find "$dest" -type f ! -name files.txt -printf '%s\n' | awk '{s+=$1} END {print s}') bytes in $dest (sources in $dest/files.txt)"
