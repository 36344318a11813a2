# Shared by scripts/demo.sh and scripts/bench.sh (sourced, not run).

# Prints a loopback port that nobody listens on; fails when twenty tries found none.
free_loopback_port() {
    local candidate
    for _ in $(seq 1 20); do
        candidate=$((20000 + RANDOM % 20000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
            echo "$candidate"
            return 0
        fi
    done
    echo "no free loopback port found" >&2
    return 1
}

# end_work PID FOLDER KEEP: stops the background server PID (when set) and removes FOLDER unless
# KEEP is 1.
end_work() {
    if [ -n "$1" ]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
    if [ "$3" = 1 ]; then
        echo "folder kept: $2"
    else
        rm -rf "$2"
    fi
}
