#!/bin/sh
# check_bmp.sh FILE WIDTH HEIGHT
# Succeeds when FILE is an uncompressed Windows bitmap of WIDTH x HEIGHT
# pixels whose header agrees with its length: "BM", the file size, a
# 40-byte info header, one plane, 24 or 32 bits a pixel, and exactly the
# rows the header promises (each padded to four bytes) after the offset.
set -eu

file=$1 want_w=$2 want_h=$3
fail() { echo "check_bmp: $file: $*" >&2; exit 1; }

[ -f "$file" ] || fail "missing"
size=$(wc -c < "$file" | tr -d ' ')
[ "$size" -ge 54 ] || fail "only $size bytes"
# Little-endian fields; od reads in the host's order, so read bytes.
u8() { od -An -v -t u1 -j "$1" -N 1 "$file" | tr -d ' '; }
u16() { echo $(( $(u8 "$1") + 256 * $(u8 $(($1 + 1))) )); }
u32() { echo $(( $(u16 "$1") + 65536 * $(u16 $(($1 + 2))) )); }
s32() { v=$(u32 "$1"); [ "$v" -ge 2147483648 ] && v=$((v - 4294967296)); echo "$v"; }

[ "$(u8 0)" -eq 66 ] && [ "$(u8 1)" -eq 77 ] || fail "does not start with BM"
[ "$(u32 2)" -eq "$size" ] || fail "header says $(u32 2) bytes, the file has $size"
offset=$(u32 10)
[ "$(u32 14)" -eq 40 ] || fail "info header of $(u32 14) bytes, not 40"
width=$(s32 18) height=$(s32 22)
[ "$width" -eq "$want_w" ] || fail "width $width, not $want_w"
[ "${height#-}" -eq "$want_h" ] || fail "height $height, not $want_h"
[ "$(u16 26)" -eq 1 ] || fail "$(u16 26) planes"
bits=$(u16 28)
[ "$bits" -eq 24 ] || [ "$bits" -eq 32 ] || fail "$bits bits a pixel"
[ "$(u32 30)" -eq 0 ] || fail "compressed ($(u32 30))"
stride=$(( (width * bits + 31) / 32 * 4 ))
[ $((offset + stride * want_h)) -eq "$size" ] ||
    fail "offset $offset + $want_h rows of $stride bytes is not the file's $size bytes"
