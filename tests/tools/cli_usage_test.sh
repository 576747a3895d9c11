#!/usr/bin/env bash
# The usage texts and the usage exit code of the programs:
#   cli_usage_test.sh CORVANE [CORVANE_MESSENGER]
# --help prints to standard output and exits 0 (the desktop program without a
# display); a wrong command line exits 64 with one line on standard error.
set -uo pipefail

corvane=$1
messenger=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Nothing of the caller's settings, archive or stations.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/run CORVANE_USER_REGISTRY=$work/user.reg
export CORVANE_MACHINE_REGISTRY=$work/machine.reg
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run NAME PROGRAM ARGS...: sets $code, $out and $err; a program that keeps
# running (a station started by mistake) is stopped after 10 s.
run() {
    local label=$1
    shift
    timeout 10 "$@" >"$work/out" 2>"$work/err"
    code=$?
    out=$(cat "$work/out")
    err=$(cat "$work/err")
    [[ $code -ne 124 ]] || fail "$label: still running after 10 s"
}

# expect_help LABEL SYNOPSIS PROGRAM ARGS...: the first line of standard
# output is SYNOPSIS, alone or followed by the arguments.
expect_help() {
    local label=$1 first=$2
    shift 2
    run "$label" "$@"
    [[ $code -eq 0 ]] || fail "$label: exit $code, expected 0 (stderr: $err)"
    local line=${out%%$'\n'*}
    [[ $line == "$first" || $line == "$first "* ]] ||
        fail "$label: first line \"$line\", expected \"$first\" and the arguments"
    [[ -z $err ]] || fail "$label: wrote to standard error: $err"
}

# expect_usage_error LABEL PATTERN PROGRAM ARGS...
expect_usage_error() {
    local label=$1 pattern=$2
    shift 2
    run "$label" "$@"
    [[ $code -eq 64 ]] || fail "$label: exit $code, expected 64 (stderr: $err)"
    [[ -z $out ]] || fail "$label: wrote to standard output: $out"
    [[ $(wc -l <"$work/err") -eq 1 ]] || fail "$label: standard error is not one line: $err"
    [[ $err == *"$pattern"* ]] || fail "$label: \"$err\" does not say \"$pattern\""
}

commands=(export history listen ping search send settings)

for option in --help -h help; do
    expect_help "corvane $option" "usage: corvane <command> [arguments]" "$corvane" "$option"
    for command in "${commands[@]}"; do
        [[ $out == *"  $command "* ]] || fail "corvane $option does not list $command"
    done
done

for command in "${commands[@]}"; do
    for option in --help -h; do
        expect_help "corvane $command $option" "usage: corvane $command" \
            "$corvane" "$command" "$option"
        # Below the synopsis: a description, not just the synopsis again.
        [[ $(wc -l <"$work/out") -ge 3 ]] || fail "corvane $command $option: no description"
    done
done
# Wherever options are read, and for send only before the recipient (after
# it, words are the message's text).
expect_help "listen --json --help" "usage: corvane listen" "$corvane" listen --json --help
expect_help "ping NAME --help" "usage: corvane ping" "$corvane" ping BOB --help
expect_help "send --broadcast --help" "usage: corvane send" "$corvane" send --broadcast --help
expect_usage_error "send -- --help" "needs a recipient and a text" "$corvane" send -- --help
expect_usage_error "history -- --help x" "at most one name" "$corvane" history -- --help x

run "corvane --version" "$corvane" --version
[[ $code -eq 0 && $out == "corvane "[0-9]* ]] || fail "corvane --version: exit $code, \"$out\""

run "corvane" "$corvane"
[[ $code -eq 64 ]] || fail "corvane without a command: exit $code, expected 64"
[[ $err == *"usage: corvane"* ]] || fail "corvane without a command does not show the usage"

expect_usage_error "unknown command" 'unknown command "frobnicate"' "$corvane" frobnicate
expect_usage_error "unknown option" 'unknown option "--frobnicate"' "$corvane" --frobnicate
expect_usage_error "settings ARG" "takes no arguments" "$corvane" settings extra
expect_usage_error "listen --bogus" 'unknown argument "--bogus"' "$corvane" listen --bogus
expect_usage_error "search ARG" 'unknown argument "extra"' "$corvane" search extra
expect_usage_error "ping" "a name of 1 to 15 characters" "$corvane" ping
expect_usage_error "ping long name" "a name of 1 to 15 characters" "$corvane" ping ABCDEFGHIJKLMNOP
expect_usage_error "ping two names" 'unexpected argument "B"' "$corvane" ping A B
expect_usage_error "history two names" "at most one name" "$corvane" history A B
expect_usage_error "export" "needs one file name" "$corvane" export
expect_usage_error "export .txt" "must end in .csv or .html" "$corvane" export "$work/a.txt"
expect_usage_error "send --bogus" 'unknown option "--bogus"' "$corvane" send --bogus BOB hi
expect_usage_error "send NAME" "needs a recipient and a text" "$corvane" send BOB
# A usage error says where the usage is.
[[ $err == *"corvane send --help"* ]] || fail "send's usage error does not point to --help"

if [[ -n $messenger ]]; then
    # No display: --help must not need one.
    for option in --help -h; do
        expect_help "corvane-messenger $option" "usage: corvane-messenger [--help] [--version]" \
            env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$messenger" "$option"
    done
    run "corvane-messenger --version" env -u DISPLAY -u WAYLAND_DISPLAY "$messenger" --version
    [[ $code -eq 0 && $out == "corvane-messenger "[0-9]* ]] ||
        fail "corvane-messenger --version: exit $code, \"$out\""
    expect_usage_error "corvane-messenger --bogus" 'unknown option "--bogus"' \
        env -u DISPLAY -u WAYLAND_DISPLAY "$messenger" --bogus
fi

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "usage texts and codes: all checks passed"
