# Sourced by the host tests written in sh: a scratch folder to work in and
# named checks that say what failed and why, summed up at the end.
#   . checks.sh; check NAME COMMAND...; refused NAME REASON COMMAND...; summary NAME
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
passes=0
failures=0
pass() { echo "ok: $1"; passes=$((passes + 1)); }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
check() {  # check NAME COMMAND...: passes when the command does
    name=$1
    shift
    if "$@" >log 2>&1; then pass "$name"; else fail "$name"; sed 's/^/    /' log; fi
}
refused() {  # refused NAME REASON COMMAND...: passes when the command fails saying REASON
    name=$1 reason=$2
    shift 2
    if "$@" >log 2>&1; then fail "$name: it did not fail"; elif grep -qF "$reason" log; then pass "$name"; else
        fail "$name: not \"$reason\""; sed 's/^/    /' log; fi
}
summary() {  # summary NAME: the counts, and the status of the whole
    echo "$1: $passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}
