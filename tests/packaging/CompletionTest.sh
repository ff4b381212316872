#!/usr/bin/env bash
# The bash, zsh and fish completions of loadstar-cli against the tool's own option list
# (loadstar-cli --list-options): every command, every option of every command, and every option's
# choices, so that the completions cannot drift from the tool. bash and fish are asked as a user's
# shell would ask them; zsh's functions are read (they need a terminal to run).
# Usage: CompletionTest.sh LOADSTAR_CLI PACKAGING_FOLDER
set -euo pipefail
program=$1 packaging=$2
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# bash: what the completion function offers for the words given (the last is being completed).
bash_offers() {
    bash -c 'source "$1"; shift; COMP_WORDS=(loadstar-cli "$@"); COMP_CWORD=$#; _loadstar_cli
      printf "%s\n" "${COMPREPLY[@]}"' _ "$packaging/loadstar-cli.bash" "$@" | sort -u
}
# fish: what it offers for the command line given.
fish_offers() {
    fish -c 'source $argv[1]; complete -C $argv[2]' "$packaging/loadstar-cli.fish" "$1" |
        cut -f1 | sort -u
}
# zsh: the part of the function that completes a command's arguments ("-" for the options
# before the command).
zsh_part() {
    if [[ $1 == - ]]; then
        sed -n '/_arguments -C/,/&& ret=0/p' "$packaging/_loadstar-cli"
    else
        awk -v command="$1" '
            $0 ~ "^ *([a-z| -]*[ |])?" command "( [^)]*)?\\)" { on = 1 }
            on { print }
            on && /;;/ { exit }' "$packaging/_loadstar-cli"
    fi
}
has() { grep -qx -- "$2" <<<"$1"; }
words() { tr ' ,' '\n\n' <<<"$1" | sed '/^$/d' | sort -u; }

table=$("$program" --list-options)
[[ -n $table ]] || { echo "FAILED: no option list" >&2; exit 1; }
commands=$(awk '$1 != "-" {print $1}' <<<"$table" | sort -u)
[[ $(wc -l <<<"$commands") -ge 16 ]] || fail "only these commands listed: $commands"

[[ $(bash_offers "") == "$commands" ]] || fail "bash offers other commands: $(bash_offers "")"
[[ $(fish_offers "loadstar-cli " | grep -v '^-') == "$commands" ]] || fail "fish offers other commands"
for command in $commands; do
    grep -q "'$command:" "$packaging/_loadstar-cli" || fail "zsh lacks the command $command"
done

while read -r command names value choices; do
    prefix=() line="loadstar-cli "
    [[ $command != - ]] && prefix=("$command") line="loadstar-cli $command "
    bash_all=$(bash_offers "${prefix[@]}" "-")
    fish_all=$(fish_offers "$line-")
    zsh_text=$(zsh_part "$command")
    [[ -n $zsh_text ]] || fail "zsh has no part for $command"
    for name in $(words "$names"); do
        has "$bash_all" "$name" || fail "bash does not offer $name for $command"
        has "$fish_all" "$name" || fail "fish does not offer $name for $command"
        if [[ $name != -h && $name != --help || $command == - ]]; then
            grep -qE -- "(^|[^a-z-])$name([^a-z-]|$)" <<<"$zsh_text" || fail "zsh does not offer $name for $command"
        fi
    done
    [[ $choices == - ]] && continue
    long=$(words "$names" | grep -- '^--' | head -n1)
    expected=$(words "$choices")
    [[ $(bash_offers "${prefix[@]}" "$long" "") == "$expected" ]] || fail "bash: $command $long values"
    [[ $(bash_offers "${prefix[@]}" "$long" = "") == "$expected" ]] || fail "bash: $command $long= values"
    [[ $(fish_offers "$line$long ") == "$expected" ]] || fail "fish: $command $long values"
    grep -qF "${long#--}=[" <<<"$zsh_text" && grep -qF "($(tr ',' ' ' <<<"$choices"))" <<<"$zsh_text" ||
        fail "zsh: $command $long values"
done <<<"$table"

# The boot flash has four sectors, the main flash eight.
[[ $(bash_offers --flash boot --sector "" | xargs) == "0 1 2 3" ]] || fail "bash: boot sectors"
[[ $(bash_offers --flash=boot --sector "" | xargs) == "0 1 2 3" ]] || fail "bash: --flash=boot sectors"
[[ $(bash_offers --sector "" | xargs) == "0 1 2 3 4 5 6 7" ]] || fail "bash: main sectors"
[[ $(fish_offers "loadstar-cli --flash boot --sector " | xargs) == "0 1 2 3" ]] || fail "fish: boot sectors"
grep -q "_values sector 0 1 2 3$" "$packaging/_loadstar-cli" || fail "zsh: boot sectors"
# The shells take the files as they are.
zsh -n "$packaging/_loadstar-cli" || fail "zsh syntax"
fish -n "$packaging/loadstar-cli.fish" || fail "fish syntax"

[[ $failures -eq 0 ]] || exit 1
echo "completion test: passed"
