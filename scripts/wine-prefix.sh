#!/usr/bin/env bash
# Makes the Wine prefix named by $WINEPREFIX ready for the Windows programs: created once, and
# with a Chinese font in Wine's fallback chain, so that the dialogs and message boxes draw Chinese
# text instead of boxes (Debian's fonts-wqy-microhei, linked behind the dialog fonts).
set -euo pipefail
: "${WINEPREFIX:?the Wine prefix to prepare}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wineboot -i >/dev/null 2>&1
link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
    wine reg add "$link" /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" \
        /f >/dev/null 2>&1
done

# Starting the prefix leaves a desktop process without a display behind for a few seconds; a
# window made while it lives joins that desktop and is never drawn. Wait until this prefix's one
# has ended (other prefixes' desktops are told apart by their environment).
desktop_lives() {
    local pid
    for pid in $(pgrep -f 'explorer.exe /desktop' || true); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            return 0
        fi
    done
    return 1
}
for _ in $(seq 300); do
    desktop_lives || exit 0
    sleep 0.1
done
echo "wine-prefix.sh: the prefix's desktop did not end" >&2
exit 1
