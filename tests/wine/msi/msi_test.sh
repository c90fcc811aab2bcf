#!/usr/bin/env bash
# The Windows Installer package as a user gets it.
# Usage: msi_test.sh STEP SOURCE BUILD WORK VERSION MSI REBUILT_MSI NEWER NEWER_MSI SHORTCUT_RUN
#   tables     its tables (msiinfo) and files (msiextract)
#   lifecycle  in a fresh Wine prefix of its own (WORK/wine): install, start from the Start menu
#              and close, the same version built again, an upgrade to NEWER, a refused
#              downgrade, the uninstall
set -euo pipefail
step=$1 source=$2 build=$3 work=$4 version=$5 msi=$6 rebuilt_msi=$7 newer=$8 newer_msi=$9
shortcut_run=${10}

# Published with the first package and never changed: a package with another one would be a
# product of its own, installed beside the older instead of replacing it.
upgrade_code='{5A3FECBC-587C-4BBF-B460-2011A7DFEAAA}'
files=$(printf '%s\n' LICENSE.txt README.txt installed.txt karvex-run.exe karvex.exe)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case $step in
tables)
    # Columns (cut's list) of a table's rows, joined by '|', sorted; and a check of them.
    cols() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4 | cut -f "$2" | tr '\t' '|' | LC_ALL=C sort; }
    expect() { [ "$(cols "$1" "$2")" = "$(printf '%s\n' "${@:3}" | LC_ALL=C sort)" ] || fail "$1: $(cols "$1" "$2")"; }

    # Per-user: no ALLUSERS (1 would install for every user and need an administrator), and the
    # word count says compressed (2) and no elevation (8). The version without its fourth field.
    expect Property 1,2 "$(cols Property 1,2 | grep -Ev '^(ALLUSERS|MSIINSTALLPERUSER|ProductVersion|UpgradeCode)\|')" \
        "ProductVersion|$version" "UpgradeCode|$upgrade_code"
    msiinfo suminfo "$msi" | grep -qx 'Source: 10 (a)' || fail "word count: $(msiinfo suminfo "$msi")"
    # Older versions are removed first, a newer one refuses this package; the same version is
    # neither (its product code is the same: one product).
    expect Upgrade 1,2,3,5,7 "$upgrade_code||$version|1|WIX_UPGRADE_DETECTED" \
        "$upgrade_code|$version||2|WIX_DOWNGRADE_DETECTED"
    expect LaunchCondition 1 "NOT WIX_DOWNGRADE_DETECTED"
    # %LOCALAPPDATA%\Programs\Karvex, each folder removed at uninstall (when empty); every key
    # path a value under HKCU (root 1), as components in a profile need.
    expect Directory 1,2,3 "INSTALLDIR|UserPrograms|Karvex" "LocalAppDataFolder|TARGETDIR|." \
        "ProgramMenuFolder|TARGETDIR|." "TARGETDIR||SourceDir" "UserPrograms|LocalAppDataFolder|Programs"
    expect RemoveFile 3,4,5 "|INSTALLDIR|2" "|UserPrograms|2"
    [ "$(cols Registry 2 | uniq)" = 1 ] || fail "Registry roots: $(cols Registry 2)"
    [ -z "$(comm -23 <(cols Component 6) <(cols Registry 1))" ] || fail "key paths: $(cols Component 1,6)"
    # The Start-menu entry with the program's icon, also the installed-apps list's.
    expect Shortcut 2,3,5,9,12 "ProgramMenuFolder|Karvex|[INSTALLDIR]karvex.exe|karvex.ico|INSTALLDIR"
    [ "$(cols Property 1,2 | grep ^ARPPRODUCTICON)" = "ARPPRODUCTICON|karvex.ico" ] || fail "ARPPRODUCTICON"
    msiinfo extract "$msi" Icon.karvex.ico | cmp - "$build/win32/karvex.ico"

    # The files are this build's; karvex.exe's version resource is the package's version.
    rm -rf "$work/extract"
    mkdir -p "$work/extract"
    msiextract -C "$work/extract" "$msi" >/dev/null
    dir=$work/extract/Programs/Karvex
    [ "$(ls -A "$dir" | LC_ALL=C sort)" = "$files" ] || fail "files: $(ls -A "$dir")"
    for pair in karvex.exe:win32/karvex.exe karvex-run.exe:cli/karvex-run.exe; do
        cmp "$dir/${pair%%:*}" "$build/${pair#*:}"
    done
    for pair in README.txt:README.md LICENSE.txt:packaging/copyright installed.txt:win32/installed.txt; do
        cmp "$dir/${pair%%:*}" "$source/${pair#*:}"
    done
    exe_version=$(strings -el "$dir/karvex.exe" | grep -x -A1 FileVersion | tail -n 1)
    [ "${exe_version%, *}" = "${version//./, }" ] || fail "karvex.exe $exe_version, package $version"
    echo "package: $(basename "$msi"), $(stat -c %s "$msi") bytes"
    ;;

lifecycle)
    rm -rf "$work"
    mkdir -p "$work"
    prefix=$work/wine
    "$source/scripts/wine-prefix.sh" "$prefix"
    . "$source/scripts/wine-env.sh" "$prefix"
    # The shortcut goes into the prefix's Start menu only, not into this machine's desktop menus.
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
    # One server for the whole test; should the test be killed, it ends a minute later.
    "$WINESERVER" -p60
    trap '"$WINESERVER" -k 2>/dev/null || true' EXIT

    user=$(ls "$prefix/drive_c/users" | grep -vx Public)
    programs=$prefix/drive_c/users/$user/AppData/Local/Programs/Karvex
    ini=$prefix/drive_c/users/$user/AppData/Local/Karvex/karvex.ini
    dos_programs="C:\\users\\$user\\AppData\\Local\\Programs\\Karvex"
    # Every file and folder in the profiles and in ProgramData (the all-users Start menu).
    tree() { (cd "$prefix/drive_c" && find users ProgramData -printf '%y %p\n' | LC_ALL=C sort); }
    # msiexec's exit status; Wine passes on its low byte (1603 gives 67, 1638 gives 102).
    msiexec() {
        local start status=0
        start=$(date +%s%N)
        "$WINE64" msiexec "$1" "Z:${2//\//\\}" /qn || status=$?
        echo "msiexec $1 $(basename "$2"): status $status, $((($(date +%s%N) - start) / 1000000)) ms" >&2
        echo "$status"
    }
    # The installed-apps list, one "name version" line per entry.
    products() {
        local code name key=HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall
        "$WINE64" uninstaller --list | tr -d '\r' | while IFS='|' read -r code _ _ name; do
            echo "$name $("$WINE64" reg query "$key\\$code" /v DisplayVersion </dev/null |
                tr -d '\r' | awk '$1 == "DisplayVersion" { print $3 }')"
        done
    }
    # After each step: one product of this version, exactly the package's files.
    installed() {
        [ "$(products)" = "Karvex $1" ] || fail "$2: installed apps: $(products)"
        [ "$(ls -A "$programs" | LC_ALL=C sort)" = "$files" ] || fail "$2: files: $(ls -A "$programs")"
    }
    # Starts Karvex from its Start-menu entry and closes it with the close box.
    start_and_close() {
        local out
        out=$("$WINE64" "$shortcut_run" "C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Karvex.lnk" |
            tr -d '\r') || fail "start from the Start menu: $out"
        [ "$out" = "$dos_programs\\karvex.exe"$'\n'"$dos_programs\\"$'\n'Karvex ] || fail "start: $out"
    }
    settings() { od -An -tx1 "$ini" | tr -d ' \n'; }

    tree >"$work/before"
    [ "$(msiexec /i "$msi")" = 0 ] || fail "install"
    installed "$version" "install"
    # The installed copy saves into %LOCALAPPDATA%\Karvex although its own folder is writable.
    start_and_close
    [ "$(settings)" = 300d0a310d0a0d0a0d0a0d0a0d0a ] || fail "first save (the defaults): $(settings)"
    installed "$version" "first start"

    # The same version built again is the same product: repaired, or refused (1638).
    status=$(msiexec /i "$rebuilt_msi")
    [ "$status" = 0 ] || [ "$status" = 102 ] || fail "same version again: $status"
    installed "$version" "same version again"

    # The upgrade replaces the program and keeps the settings, which the new one reads.
    saved=310d0a370d0a6c61622e61706e0d0a6f70657261746f720d0a7365637265740d0a303331323334353637380d0a
    printf '1\r\n7\r\nlab.apn\r\noperator\r\nsecret\r\n0312345678\r\n' >"$ini"
    [ "$(msiexec /i "$newer_msi")" = 0 ] || fail "upgrade"
    installed "$newer" "upgrade"
    start_and_close
    [ "$(settings)" = "$saved" ] || fail "settings not kept and read back: $(settings)"

    [ "$(msiexec /i "$msi")" = 67 ] || fail "downgrade not refused"
    installed "$newer" "downgrade"

    # Uninstall: what it put in place goes, the settings stay. Windows Installer keeps its own
    # folder for the products' icons (empty now), as on Windows.
    [ "$(msiexec /x "$newer_msi")" = 0 ] || fail "uninstall"
    [ -z "$(products)" ] || fail "still installed: $(products)"
    installer="users/$user/AppData/Roaming/Microsoft/Installer"
    rmdir "$prefix/drive_c/$installer" || fail "left in $installer: $(ls -A "$prefix/drive_c/$installer")"
    diff <(tree) <(printf '%s\n' "d users/$user/AppData/Local/Karvex" "f ${ini#"$prefix/drive_c/"}" |
        cat "$work/before" - | LC_ALL=C sort) || fail "the uninstall left or removed the files above"
    [ "$(settings)" = "$saved" ] || fail "the uninstall changed the settings"
    ! "$WINE64" reg query 'HKCU\Software\Karvex' >/dev/null 2>&1 || fail "HKCU\\Software\\Karvex left"

    "$WINESERVER" -k
    trap - EXIT
    rm -rf "$prefix"
    ;;
esac
