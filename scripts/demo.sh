#!/usr/bin/env bash
# The main job: a demo update against a local update server.
#  1. sets up and builds;
#  2. makes a sample installed version (1.0) and a newer release (2.0): nested folders, a Chinese
#     file name, a few MB, a changed, a new and a dropped file;
#  3. builds the release tree with `orvrelease build` and serves it on loopback with
#     `orvrelease serve`;
#  4. runs the installed orvupdate.exe against it (the window when a display is available,
#     otherwise the text front end; ORVUPDATE_UI=text or gui forces one);
#  5. shows what changed and stops the server. Nothing is left running.
# Everything happens under one temporary folder (kept with KEEP_DEMO=1).
#   bash scripts/demo.sh [--windows]   --windows: the Windows build of orvupdate.exe, run under
#                                      Wine (its window with a display, else the text front end)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
repo=$(pwd)
windows=0
if [ "${1:-}" = --windows ]; then
    windows=1
fi

bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target orvupdate orvrelease
orvrelease="$repo/build/tools/orvrelease"
updater="$repo/build/orvupdate.exe"
if [ "$windows" = 1 ]; then
    updater=$(bash scripts/build-windows.sh | tail -1)
fi

demo=$(mktemp -d "${TMPDIR:-/tmp}/orvupdate-demo.XXXXXX")
server_pid=""
cleanup() { end_work "$server_pid" "$demo" "${KEEP_DEMO:-0}"; }
trap cleanup EXIT

# Deterministic sample content of a given size.
blob() { head -c "$2" /dev/zero | openssl enc -aes-128-ctr -nosalt -pass "pass:$1" 2>/dev/null; }

browser_stand_in() {
    cat > "$1" <<'SH'
#!/bin/sh
# Stand-in for the Orvel browser: records that it was started.
echo "Orvel browser started: $0" >> "$(dirname "$0")/browser-started.log"
SH
    chmod +x "$1"
}

echo "== making version 1.0 (installed) and 2.0 (release) in $demo"
v1="$demo/v1.0"; v2="$demo/v2.0"
mkdir -p "$v1/bin" "$v1/resources/locales" "$v1/文档"
browser_stand_in "$v1/orvel.exe"
blob core1 1500000 > "$v1/bin/core.dll"
blob pak1 800000 > "$v1/resources/locales/zh-CN.pak"
echo "Orvel 浏览器 1.0 用户指南" > "$v1/文档/用户指南.txt"
echo "obsolete in 2.0" > "$v1/resources/old-skin.dat"

cp -a "$v1" "$v2"
rm "$v2/resources/old-skin.dat"
blob core2 2500000 > "$v2/bin/core.dll"
echo "Orvel 浏览器 2.0 用户指南：新增同步功能" > "$v2/文档/用户指南.txt"
mkdir -p "$v2/plugins/pdf viewer"
blob pdf2 1200000 > "$v2/plugins/pdf viewer/pdf-render.dll"

# Pick a loopback port for the release server; the tree's addresses name it.
port=$(free_loopback_port)
base="http://127.0.0.1:$port/"

echo "== building the update trees with orvrelease"
"$orvrelease" build --from "$v1" --out "$demo/tree-1.0" --version 1.0 --id orvel-1.0 \
    --base-url "$base" --homepage "http://www.orvel.example/" --notice "首个版本"
"$orvrelease" build --from "$v2" --out "$demo/tree-2.0" --version 2.0 --id orvel-2.0 \
    --base-url "$base" --homepage "http://www.orvel.example/" \
    --notice "新增PDF阅读插件" --notice "更新内核，提升速度" --notice "修复已知问题"

echo "== installing version 1.0"
install="$demo/installed/Orvel"
mkdir -p "$install"
cp -a "$v1/." "$install/"
# An installation carries the manifests of its own release tree.
cp "$demo/tree-1.0/files/filelist.update" "$demo/tree-1.0/files/fldz.update" "$install/"
cp "$updater" "$install/orvupdate.exe"
mkdir -p "$demo/installed-before"
cp -a "$install" "$demo/installed-before/"

echo "== serving release 2.0 at $base"
"$orvrelease" serve "$demo/tree-2.0" --port "$port" > "$demo/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 50); do
    grep -q "^serving" "$demo/server.log" 2>/dev/null && break
    sleep 0.1
done
head -1 "$demo/server.log"

echo "== running $install/orvupdate.exe"
mkdir -p "$demo/tmp"
status=0
if [ "$windows" = 1 ]; then
    # A Wine prefix of the demo's own; its work folders are in the prefix's temporary folder.
    mkdir -p "$demo/wine"
    WINEPREFIX="$demo/wine" bash scripts/wine-prefix.sh
    ui=text
    if [ -n "${DISPLAY:-}" ]; then
        ui=${ORVUPDATE_UI:-gui}
    fi
    WINEPREFIX="$demo/wine" WINEDEBUG=-all ORVUPDATE_UI="$ui" \
        ORVUPDATE_SERVICE_HOST="127.0.0.1:$port" wine "$install/orvupdate.exe" || status=$?
    WINEPREFIX="$demo/wine" wineserver -k 2>/dev/null || true
else
    TMPDIR="$demo/tmp" ORVUPDATE_SERVICE_HOST="127.0.0.1:$port" "$install/orvupdate.exe" ||
        status=$?
fi
echo "orvupdate.exe ended with status $status"

echo "== what changed in the installation folder"
(cd "$demo" && diff -rq -x browser-started.log installed-before/Orvel installed/Orvel) |
    sed -e "s|$demo/||g" || true
if diff -rq -x filelist.update -x fldz.update -x orvupdate.exe -x browser-started.log \
    "$v2" "$install" >/dev/null; then
    echo "the installation now equals release 2.0, byte for byte"
fi
echo "installed version: $(grep -o '"version":"[^"]*"' "$install/fldz.update")"
for _ in $(seq 1 20); do
    [ -f "$install/browser-started.log" ] && break
    sleep 0.1
done
if [ -f "$install/browser-started.log" ]; then
    cat "$install/browser-started.log"
else
    echo "the browser was not started"
fi
echo "requests served: $(grep -c ' 20[06] ' "$demo/server.log" || true)"
exit "$status"
