#!/bin/bash
# Checks a Release build (tools/test.sh release builds it and its archive):
#   - the program needs no shared object: no NEEDED entry, static-pie;
#   - it starts in a chroot holding nothing but itself, LICENSE and the
#     terminfo entry of the terminal: --version, --help, the welcome screen
#     in tmux; then in German, with the catalogue and the locale copied in;
#   - it loads no shared object of the host, even with German text on the
#     screen, on the simulated host where every library is at hand;
#   - cmake --install lays out exactly the installer's files, and the
#     archive holds the same files, owned by root and writable by root alone;
#   - a bundle assembled as the archive's README says installs.
# Usage: tools/release_test.sh [BUILD_DIR]   (default build-release); as root.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$(readlink -f "${1:-build-release}")
program=$build/bundle/installer/install
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "release_test: no project version in $build/CMakeCache.txt" >&2; exit 2; }
archive=$build/kelvarin-installer-$version-x86_64.tar.gz
# The runs below start from an empty environment, without PATH.
chroot=$(command -v chroot)

work=$(mktemp -d /tmp/kel-release.XXXXXX)
chmod 755 "$work"
sock=kel-release-$$
cleanup() {
    tmux -L "$sock" kill-server 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
ok() { echo "ok: $*"; }
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
expect_eq() { # what, want, got
    if [ "$2" == "$3" ]; then ok "$1"; else fail "$1"$'\n'"  want: ${2//$'\n'/$'\n'        }"$'\n'"  got:  ${3//$'\n'/$'\n'        }"; fi
}

# ---- tmux: one private server, one session at a time --------------------------

printf 'set -g remain-on-exit on\nset -g status off\nset -g default-terminal screen\n' >"$work/tmux.conf"
start_session() { # command line
    tmux -L "$sock" kill-server 2>/dev/null || true
    TERM=xterm tmux -L "$sock" -f "$work/tmux.conf" new-session -d -s t -x 80 -y 24 "$1"
}
screen() { tmux -L "$sock" capture-pane -p -t t; }
wait_screen() { # text; false (the screen printed) after 20 s
    local i
    for i in $(seq 200); do
        screen | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    screen >&2
    return 1
}

# ---- the program needs nothing --------------------------------------------------

needed=$(readelf -d "$program" | grep -c '(NEEDED)' || true)
expect_eq "no NEEDED entries" 0 "$needed"
case $(file -b "$program") in
    *static-pie\ linked*) ok "static-pie: $(stat -c %s "$program") bytes" ;;
    *) fail "not static-pie: $(file -b "$program")" ;;
esac

# ---- a chroot with the program, LICENSE and terminfo alone ------------------------

root=$work/root
mkdir -p "$root/installer" "$root/usr/share/terminfo/s"
cp "$program" "$root/installer/install"
cp demo/bundle/LICENSE "$root/LICENSE"
terminfo=
for d in /etc/terminfo /lib/terminfo /usr/share/terminfo; do
    [ -f "$d/s/screen" ] && terminfo=$d/s/screen
done
[ -n "$terminfo" ] || { echo "release_test: no terminfo entry for screen" >&2; exit 2; }
cp "$terminfo" "$root/usr/share/terminfo/s/screen"
echo "chroot holds:"
(cd "$root" && find . -type f | sort | sed 's/^/  /')

run_in_root() { # expected status, expected standard error, environment and arguments...
    local want_status=$1 want_err=$2 out err status=0
    shift 2
    out=$(env -i "$@" 2>"$work/err") || status=$?
    err=$(cat "$work/err")
    expect_eq "chroot: $* (status)" "$want_status" "$status"
    expect_eq "chroot: $* (standard error)" "$want_err" "$err"
    expect_eq "chroot: $* (standard output)" "" "$out"
}

usage_en="Kelvarin installer $version
Usage: install [OPTION]
       -i,--install                automatic (unattended) installation or upgrade 
       -r,--remove                 automatic (unattended) removal 
       -f,--force                  forced removing mode: skip errors and try to do as much as possible 
       -h,--help                   display this help text
       -v,--version                report version"
run_in_root 0 "Kelvarin installation $version" "$chroot" "$root" /installer/install --version
run_in_root 0 "$usage_en" "$chroot" "$root" /installer/install --help

start_session "env -i TERM=screen $chroot $root /installer/install"
if wait_screen "Welcome to Kelvarin Installer!" && wait_screen "<Tab> to switch between elements"; then
    ok "chroot: welcome screen in tmux"
    screen | sed 's/^/  | /'
else
    fail "chroot: no welcome screen"
fi
tmux -L "$sock" kill-server 2>/dev/null || true

# ---- the same in German ------------------------------------------------------------

mkdir -p "$root/resources/de/LC_MESSAGES" "$root/usr/lib/locale"
cp "$build/bundle/resources/de/LC_MESSAGES/install.mo" "$root/resources/de/LC_MESSAGES/"
cp /usr/lib/locale/locale-archive "$root/usr/lib/locale/"
german=(LANG=de_DE.UTF-8)
usage_de="Kelvarin-Installationsprogramm $version
Aufruf: install [OPTION]
       -i,--install                automatische (unbeaufsichtigte) Installation oder Aktualisierung 
       -r,--remove                 automatische (unbeaufsichtigte) Entfernung 
       -f,--force                  erzwungenes Entfernen: Fehler übergehen und so viel wie möglich erledigen 
       -h,--help                   diese Hilfe anzeigen
       -v,--version                Version anzeigen"
run_in_root 0 "Kelvarin-Installation $version" "${german[@]}" "$chroot" "$root" /installer/install --version
run_in_root 0 "$usage_de" "${german[@]}" "$chroot" "$root" /installer/install --help

start_session "env -i TERM=screen ${german[*]} $chroot $root /installer/install"
if wait_screen "Willkommen beim Kelvarin-Installationsprogramm!" && wait_screen "<Leertaste> wählt aus"; then
    ok "chroot: German welcome screen in tmux"
    screen | sed 's/^/  | /'
else
    fail "chroot: no German welcome screen"
fi
tmux -L "$sock" kill-server 2>/dev/null || true

# ---- no shared object of the host is loaded ----------------------------------------------

# Root's own copy of the bundle, so that the installer runs it wherever the
# repository sits; the simulated host keeps the real one untouched.
cp -R "$build/bundle" "$work/bundle"
chmod -R go-w "$work/bundle"
copy=$work/bundle/installer/install
start_session "env LANG=de_DE.UTF-8 $repo/tools/simhost -- $copy"
pid=
if wait_screen "<Leertaste> wählt aus"; then
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/exe" 2>/dev/null)" = "$copy" ] && pid=${p#/proc/}
    done
fi
if [ -z "$pid" ]; then
    fail "host: the installer did not show its German welcome screen"
else
    loaded=$(awk '$6 ~ /\.so(\.[0-9]+)*$/ { print $6 }' "/proc/$pid/maps" | sort -u)
    expect_eq "host: shared objects mapped by the installer with German text on the screen" "" "$loaded"
fi
tmux -L "$sock" kill-server 2>/dev/null || true

# ---- install rules and the archive ---------------------------------------------------

expected="README
doc/kelvarin-install.8
installer/install"
for po in po/*.po; do
    lang=$(basename "$po" .po)
    expected+=$'\n'"resources/$lang/LC_MESSAGES/install.mo"
done
expected=$(sort <<<"$expected")

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
expect_eq "cmake --install: the files" "$expected" "$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)"
expect_eq "cmake --install: modes" \
    "$(sed 's/^installer\/install$/755 &/; t; s/^/644 /' <<<"$expected")" \
    "$(cd "$prefix" && find . ! -type d -printf '%m %P\n' | sort -k2)"
expect_eq "cmake --install: folders are 755" "" "$(find "$prefix" -type d ! -perm 755)"
cmp -s "$program" "$prefix/installer/install" && ok "cmake --install: the Release program" ||
    fail "cmake --install: installer/install is not the built program"

top=kelvarin-installer-$version-x86_64
if [ ! -f "$archive" ]; then
    fail "no archive $archive"
else
    ok "archive $(basename "$archive"): $(stat -c %s "$archive") bytes"
    tar -tvzf "$archive" | sed 's/^/  /'
    expect_eq "archive: the files" "$(sed "s|^|$top/|" <<<"$expected")" \
        "$(tar -tzf "$archive" | grep -v '/$' | sort)"
    expect_eq "archive: every entry root's and writable by root alone" "" \
        "$(tar -tvzf "$archive" | awk '$2 != "root/root" || substr($1, 6, 1) != "-" || substr($1, 9, 1) != "-"')"

    # As the README says, as root: the bundle's own files, then ours
    # unpacked straight into it, with the owners and modes the archive gives.
    bundle=$work/assembled/bundle
    mkdir -p "$bundle"
    cp -R demo/bundle/. "$bundle/"
    chown -R root:root "$bundle"
    chmod -R go-w "$bundle"
    tar -xzf "$archive" -C "$bundle" --strip-components=1
    status=0
    out=$(env KEL_CLI_DELAY=0 KEL_PM_DELAY=0 SUDO_UID= tools/simhost -- sh -c \
        "\"\$1\" --install >/dev/null && cat \"\$KEL_SIM_STATE/installer-cli.calls\"" sh "$bundle/installer/install" 2>&1) ||
        status=$?
    expect_eq "assembled bundle: unattended installation (status)" 0 "$status"
    case $out in
        *"-i Manifest"*) ok "assembled bundle: the installation tool ran: $out" ;;
        *) fail "assembled bundle: the installation tool did not run: $out" ;;
    esac
fi

if ((failures)); then
    echo "release_test: $failures failed" >&2
    exit 1
fi
echo "release_test: all passed"
