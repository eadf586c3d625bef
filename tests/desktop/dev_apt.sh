#!/usr/bin/env bash
# scripts/dev.sh's way with apt, on stand-ins for apt-get and dpkg-query and
# a lock file of its own: it asks only for the packages that are neither
# installed nor waiting for their triggers, waits while another process
# holds one of apt's locks (saying so) and goes on when it lets go, and
# gives up after its bound:
#   dev_apt.sh DEV_SH
set -euo pipefail
dev_sh=$1
scratch=$(mktemp -d)
holder=
trap '[ -z "$holder" ] || kill "$holder" 2>/dev/null; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# dpkg-query knows four of the five packages asked for, in these states.
mkdir "$scratch/bin"
cat >"$scratch/bin/dpkg-query" <<'EOF'
#!/bin/sh
printf '%s\n' 'installed done' 'triggers-pending pending' 'triggers-awaited awaited' 'half-configured broken'
exit 1  # as dpkg-query does when one of the names is unknown
EOF
# apt-get writes down its arguments, and whether the lock was free then.
cat >"$scratch/bin/apt-get" <<EOF
#!/bin/sh
echo "\$* (lock \$(cat "$scratch/held"))" >>"$scratch/apt.log"
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$scratch/bin/sudo"
chmod +x "$scratch/bin/"*
PATH="$scratch/bin:$PATH"

# hold SECONDS: another process takes the lock and keeps it that long;
# "held" says whether it still does.
hold() {
    echo free >"$scratch/held"
    python3 -c "
import fcntl, sys, time
lock = open(sys.argv[1], 'w')
fcntl.lockf(lock, fcntl.LOCK_EX)
open(sys.argv[2], 'w').write('held\n')
time.sleep(float(sys.argv[3]))
open(sys.argv[2], 'w').write('free\n')
" "$scratch/lock" "$scratch/held" "$1" &
    holder=$!
    for _ in $(seq 50); do
        [ "$(cat "$scratch/held")" = held ] && return
        sleep 0.1
    done
    fail "the stand-in holder never took the lock"
}

# shellcheck source=../../scripts/dev.sh
source "$dev_sh"
apt_locks=("$scratch/none" "$scratch/lock")

# Held for 6 seconds: waited out, then apt asked for the two missing ones.
hold 6
apt_wait=60
install_missing done pending awaited broken missing >"$scratch/out" 2>&1 || { cat "$scratch/out"; fail "install_missing"; }
grep -q "^Waiting for another apt or dpkg run, process $holder (python3), to finish (at most 1 minutes)" "$scratch/out" ||
    fail "no word of the wait: $(cat "$scratch/out")"
grep -qx 'Installing: broken missing' "$scratch/out" || fail "installs other than the missing ones: $(cat "$scratch/out")"
expected="-o DPkg::Lock::Timeout=60 update -qq (lock free)
-o DPkg::Lock::Timeout=60 install -y -qq broken missing (lock free)"
[ "$(cat "$scratch/apt.log")" = "$expected" ] || fail "apt-get was run so: $(cat "$scratch/apt.log")"
wait "$holder"

# Held past the bound: given up, apt never run, the way out told.
rm "$scratch/apt.log"
hold 60
apt_wait=5
if (install_missing missing) >"$scratch/out" 2>&1; then
    fail "install_missing went on past its bound"
fi
grep -q "process $holder (python3), still holds the package system" "$scratch/out" ||
    fail "no word of giving up: $(cat "$scratch/out")"
[ ! -e "$scratch/apt.log" ] || fail "apt-get ran while the lock was held: $(cat "$scratch/apt.log")"
echo "dev.sh waits for apt's locks and counts pending triggers as installed"
