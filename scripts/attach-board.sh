#!/usr/bin/env bash
# Links a serial device as COM<N> for Karvex and checks what commonly keeps a board from opening.
#
#   scripts/attach-board.sh [--dir FOLDER] DEVICE N       (in a checkout)
#   karvex-attach-board [--dir FOLDER] DEVICE N           (installed with the package)
#
# DEVICE may also be a board on another machine, rfc2217://host:port or tcp://host:port (served by
# ser2net): the link's text is then that address, which the program connects to for COM<N>.
#
# The link is FOLDER/com<N>. By default it goes where the program will look (the rule is the
# program's link/program_places.h; this script follows it): in a checkout into
# build/default/window/dosdevices, where the window and karvex-run of every build of the checkout
# look; installed, into the user's configuration folder ($XDG_CONFIG_HOME/karvex/dosdevices when
# that is an absolute path, else ~/.config/karvex/dosdevices with the home folder from HOME when
# that is absolute, else from the password database), which root is refused without --dir.
# A /dev/serial/by-id name for the device is preferred, so that the link survives re-plugging.
# Exit status: 0 linked and nothing in the way; 3 linked, but a check found a problem (printed);
# 1 nothing linked (no such device, not a serial device, a bad N, root without --dir);
# 2 wrong usage.
#
# Environment (for tests): KARVEX_LOCK_DIR (lock files, default /run/lock), KARVEX_BY_ID_DIR
# (default /dev/serial/by-id), KARVEX_MODEM_MANAGER (the manager's process name, ModemManager).
set -uo pipefail

me=attach-board
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ -f $root/CMakeLists.txt && -f $root/scripts/attach-board.sh ]]; then
    dir=$root/build/default/window/dosdevices
    private=0
else
    # An installed program looks in the user's folder; a relative XDG_CONFIG_HOME or HOME is
    # ignored, as the program ignores it.
    config=${XDG_CONFIG_HOME:-}
    if [[ $config != /* ]]; then
        home=${HOME:-}
        [[ $home == /* ]] || home=$(getent passwd "$(id -u)" | cut -d: -f6)
        config=$home/.config
    fi
    dir=$config/karvex/dosdevices
    [[ $config == /* ]] || dir=""  # no home folder known: only --dir can tell
    private=1  # created readable by its owner only, as the program creates that folder
fi
lock_dir=${KARVEX_LOCK_DIR:-/run/lock}
by_id_dir=${KARVEX_BY_ID_DIR:-/dev/serial/by-id}
manager_name=${KARVEX_MODEM_MANAGER:-ModemManager}
readonly max_com=99

usage() {
    echo "usage: $0 [--dir FOLDER] DEVICE N   (links DEVICE as COM<N>, N from 1 to $max_com)" >&2
    exit 2
}

while [[ $# -gt 0 ]]; do
    case $1 in
        --dir) [[ $# -ge 2 ]] || usage; dir=$2; private=0; shift 2 ;;
        --dir=*) dir=${1#--dir=}; private=0; shift ;;
        -h|--help) usage ;;
        --) shift; break ;;
        -*) usage ;;
        *) break ;;
    esac
done
[[ $# -eq 2 ]] || usage
device=$1
n=$2

fail() { echo "$me: $*" >&2; exit 1; }
[[ -n $dir ]] || fail "cannot tell the user's home folder; name the folder with --dir."
problems=0
problem() { echo "$me: $*" >&2; problems=1; }
# True when $1 is the PID of a live process, whoever it belongs to (kill -0 fails with EPERM on
# another user's, and /proc may hide it).
alive() {
    [[ $1 =~ ^[1-9][0-9]{0,9}$ ]] && (($1 <= 2147483647)) || return 1
    [[ -d /proc/$1 ]] || [[ $(LC_ALL=C kill -0 "$1" 2>&1) == *'not permitted'* ]]
}

if [[ $private == 1 && $EUID -eq 0 ]]; then
    fail "as root this would write into $dir, a home folder's configuration: what root creates there the user can no longer change, and under sudo it may be root's home, not the user's. Run it as the user who runs Karvex, or name the folder with --dir."
fi

# Places the link COM<N> -> $1 and ends with the exit status the checks before have earned.
link_com() {
    if [[ $private == 1 ]]; then
        (umask 077 && mkdir -p -- "$dir") || fail "cannot create $dir."
    else
        mkdir -p -- "$dir" || fail "cannot create $dir."
    fi
    ln -sfn -- "$1" "$dir/com$n" || fail "cannot write the link $dir/com$n."
    echo "$me: COM$n is $1 ($dir/com$n)"
    exit $((problems ? 3 : 0))
}

[[ $n =~ ^[1-9][0-9]?$ ]] || fail "COM number '$n' is not one the program offers: give 1 to $max_com."
if [[ $device == *://* ]]; then
    # A board on another machine: nothing here to check, the program connects when it opens.
    [[ $device =~ ^(rfc2217|tcp)://([^][/@:[:space:]]+|\[[0-9A-Fa-f:.]+\]):([0-9]{1,5})$ ]] &&
        ((10#${BASH_REMATCH[3]} >= 1 && 10#${BASH_REMATCH[3]} <= 65535)) ||
        fail "$device is no network port: give rfc2217://host:port or tcp://host:port."
    link_com "$device"
fi
[[ -e $device ]] || fail "$device does not exist: is the board plugged in and powered? (ls /dev/serial/by-id /dev/ttyUSB* /dev/ttyACM* shows what is there)"
real=$(readlink -f -- "$device")
[[ -c $real ]] || fail "$device is no serial device (not a character device)."

# The stable name: a by-id link to the same device, when there is one.
target=$real
if [[ -d $by_id_dir ]]; then
    for link in "$by_id_dir"/*; do
        [[ -L $link && $(readlink -f -- "$link") == "$real" ]] && { target=$link; break; }
    done
fi

# Read and write access for the user who runs Karvex.
if [[ ! -r $real || ! -w $real ]]; then
    group=$(stat -c %G -- "$real")
    problem "$(id -un) may not read and write $real (owner $(stat -c %U -- "$real"), group $group, mode $(stat -c %a -- "$real")): add the user to the '$group' group (sudo usermod -aG $group $(id -un)) and log in again."
fi

# Another program holding the device: open descriptors, then the UUCP lock file.
holders=()
while IFS= read -r fd; do
    pid=${fd#/proc/}; pid=${pid%%/*}
    [[ $pid == "$$" ]] && continue
    holders+=("$(cat "/proc/$pid/comm" 2>/dev/null || echo '?') (PID $pid)")
done < <(find /proc/[0-9]*/fd -maxdepth 1 -lname "$real" 2>/dev/null)
if [[ ${#holders[@]} -gt 0 ]]; then
    mapfile -t holders < <(printf '%s\n' "${holders[@]}" | sort -u)
    list=$(printf '%s, ' "${holders[@]}")
    problem "$real is open in another program: ${list%, }. Karvex cannot open it until that program lets go."
fi
lock_name=${real#/dev/}
lock=$lock_dir/LCK..${lock_name//\//_}
if [[ -e $lock && ! -r $lock ]]; then
    problem "$real is locked through $lock, which $(id -un) cannot read (owner $(stat -c %U -- "$lock")): Karvex keeps away from a port whose lock it cannot read."
elif [[ -e $lock ]]; then
    owner=$(tr -d ' \n' <"$lock" 2>/dev/null)
    if alive "$owner"; then
        problem "$real is locked by $(cat "/proc/$owner/comm" 2>/dev/null || echo '?') (PID $owner) through $lock."
    fi
fi

# A modem manager probes every port that looks like a modem, and answers get lost to it.
manager=$(grep -lx -- "$manager_name" /proc/[0-9]*/comm 2>/dev/null | head -n1)
manager=${manager%/comm}; manager=${manager#/proc/}
if [[ -n $manager ]]; then
    vendor='' product=''
    sys=$(readlink -f "/sys/class/tty/$(basename -- "$real")/device" 2>/dev/null)
    while [[ -n $sys && $sys != / ]]; do
        if [[ -r $sys/idVendor && -r $sys/idProduct ]]; then
            vendor=$(cat "$sys/idVendor"); product=$(cat "$sys/idProduct"); break
        fi
        sys=$(dirname -- "$sys")
    done
    problem "$manager_name (PID $manager) is running and probes modem ports, which disturbs the board's replies. Make it leave this device alone with a udev rule in /etc/udev/rules.d/99-karvex-board.rules:"
    if [[ -n $vendor ]]; then
        echo "    ATTRS{idVendor}==\"$vendor\", ATTRS{idProduct}==\"$product\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"" >&2
    else
        echo "    ATTRS{idVendor}==\"VVVV\", ATTRS{idProduct}==\"PPPP\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"" >&2
        echo "  ($real shows no USB vendor and product ids; 'lsusb' lists them as VVVV:PPPP.)" >&2
    fi
    echo "  then: sudo udevadm control --reload && sudo udevadm trigger, and re-plug the board." >&2
fi

link_com "$target"
