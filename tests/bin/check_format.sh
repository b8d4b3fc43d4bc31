#!/usr/bin/env bash
# Every C++ source of the tree is as clang-format writes it with the tree's
# .clang-format, so that a change written in another style fails here.
# usage: check_format.sh SOURCE-DIR
set -euo pipefail
cd "${1:?usage: check_format.sh SOURCE-DIR}"
mapfile -d '' sources < <(find . \( -path ./build -o -path ./dist -o -path ./.git \) -prune -o \
                            -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
# A tree found empty would pass without looking at anything.
[ "${#sources[@]}" -ge 100 ] || { echo "only ${#sources[@]} C++ sources found in $PWD" >&2; exit 1; }
clang-format --dry-run --Werror "${sources[@]}"
echo "${#sources[@]} sources formatted"
