#!/bin/sh
# check_install.sh CHECK ROOT BUILD VERSION
# The installed tree under ROOT (made by the "tree" check with
# `cmake --install BUILD --prefix ROOT`), checked against the facts a
# desktop, a package and a user rely on. VERSION is the project's version.
set -eu

check=$1 root=$2 build=$3 version=$4
here=$(cd "$(dirname "$0")" && pwd)
id=org.quillion.quillion
share=$root/share
fail() { echo "check_install ($check): $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || fail "$1 is missing (scripts/install-deps.sh installs it)"; }
# The MIME types named by each file, one a line, sorted.
types_of_xml() { sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$1" | sort; }
types_of_entry() { sed -n 's/^MimeType=//p' "$1" | tr ';' '\n' | sed '/^$/d' | sort; }
types_of_metainfo() { sed -n 's/.*<mediatype>\([^<]*\)<\/mediatype>.*/\1/p' "$1" | sort; }
# Width and height of a PNG, from its IHDR chunk (big-endian).
png_size() {
    od -An -v -t u1 -j 16 -N 8 "$1" |
        awk '{ printf "%dx%d\n", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'
}
# Runs the installed program the way a script does: no display.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/quillion" "$@"; }

case $check in
tree)
    rm -rf "$root"
    "${CMAKE:-cmake}" --install "$build" --prefix "$root"
    ;;
files)
    for f in bin/quillion bin/quillion-slurm lib/quillion/libquillion_window.so share/applications/quillion.desktop \
             share/mime/packages/quillion-frc.xml share/metainfo/$id.metainfo.xml share/man/man1/quillion.1 \
             share/man/man1/quillion-slurm.1; do
        [ -f "$root/$f" ] || fail "$f was not installed"
    done
    [ -x "$root/bin/quillion" ] || fail "bin/quillion is not executable"
    [ -x "$root/bin/quillion-slurm" ] || fail "bin/quillion-slurm is not executable"
    for n in 16 32 48 64 128 256; do
        icon=$share/icons/hicolor/${n}x$n/apps/quillion.png
        [ -f "$icon" ] || fail "no ${n}x$n icon"
        [ "$(od -An -c -j 1 -N 3 "$icon" | tr -d ' ')" = PNG ] || fail "$icon is not a PNG"
        [ "$(png_size "$icon")" = "${n}x$n" ] || fail "$icon is $(png_size "$icon"), not ${n}x$n"
    done
    # Nothing installed may lean on the build tree to find its libraries.
    if command -v readelf >/dev/null 2>&1; then
        for f in bin/quillion lib/quillion/libquillion_window.so; do
            ! readelf -d "$root/$f" | grep -E 'RPATH|RUNPATH' | grep -q "$build" ||
                fail "$f keeps a search path into the build tree"
        done
    fi
    ;;
desktop)
    need desktop-file-validate
    entry=$share/applications/quillion.desktop
    desktop-file-validate "$entry" || fail "the desktop entry does not validate"
    [ "$(sed -n 's/^Icon=//p' "$entry")" = quillion ] || fail "the entry's icon is not \"quillion\""
    # The window rewrites exactly this line with its own path at each start.
    grep -qx 'Exec=quillion %f' "$entry" || fail "the entry's Exec line is not the one the window rewrites"
    [ "$(types_of_entry "$entry")" = "$(types_of_xml "$share/mime/packages/quillion-frc.xml")" ] ||
        fail "the entry opens other types than the MIME file defines"
    ;;
mime)
    need update-mime-database
    data=$(mktemp -d)
    trap 'rm -rf "$data"' EXIT
    work=$data/mime
    mkdir -p "$work/packages"
    cp "$share/mime/packages/quillion-frc.xml" "$work/packages/"
    # A clean run says nothing (the folder is on the data path it checks).
    XDG_DATA_DIRS=$data update-mime-database "$work" 2>"$data/errors" ||
        fail "update-mime-database: $(cat "$data/errors")"
    [ ! -s "$data/errors" ] || fail "update-mime-database: $(cat "$data/errors")"
    grep -q ':application/x-quillion-fractal:\*\.frc$' "$work/globs2" || fail "\"*.frc\" is not a fractal document"
    grep -q ':application/x-quillion-data:\*\.fdt$' "$work/globs2" || fail "\"*.fdt\" is not computed data"
    [ -f "$work/application/x-quillion-fractal.xml" ] || fail "no entry for the fractal document type"
    grep -q '^application/x-quillion-fractal text/plain$' "$work/subclasses" ||
        fail "a fractal document is not plain text to the desktop"
    ;;
metainfo)
    need appstreamcli
    info=$share/metainfo/$id.metainfo.xml
    appstreamcli validate --no-net --explain "$info" || fail "the metainfo does not validate"
    grep -q "<id>$id</id>" "$info" || fail "the metainfo's id is not its file's name"
    grep -q '<launchable type="desktop-id">quillion.desktop</launchable>' "$info" ||
        fail "the metainfo does not launch quillion.desktop"
    grep -q '<binary>quillion</binary>' "$info" || fail "the metainfo does not provide the quillion binary"
    [ "$(types_of_metainfo "$info")" = "$(types_of_xml "$share/mime/packages/quillion-frc.xml")" ] ||
        fail "the metainfo provides other types than the MIME file defines"
    newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$info" | head -n 1)
    [ "$newest" = "$version" ] || fail "the newest release is $newest, the project is $version"
    ;;
man)
    page=$share/man/man1/quillion.1
    # Every long option the usage names is on the page and the page names
    # no other: the two describe one command line.
    run --help > /dev/null || fail "quillion --help failed"
    from_help=$(run --help | grep -o -- '--[a-z][a-z]*' | sort -u)
    from_page=$(grep -o -- '\\-\\-[a-z][a-z]*' "$page" | sed 's/\\//g' | sort -u)
    [ "$from_help" = "$from_page" ] ||
        fail "options differ; usage: $(echo $from_help), page: $(echo $from_page)"
    # The submitting script's options, each at the head of a line of its
    # usage and of an item of its page, are the same.
    slurm_page=$share/man/man1/quillion-slurm.1
    "$root/bin/quillion-slurm" --help > /dev/null || fail "quillion-slurm --help failed"
    from_help=$("$root/bin/quillion-slurm" --help | sed -n 's/^ *\(-h, \)\{0,1\}\(--[a-z-]*\).*/\2/p' | sort -u)
    from_page=$(sed -n '/^\.TP$/{n;s/^\.BI\{0,1\} \(\\-\\-[a-z\\-]*\).*/\1/p;}' "$slurm_page" | sed 's/\\//g' | sort -u)
    [ "$from_help" = "$from_page" ] ||
        fail "quillion-slurm's options differ; usage: $(echo $from_help), page: $(echo $from_page)"
    if command -v groff >/dev/null 2>&1; then
        for p in "$page" "$slurm_page"; do
            warnings=$(groff -man -Tutf8 -ww -z "$p" 2>&1)
            [ -z "$warnings" ] || fail "groff ($p): $warnings"
        done
    else
        echo "groff is missing: the pages were not rendered"
    fi
    ;;
program)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # Headless rendering is the executable's own; the version comes from the
    # window module, found in the installed tree.
    (cd "$work" && run --render --size 32x24 --output x.bmp --quiet) || fail "quillion --render failed"
    "$here/check_bmp.sh" "$work/x.bmp" 32 24 || fail "quillion --render wrote a bad bitmap"
    out=$(run --version) || fail "quillion --version failed: the window module did not load"
    case $out in "Quillion Version"*) ;; *) fail "quillion --version printed \"$out\"" ;; esac
    ;;
*)
    fail "unknown check"
    ;;
esac
