#!/usr/bin/env bash
# Compiler launcher: every compile goes through ccache, except the creation of
# a precompiled header. Its bytes name the folder it was built in, so ccache
# would hash it differently in every clone; it is built by the compiler itself
# and leaves <header>.sum beside it, a checksum of what went into it (the
# command line and the content of every file it read, with the folder left
# out). ccache hashes that file instead (pch_external_checksum), so the
# objects compiled with the header are found again from another clone.
set -euo pipefail

export CCACHE_PCH_EXTSUM=true
# The header is rebuilt in every clone: its time stamps are new by design.
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

folder=${CCACHE_BASEDIR:-}
folder=${folder%/}

# ccache writes paths below CCACHE_BASEDIR relative to the working folder,
# except those it does not see as paths: the precompiled header and its
# header, handed to clang behind -Xclang. Those are made relative here.
args=()
creates_pch=0
output=
depfile=
previous=
for arg in "$@"; do
    case $arg in -emit-pch | c++-header) creates_pch=1 ;; esac
    case $previous in
        -o) output=$arg ;;
        -MF) depfile=$arg ;;
        -Xclang) [[ -n $folder && $arg == "$folder"/* ]] && arg=$(realpath -m --relative-to=. "$arg") ;;
    esac
    args+=("$arg")
    previous=$arg
done
if ((!creates_pch)) || [[ -z $output || -z $depfile ]]; then
    exec ccache "${args[@]}"
fi

"${args[@]}"
folder=${folder:-$PWD}
{
    # The folder itself also appears alone (-I<folder>).
    printf '%s\n' "${args[@]//"$folder"/.}"
    # The dependency file: "target: input input \", inputs that may repeat.
    tr -s ' \\\n' '\n\n\n' <"$depfile" | tail -n +2 | sort -u | xargs -r sha256sum |
        sed "s|$folder|.|"
} | sha256sum >"$output.sum"
