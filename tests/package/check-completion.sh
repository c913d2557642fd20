#!/usr/bin/env bash
# The bash completion offers orv's commands, every option that a command's
# --help names, and the fixed values of options; the manual page names every
# one of those options too.
#   check-completion.sh ORV COMPLETION MANPAGE
set -uo pipefail
orv=$1
completion=$2
manpage=$3
failures=0

# shellcheck source=/dev/null
source "$completion"
compopt() { :; }  # only a completion in progress may set its options

# The replies to the words of a command line whose last word is being typed.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _orv
    printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

# Every word in $2 is among the replies to the words $3...
expect_offers() {
    local what=$1 wanted=$2 replies
    shift 2
    replies=$(complete_words "$@")
    for w in $wanted; do
        if ! grep -qxF -- "$w" <<<"$replies"; then
            echo "check-completion: '$*' does not offer $w ($what)" >&2
            failures=$((failures + 1))
        fi
    done
}

# The options a --help text names, less those of other commands that it
# mentions in passing ("orv convert --append").
options_in() {
    sed -E 's/orv [a-z]+( [a-z]+)? --[a-z-]+//g' | grep -oE -- '--[a-z][a-z-]*' | sort -u
}

commands=$("$orv" --help | sed -n '/^Commands:/,/^$/p' | awk 'NF && !/^Commands:/ && /^  [a-z]/ { print $1 }')
if [ -z "$commands" ]; then
    echo "check-completion: orv --help lists no commands" >&2
    exit 1
fi
expect_offers "commands" "$commands" orv ""
expect_offers "commands after help" "$commands" orv help ""
expect_offers "general options" "$("$orv" --help | options_in)" orv --

man_text=$(sed 's/\\//g' "$manpage")
for c in $commands; do
    options=$("$orv" "$c" --help | options_in)
    if [ "$c" = image ]; then
        # image: the options of each operation, after the operation.
        for op in copy engrave equalize brightness zoom sharpen; do
            expect_offers "operations" "$op" orv image ""
            block=$("$orv" image --help | awk -v op="$op" '
                $1 == op { on = 1; print; next }
                on && /^              / { print; next }
                { on = 0 }')
            expect_offers "options of image $op" "$(options_in <<<"$block") --help" \
                orv image "$op" in.png out.png --
        done
    else
        expect_offers "options of $c" "$options" orv "$c" x --
    fi
    for o in $options; do
        if ! grep -qF -- "$o" <<<"$man_text"; then
            echo "check-completion: $(basename "$manpage") does not name $o of orv $c" >&2
            failures=$((failures + 1))
        fi
    done
done

# Fixed values, after a space and after '=' (one list each way; the lists
# themselves are the completion's own).
expect_offers "--dither values" "engrave threshold bayer floyd-steinberg blue-noise" \
    orv convert in.mp4 --dither ""
expect_offers "--fit values" "stretch letterbox crop" orv convert in.mp4 --fit = ""
expect_offers "--fit values" "crop" orv convert in.mp4 --fit = cr
expect_offers "--fit values" "stretch letterbox crop" orv convert in.mp4 --fit =
# A value already given does not count as the command or a file.
expect_offers "options after a value" "--colors" orv --verbose render --scale 2 a.orv --co

# File names: frame files where a frame file is asked for, any file for -o.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/clips"
touch "$work/clip.orv" "$work/clip.mp4" "$work/clip.gif"
cd "$work" || exit 1
expect_offers "frame files" "clip.orv clips" orv info ""
expect_offers "inputs" "clip.mp4 clip.orv" orv convert ""
expect_offers "outputs" "clip.gif" orv render clip.orv -o ""
# --port offers the serial devices present, not the files of the folder.
ports=$(complete_words orv send clip.orv --port "")
if grep -qx clip.orv <<<"$ports" || { compgen -G '/dev/pts/[0-9]*' >/dev/null && ! grep -q '^/dev/pts/' <<<"$ports"; }; then
    echo "check-completion: --port offers files, not serial devices: $ports" >&2
    failures=$((failures + 1))
fi
if complete_words orv info "" | grep -qx clip.mp4; then
    echo "check-completion: orv info offers a file that is not a frame file" >&2
    failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
    echo "check-completion: $failures failures" >&2
    exit 1
fi
echo "check-completion: every command, option and value is offered and named"
