#!/usr/bin/env bash
# The Debian package, end to end, as a user gets it:
#   - built with dpkg-buildpackage from a clean copy of this tree (the files git tracks or
#     would track, uncommitted edits included, no build folders),
#   - checked by lintian, failing on any error or warning,
#   - installed with apt-get, and the installed programs checked from /usr/bin: the
#     version, the example assembled into a valid image, the installed data accepted by
#     its checkers, and the window opened from its desktop entry on a private display
#     (tests/gui/private-desktop) and closed through the window manager,
#   - purged, checking that none of its files are left.
# Needs root: it installs the tools it lacks, and installs and purges tarnwick-addon (a
# tarnwick-addon installed before is gone afterwards). Everything else it makes lives in
# a temporary folder that it removes, and the package is purged on every way out.
#   bash .ci/package.sh
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
package=tarnwick-addon
title='Handy tarnwick arm add-on'
timeout_s=60

started=$SECONDS
step() { echo "== package: $* ($((SECONDS - started)) s)"; }
fail() {
    echo "package: FAILED: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "needs root: it installs and purges the package $package"

apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=600 "$@"
}

# The tools for building and checking the package; what the build itself needs comes
# from debian/control below.
tools=(dpkg-dev debhelper lintian appstream desktop-file-utils man-db python3 xvfb xdotool
    openbox wmctrl)
missing=()
for tool in "${tools[@]}"; do
    dpkg-query -W -f='${Status}' "$tool" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    step "installing ${missing[*]}"
    apt_get update
    apt_get install --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
# apt reads the package as its own unprivileged user.
chmod 755 "$work"
src=$work/$package
installed_here=false

cleanup() {
    if $installed_here && present; then
        apt_get purge $package >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Whether dpkg still knows anything of the package: installed, or its configuration left.
present() {
    local state
    state=$(dpkg-query -W -f='${db:Status-Abbrev}' $package 2>/dev/null) || return 1
    [ -n "$state" ] && [[ $state != un* ]]
}

# Polls a command until it succeeds, for at most timeout_s seconds.
wait_for() {
    local deadline=$((SECONDS + timeout_s))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}

step "copying the tree"
mkdir "$src"
git -C "$repo" ls-files -z --cached --others --exclude-standard \
    | while IFS= read -r -d '' file; do
        # A file deleted but not yet committed is no part of the tree.
        if [ -e "$repo/$file" ]; then printf '%s\0' "$file"; fi
    done \
    | tar -C "$repo" --null -T - -cf - | tar -C "$src" -xf -

version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
deb=$work/${package}_${version}_${arch}.deb
changes=$work/${package}_${version}_${arch}.changes

if ! (cd "$src" && dpkg-checkbuilddeps 2>/dev/null); then
    step "installing the build dependencies from debian/control"
    apt_get update
    apt_get build-dep "$src"
fi

step "building $package $version with dpkg-buildpackage"
if ! (cd "$src" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -us -uc -b) \
    >"$work/build.log" 2>&1; then
    tail -n 80 "$work/build.log" >&2
    fail "dpkg-buildpackage"
fi
[ -f "$deb" ] || fail "no $deb"

step "lintian"
# lintian leaves files of its own in the temporary folder; TMPDIR keeps them in ours.
TMPDIR=$work lintian --fail-on error,warning --display-info "$changes" || fail "lintian"

step "installing with apt-get"
installed_here=true
# Without the recommended packages, so that the purge below leaves the machine as it was.
apt_get install --no-install-recommends "$deb" >/dev/null
[ "$(dpkg-query -W -f='${Version}' $package)" = "$version" ] || fail "installed version"
dpkg -L $package >"$work/files"

step "checking the installed programs"
[ "$(/usr/bin/tarnwick --version)" = "tarnwick $version" ] \
    || fail "tarnwick --version says \"$(/usr/bin/tarnwick --version)\", not \"tarnwick $version\""
/usr/bin/tarnwick --help >/dev/null || fail "tarnwick --help"

# The example, as a user would assemble it: a short PATH, only the installed programs.
# No notification: this is a check, not a person waiting for the result.
image=$work/demo.gba
env -i PATH=/usr/bin:/bin TARNWICK_NOTIFY=never /usr/bin/tarnwick "$src/examples/demo.asm" "$image" \
    || fail "/usr/bin/tarnwick could not assemble examples/demo.asm"
size=$(stat -c %s "$image")
[ "$size" -gt 192 ] || fail "the image has $size bytes, no room for more than its header"
byte() { od -A n -t u1 -j "$1" -N 1 "$image" | tr -d ' '; }
[ "$(byte 3)" -eq $((0xEA)) ] || fail "the image does not start with an ARM branch"
[ "$(byte $((0xB2)))" -eq $((0x96)) ] || fail "the header's fixed byte is not 0x96"
# The header's complement byte makes the bytes from 0xA0 to 0xBD add up to -0x19.
sum=$(od -A n -t u1 -j $((0xA0)) -N 30 "$image" | tr -s ' ' '\n' | awk '{ s += $1 } END { print s }')
[ $(((sum + 0x19) % 256)) -eq 0 ] || fail "the header's complement byte is wrong"

desktop_entry=$(grep '^/usr/share/applications/.*\.desktop$' "$work/files") \
    || fail "no desktop entry in the package"
metainfo=$(grep '^/usr/share/metainfo/.*\.metainfo\.xml$' "$work/files") \
    || fail "no AppStream data in the package"
desktop-file-validate "$desktop_entry" || fail "desktop-file-validate $desktop_entry"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
for page in tarnwick tarnwick-addon; do
    man -w "$page" | grep -q "^/usr/share/man/man1/$page.1.gz$" || fail "no manual page $page(1)"
done

# Run by private-desktop, which gives it DISPLAY, XDG_RUNTIME_DIR and a window manager, and
# ends whatever it leaves running.
check_window() {
    set -euo pipefail
    # As a desktop menu starts it: the entry's command, a short PATH, no Qt platform chosen.
    local command app window status
    command=$(sed -n 's/^Exec=//p' "$desktop_entry")
    mkdir "$work/home"
    # The entry's command has no field codes and no quoting: split on blanks as a launcher
    # does.
    # shellcheck disable=SC2086
    (cd "$work/home" && exec env -i PATH=/usr/bin:/bin HOME="$work/home" DISPLAY="$DISPLAY" \
        XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" $command) &
    app=$!
    # --all: xdotool's search otherwise takes a window that meets either condition.
    find_window() {
        window=$(xdotool search --all --onlyvisible --pid $app --name "^$title\$" 2>/dev/null \
            | head -n 1)
        [ -n "$window" ]
    }
    wait_for find_window || fail "no window titled \"$title\" appeared"
    [ "$(readlink /proc/$app/exe)" = /usr/bin/tarnwick-addon ] \
        || fail "the desktop entry started $(readlink /proc/$app/exe), not /usr/bin/tarnwick-addon"
    # Closed as a person closes it: through the window manager.
    wmctrl -i -c "$window"
    # Until it is waited for, an ended process stays as a zombie.
    closed() {
        local state
        state=$(ps -o stat= -p $app) || return 0
        [[ $state == Z* ]]
    }
    wait_for closed || fail "the window did not close"
    status=0
    wait $app || status=$?
    [ $status -eq 0 ] || fail "the window ended with status $status"
}

step "opening the installed window from its desktop entry on a private display"
export desktop_entry title work timeout_s
export -f check_window wait_for fail
"$src/tests/gui/private-desktop" --window-manager -- bash -c check_window \
    || fail "the window opened from its desktop entry"

step "purging"
apt_get purge $package >/dev/null
installed_here=false
! present || fail "dpkg still knows $package after the purge"
left=()
while IFS= read -r path; do
    [ "$path" = /. ] && continue
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        # A folder stays when another package has it or it holds other files.
        if [ -z "$(ls -A "$path")" ] && ! dpkg-query -S "$path" >/dev/null 2>&1; then
            left+=("$path")
        fi
    elif [ -e "$path" ] || [ -L "$path" ]; then
        left+=("$path")
    fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left after the purge: ${left[*]}"

step "all checks passed"
