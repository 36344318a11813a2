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
