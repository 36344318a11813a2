#!/usr/bin/env bash
# The whole-update benchmark: the updater against a baseline of curl, xz and cp, both fed by
# nginx on loopback, in one run, so that the ratios compare like with like (bench/README.md).
#   bash scripts/bench.sh [RUNS]    RUNS: timed runs of each side per work, default 5
# Works:
#   plain     a release of real files taken from /usr, installed over a version that holds
#             almost nothing; the baseline fetches them with one curl process (one reused
#             connection) into a work folder, copies it into the installation with `cp -r`
#             and empties the work folder;
#   packages  the same release as LZMA packages; the baseline also unpacks them with one xz
#             process per batch of files;
#   lists     two lists of 100,000 entries and nothing to download: the updater's CPU time
#             against Python's `json.loads` of the same two documents.
# Everything happens under one temporary folder (kept with KEEP_BENCH=1).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
repo=$(pwd)
runs=${1:-5}
corpus_files=${CORPUS_FILES:-4088}
list_entries=${LIST_ENTRIES:-100000}

bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_TESTS=OFF \
    -DORV_BUILD_BENCH=OFF -DORV_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target orvupdate orvrelease >/dev/null
orvrelease="$repo/build-bench/tools/orvrelease"
updater="$repo/build-bench/orvupdate.exe"

bench=$(mktemp -d "${TMPDIR:-/tmp}/orvupdate-bench.XXXXXX")
nginx_pid=""
cleanup() { end_work "$nginx_pid" "$bench" "${KEEP_BENCH:-0}"; }
trap cleanup EXIT

# The updater pauses on purpose between its stages so that the dialog can be read: 100 ms before
# unpacking, 1,000 ms before the local set-up and 1,000 ms before the finish.
pause_plain=2.0
pause_packages=2.1

port=$(free_loopback_port)
base="http://127.0.0.1:$port/"

# nginx serves one tree at a time from $bench/serve, a link switched between the works.
serve() {
    ln -sfn "$1" "$bench/serve"
}
start_nginx() {
    mkdir -p "$bench/nginx"
    cat >"$bench/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $bench/nginx/nginx.pid;
error_log $bench/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $bench/nginx;
  proxy_temp_path $bench/nginx;
  fastcgi_temp_path $bench/nginx;
  uwsgi_temp_path $bench/nginx;
  scgi_temp_path $bench/nginx;
  sendfile on;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$port;
    root $bench/serve;
  }
}
EOF
    /usr/sbin/nginx -p "$bench/nginx" -c "$bench/nginx/nginx.conf" &
    nginx_pid=$!
    for _ in $(seq 1 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return
        sleep 0.1
    done
    echo "nginx did not start" >&2
    exit 1
}

browser_stand_in() {
    printf '#!/bin/sh\necho started >> "$(dirname "$0")/browser-started.log"\n' >"$1"
    chmod +x "$1"
}

# Real files from /usr, spread evenly over its sorted list: no links, under 32 MiB, names that
# every system can hold (plain ASCII, no device names, no segment ending in a dot).
make_corpus() {
    local out=$1 all="$bench/usr-files" step
    (cd /usr && find . -xdev -type f -readable -size -32769k -printf '%P\n') |
        grep -E '^[A-Za-z0-9_+./-]{1,180}$' |
        grep -viE '(^|/)(con|prn|aux|nul|com[1-9]|lpt[1-9])(\.[^/]*)?$' |
        grep -vE '\.(/|$)' | LC_ALL=C sort >"$all"
    step=$(($(wc -l <"$all") / corpus_files))
    [ "$step" -ge 1 ] || step=1
    awk -v step="$step" -v n="$corpus_files" 'NR % step == 0 && count < n { print; count++ }' \
        "$all" >"$bench/corpus-files"
    mkdir -p "$out"
    tar -C /usr -cf - -T "$bench/corpus-files" | tar -C "$out" -xf -
}

# A version folder with the browser stand-in and a read-me.
version_folder() {
    mkdir -p "$1"
    browser_stand_in "$1/orvel.exe"
    echo "Orvel" >"$1/readme.txt"
}

build_tree() {  # FROM OUT VERSION [orvrelease options]
    local from=$1 out=$2 version=$3
    shift 3
    "$orvrelease" build --from "$from" --out "$out" --version "$version" --id "bench-$version" \
        --base-url "$base" "$@" >/dev/null
}

# A fresh installation of the tree's version: the folder's files, the manifests, the updater.
install_version() {  # FROM TREE INSTALL
    rm -rf "$3"
    mkdir -p "$3"
    cp -al "$1/." "$3/"
    cp "$2/files/filelist.update" "$2/files/fldz.update" "$3/"
    cp "$updater" "$3/orvupdate.exe"
}

# Runs a command under the kernel's accounting; appends "wall peak_kib user sys" to $1.
measure() {
    local record=$1
    shift
    /usr/bin/time -f '%e %M %U %S' -o "$bench/time.out" "$@"
    cat "$bench/time.out" >>"$record"
}

run_updater() {  # RECORD INSTALL WORK_TMP
    rm -rf "$3"
    mkdir -p "$3"
    measure "$1" env TMPDIR="$3" ORVUPDATE_UI=text ORVUPDATE_SERVICE_HOST="127.0.0.1:$port" \
        "$2/orvupdate.exe" >"$bench/updater.log" 2>&1 || {
        echo "the updater failed:" >&2
        cat "$bench/updater.log" >&2
        exit 1
    }
}

# The baseline's three steps, each timed; its record line sums the walls and keeps the largest
# peak.
run_baseline() {  # RECORD INSTALL PREFIX SUFFIX UNPACK
    local record=$1 install=$2 prefix=$3 suffix=$4 unpack=$5 work="$bench/baseline-work"
    local steps="$bench/baseline-steps"
    rm -rf "$work" "$steps"
    mkdir -p "$work"
    awk -v base="$base$prefix" -v work="$work" -v suffix="$suffix" \
        '{ printf "url = \"%s%s%s\"\noutput = \"%s/%s%s\"\n", base, $0, suffix, work, $0, suffix }' \
        "$bench/corpus-files" >"$bench/curl.cfg"
    measure "$steps" curl -sS --fail --create-dirs -K "$bench/curl.cfg"
    if [ "$unpack" = 1 ]; then
        measure "$steps" sh -c "cd '$work' && find . -name '*.lzma' -print0 |
            xargs -0 -n 512 xz -d --format=lzma"
    fi
    measure "$steps" cp -r "$work/." "$install/"
    measure "$steps" rm -rf "$work"
    awk '{ wall += $1; if ($2 > peak) peak = $2; user += $3; sys += $4 }
         END { printf "%.2f %d %.2f %.2f\n", wall, peak, user, sys }' "$steps" >>"$record"
}

median() {  # FILE COLUMN
    cut -d' ' -f"$2" "$1" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

echo "== making the corpus and the releases in $bench"
v1="$bench/v1.0"
v2="$bench/v2.0"
version_folder "$v1"
version_folder "$v2"
make_corpus "$v2"
build_tree "$v1" "$bench/tree-1.0" 1.0 --no-packages
build_tree "$v2" "$bench/tree-2.0-plain" 2.0 --no-packages
build_tree "$v2" "$bench/tree-2.0-packages" 2.0
corpus_bytes=$(du -sb --apparent-size "$v2" | cut -f1)
package_bytes=$(du -sb --apparent-size "$bench/tree-2.0-packages/zx" | cut -f1)
median_bytes=$(cd "$v2" && find . -type f -printf '%s\n' | sort -n |
    awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "corpus: $(wc -l <"$bench/corpus-files") files from /usr, $((corpus_bytes / 1000000)) MB," \
    "median $median_bytes bytes; packages $((package_bytes / 1000000)) MB"

echo "== making the ${list_entries}-entry lists"
lists="$bench/lists"
version_folder "$lists/v"
awk -v n="$list_entries" -v root="$lists/v" 'BEGIN {
    for (i = 0; i < n; i++) {
        dir = sprintf("%s/components/module-%03d/resources", root, i % 1000)
        if (i < 1000) system("mkdir -p " dir)
        printf "%d\n", i > sprintf("%s/entry-%06d.dat", dir, i)
        close(sprintf("%s/entry-%06d.dat", dir, i))
    } }'
build_tree "$lists/v" "$lists/tree-1.0" 1.0 --no-packages
build_tree "$lists/v" "$lists/tree-2.0" 2.0 --no-packages
list_bytes=$(stat -c %s "$lists/tree-2.0/files/filelist.update")
echo "lists: $list_entries entries, $(awk -v b="$list_bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB each"

start_nginx
: >"$bench/plain-updater" >"$bench/plain-baseline"
: >"$bench/packages-updater" >"$bench/packages-baseline"
: >"$bench/lists-updater" >"$bench/lists-python"
for run in $(seq 1 "$runs"); do
    echo "== run $run of $runs"
    for work in plain packages; do
        serve "$bench/tree-2.0-$work"
        install_version "$v1" "$bench/tree-1.0" "$bench/install"
        run_updater "$bench/$work-updater" "$bench/install" "$bench/updater-tmp"
        if [ "$run" = 1 ] && ! diff -rq -x filelist.update -x fldz.update -x orvupdate.exe \
            -x browser-started.log "$v2" "$bench/install" >/dev/null; then
            echo "the $work update did not install the release" >&2
            exit 1
        fi
        install_version "$v1" "$bench/tree-1.0" "$bench/install"
        if [ "$work" = plain ]; then
            run_baseline "$bench/$work-baseline" "$bench/install" files/ "" 0
        else
            run_baseline "$bench/$work-baseline" "$bench/install" zx/ .lzma 1
        fi
    done
    serve "$lists/tree-2.0"
    install_version "$lists/v" "$lists/tree-1.0" "$bench/install"
    run_updater "$bench/lists-updater" "$bench/install" "$bench/updater-tmp"
    measure "$bench/lists-python" python3 -c 'import json, sys
for name in sys.argv[1:]:
    with open(name, "rb") as f:
        json.loads(f.read())' "$lists/tree-1.0/files/filelist.update" \
        "$lists/tree-2.0/files/filelist.update"
done

mib() { awk -v k="$1" 'BEGIN { printf "%.0f MiB", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f×", a / b }'; }
cpu() { awk '{ print $3 + $4 }' "$1" >"$1.cpu"; median "$1.cpu" 1; }

echo
echo "Medians of $runs runs; peak memory is the largest resident set of any one process."
echo
echo "| Work | updater / baseline, wall | net of the fixed stage pauses | peak memory, updater vs baseline |"
echo "|---|---|---|---|"
for work in plain packages; do
    updater_wall=$(median "$bench/$work-updater" 1)
    baseline_wall=$(median "$bench/$work-baseline" 1)
    pause=$pause_plain
    [ "$work" = packages ] && pause=$pause_packages
    net=$(awk -v w="$updater_wall" -v p="$pause" 'BEGIN { print w - p }')
    echo "| $work ($updater_wall s vs $baseline_wall s) | $(ratio "$updater_wall" "$baseline_wall") |" \
        "$(ratio "$net" "$baseline_wall") | $(mib "$(median "$bench/$work-updater" 2)") vs" \
        "$(mib "$(median "$bench/$work-baseline" 2)") |"
done
updater_cpu=$(cpu "$bench/lists-updater")
python_cpu=$(cpu "$bench/lists-python")
echo "| lists, CPU ($updater_cpu s vs Python's $python_cpu s) |" \
    "$(ratio "$updater_cpu" "$python_cpu") Python's CPU time | — |" \
    "$(mib "$(median "$bench/lists-updater" 2)") vs $(mib "$(median "$bench/lists-python" 2)") |"
