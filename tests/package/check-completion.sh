#!/usr/bin/env bash
# The bash completion loads and offers commands, a command's options, fixed
# values and file names; the manual page names every option --help names.
#   check-completion.sh ORV COMPLETION MANPAGE
set -uo pipefail
orv=$1
failures=0
# shellcheck source=/dev/null
source "$2"
compopt() { :; } # only a completion in progress may set its options

# The replies to the words of a command line whose last word is being typed.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _orv
    printf '%s\n' "${COMPREPLY[@]}" | sort -u
}
fail() {
    echo "check-completion: $*" >&2
    failures=$((failures + 1))
}
# Every word in $1 is among the replies to the words $2...
expect_offers() {
    local wanted=$1 replies
    shift
    replies=$(complete_words "$@")
    for w in $wanted; do grep -qxF -- "$w" <<<"$replies" || fail "'$*' does not offer $w"; done
}

commands=$("$orv" --help | sed -n '/^Commands:/,/^$/p' | awk '/^  [a-z]/ { print $1 }')
[ -n "$commands" ] || fail "orv --help lists no commands"
expect_offers "$commands" orv ""
expect_offers "--fps --dither --append --verbose" orv convert x --
# Fixed values after a space and after '='; a value given is no command or file.
expect_offers "engrave threshold bayer floyd-steinberg blue-noise" orv convert in.mp4 --dither ""
expect_offers "crop" orv convert in.mp4 --fit = cr
expect_offers "--colors" orv --verbose render --scale 2 a.orv --co

# The options a --help text names, less other commands' ("orv convert --append").
man_text=$(sed 's/\\//g' "$3")
for c in $commands; do
    for o in $("$orv" "$c" --help | sed -E 's/orv [a-z]+( [a-z]+)? --[a-z-]+//g' |
        grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        grep -qF -- "$o" <<<"$man_text" || fail "$(basename "$3") does not name $o of orv $c"
    done
done

# File names: frame files where a frame file is asked for, any file for -o;
# --port offers the serial devices present, not the files of the folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/clips"
touch "$work/clip.orv" "$work/clip.mp4" "$work/clip.gif"
cd "$work" || exit 1
expect_offers "clip.orv clips" orv info ""
expect_offers "clip.gif" orv render clip.orv -o ""
! complete_words orv info "" | grep -qx clip.mp4 || fail "orv info offers a file that is no frame file"
ports=$(complete_words orv send clip.orv --port "")
if grep -qx clip.orv <<<"$ports" || { compgen -G '/dev/pts/[0-9]*' >/dev/null && ! grep -q '^/dev/pts/' <<<"$ports"; }; then
    fail "--port offers files, not serial devices: $ports"
fi
[ "$failures" -eq 0 ] || exit 1
echo "check-completion: the completion offers commands, options, values and files"
