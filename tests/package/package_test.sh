#!/usr/bin/env bash
# The Debian package as a user gets it.
# Usage: package_test.sh STEP BUILD_DIR WORK_DIR [X11_CLOSE HAS_KARVEX_RUN SOURCE_DIR]
#   build     cpack -G DEB in BUILD_DIR, then the package unpacked into WORK_DIR/root (dpkg -x)
#   contents  the file list, the dependencies, the desktop entry, the metainfo, the manual pages,
#             lintian (no errors)
#   window    the installed karvex under Xvfb with HOME in WORK_DIR: it shows its window, saves
#             its settings under ~/.config/karvex at the close request, reads them at the next start
#   cgi       the installed time CGI served by lighttpd on a free loopback port
set -euo pipefail
step=$1
build=$(cd "$2" && pwd)
work=$3
root=$work/root
deb=$work/karvex_1.0.1_amd64.deb

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case $step in
build)
    rm -rf "$work"
    mkdir -p "$work"
    (cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
    [ -f "$deb" ] || fail "no $deb"
    dpkg -x "$deb" "$root"
    echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
    ;;

contents)
    expected=(
        usr/bin/karvex
        usr/bin/karvex-attach-board
        usr/bin/karvex-board
        usr/share/applications/internal.karvex.Karvex.desktop
        usr/share/doc/karvex/changelog.gz
        usr/share/doc/karvex/copyright
        usr/share/icons/hicolor/16x16/apps/karvex.png
        usr/share/icons/hicolor/32x32/apps/karvex.png
        usr/share/icons/hicolor/48x48/apps/karvex.png
        usr/share/icons/hicolor/128x128/apps/karvex.png
        usr/share/icons/hicolor/256x256/apps/karvex.png
        usr/share/icons/hicolor/scalable/apps/karvex.svg
        usr/share/karvex/cgi-bin/time
        usr/share/man/man1/karvex-attach-board.1.gz
        usr/share/man/man1/karvex-board.1.gz
        usr/share/man/man1/karvex.1.gz
        usr/share/man/man5/karvex-sequence.5.gz
        usr/share/metainfo/internal.karvex.Karvex.metainfo.xml
    )
    # The example sequence files, as the source tree has them.
    for example in "${6:-/nonexistent}"/examples/sequences/*.toml; do
        [ -f "$example" ] && expected+=(usr/share/doc/karvex/examples/sequences/$(basename "$example"))
    done
    # The command-line runner and its page come along when the build has them.
    [ "${5:-0}" = 1 ] && expected+=(usr/bin/karvex-run)
    [ -f "${6:-/nonexistent}/cli/karvex-run.1" ] && expected+=(usr/share/man/man1/karvex-run.1.gz)
    actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
    want=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
    [ "$actual" = "$want" ] || { diff <(echo "$want") <(echo "$actual") >&2 || true; fail "file list"; }
    for png in "$root"/usr/share/icons/hicolor/*x*/apps/karvex.png; do
        size=$(basename "$(dirname "$(dirname "$png")")")
        file "$png" | grep -q "PNG image data, ${size/x/ x }," || fail "$png is not $size"
    done
    [ -x "$root/usr/share/karvex/cgi-bin/time" ] || fail "the CGI is not executable"

    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for need in libc6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins fonts-ipafont-gothic; do
        [[ ", $depends" == *", $need"* ]] || fail "Depends lacks $need"
    done

    desktop-file-validate "$root/usr/share/applications/internal.karvex.Karvex.desktop"
    grep -qx 'Categories=Development;Electronics;' "$root/usr/share/applications/internal.karvex.Karvex.desktop" ||
        fail "desktop categories"
    for key in 'Name' 'Name\[ja\]' 'Comment' 'Comment\[ja\]'; do
        grep -q "^$key=." "$root/usr/share/applications/internal.karvex.Karvex.desktop" || fail "desktop $key"
    done
    appstreamcli validate --no-net "$root/usr/share/metainfo/internal.karvex.Karvex.metainfo.xml"

    for page in "$root"/usr/share/man/man*/*.gz; do
        out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        [ -z "$out" ] || fail "$page: $out"
    done

    lintian --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1 || true
    cat "$work/lintian.txt"
    ! grep -q '^E:' "$work/lintian.txt" || fail "lintian reports errors"
    ;;

window)
    close=${4:?the x11_close helper}
    home=$work/home
    rm -rf "$home"
    mkdir -p "$home"
    ini=$home/.config/karvex/karvex.ini
    # Starts the installed program on a fresh X server, waits for its window and closes it through
    # the close request; the program must then end by itself.
    run_once() {
        # shellcheck disable=SC2016
        HOME=$home QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME='' xvfb-run -a -s '-screen 0 1024x768x24' \
            bash -c '"$1" & pid=$!; "$2" "$pid" 30 || { kill "$pid"; exit 1; }; wait "$pid"' \
            run "$root/usr/bin/karvex" "$close"
    }
    title=$(run_once) || fail "the window did not show or did not end"
    [ "$title" = "Karvex" ] || fail "window title '$title'"
    [ -f "$ini" ] || fail "no settings at $ini"
    [ "$(stat -c %a "$ini")" = 600 ] || fail "settings mode $(stat -c %a "$ini")"
    [ "$(stat -c %a "$(dirname "$ini")")" = 700 ] || fail "folder mode"
    [ "$(od -An -tx1 "$ini" | tr -d ' \n')" = 300d0a310d0a0d0a0d0a0d0a0d0a ] || fail "first settings: $(od -c "$ini")"
    # Nothing beside the installed executable.
    extra=$(cd "$root/usr/bin" && ls -A | grep -v -x -e karvex -e karvex-board -e karvex-run -e karvex-attach-board || true)
    [ -z "$extra" ] || fail "written into bin: $extra"

    # The next start reads what is there and writes it back unchanged at its close.
    printf '1\r\n7\r\nlab.apn\r\noperator\r\nsecret\r\n0312345678\r\n' >"$ini"
    before=$(od -An -tx1 "$ini")
    run_once >/dev/null || fail "the second start"
    [ "$(od -An -tx1 "$ini")" = "$before" ] || fail "settings not read back: $(od -c "$ini")"
    echo "settings saved to and read back from $ini"
    ;;

cgi)
    cgi_root=$root/usr/share/karvex
    conf=$work/lighttpd.conf
    mkdir -p "$work/www"
    pid=
    trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
    # A port nobody listens on; should another program take it first, lighttpd fails to bind and
    # the next port is tried.
    for attempt in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 40000))
        curl -s -o /dev/null "http://127.0.0.1:$port/" && continue
        cat >"$conf" <<CONF
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$work/www"
server.errorlog = "$work/lighttpd-error.log"
server.pid-file = "$work/lighttpd.pid"
# The lines the README gives a lab's lighttpd:
server.modules += ("mod_alias", "mod_cgi")
alias.url += ("/cgi-bin/time" => "$cgi_root/cgi-bin/time")
\$HTTP["url"] == "/cgi-bin/time" { cgi.assign = ("" => "") }
CONF
        lighttpd -D -f "$conf" &
        pid=$!
        for _ in $(seq 100); do
            curl -s -o /dev/null "http://127.0.0.1:$port/" && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -0 "$pid" 2>/dev/null && break
        pid=
    done
    [ -n "$pid" ] || fail "lighttpd did not start: $(cat "$work/lighttpd-error.log" 2>/dev/null)"
    url=http://127.0.0.1:$port/cgi-bin/time

    body=$(curl -sS -D "$work/headers" "$url" | od -An -c | tr -s ' \n' ' ')
    head -1 "$work/headers" | grep -q '^HTTP/1.1 200 ' || fail "status: $(head -1 "$work/headers")"
    line=$(curl -sS "$url")
    now=$(date +%s)
    echo "served: $line"
    # One line of 28 characters and CR LF.
    [ "$(curl -sS "$url" | wc -l)" = 1 ] || fail "not one line: $body"
    [ "$(curl -sS "$url" | tail -c 2 | od -An -tx1 | tr -d ' ')" = 0d0a ] || fail "line end: $body"
    line=${line%$'\r'}
    [[ $line =~ ^(Mon|Tue|Wed|Thu|Fri|Sat|Sun)\ (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)\ [\ 1-3][0-9]\ [0-2][0-9]:[0-5][0-9]:[0-6][0-9]\ 20[0-9][0-9]\ JST$ ]] ||
        fail "layout: '$line'"
    # The fields where the clock command takes them: month 4-6, day 8-9, time 11-18, year 22-23.
    month=${line:4:3} day=${line:8:2} time=${line:11:8} year=${line:22:2}
    served=$(date -d "$month $day 20$year $time +0900" +%s) || fail "unreadable: '$line'"
    offset=$((served - now))
    echo "served time - now: ${offset} s"
    [ "${offset#-}" -le 60 ] || fail "the served time is ${offset} s off Japan's time now"

    # Only GET and HEAD are answered.
    [ -z "$(curl -sS -I "$url" -o /dev/null -w '%{size_download}' | tr -d 0)" ] || fail "HEAD has a body"
    [ "$(curl -sS -o /dev/null -w '%{http_code}' --data '' "$url")" = 405 ] || fail "POST is not refused"
    ;;

*)
    fail "unknown step $step"
    ;;
esac
