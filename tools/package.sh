#!/usr/bin/env bash
# Builds the Debian package the way Debian builds software (Release, dpkg-buildflags, warnings not errors)
# into build-release/, then validates it: desktop entries, AppStream metadata, manual pages, lintian, an
# install into a throwaway DESTDIR, and an install, removal and purge of the .deb in a throwaway dpkg root.
# Installs the Debian packages it needs (only those missing).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$src/build-release
id=org.kiplaunch.KipLaunchManager

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev file
  qt6-base-dev libsqlite3-dev libcurl4-openssl-dev libx11-dev libsmbclient-dev libdbus-1-dev
  desktop-file-utils appstream lintian man-db
)
bash tools/install_packages.sh "${packages[@]}"

failures=0
fail() {
  echo "package.sh: FAILED: $*" >&2
  failures=$((failures + 1))
}
step() { echo "== $*"; }

step "Release build with dpkg-buildflags in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  eval "$(dpkg-buildflags --export=sh)"
  # CMake reads no CPPFLAGS: the preprocessor flags (_FORTIFY_SOURCE) go with the compiler flags.
  export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DKIP_BUILD_TESTS=OFF -DKIP_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -- -j"$(nproc)"

step "cpack -G DEB"
rm -f "$build"/kiplaunch_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/kiplaunch_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
dpkg-deb --field "$deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step "cmake --install into a throwaway DESTDIR with prefix /usr"
DESTDIR=$work/destdir cmake --install "$build" --prefix /usr >/dev/null
root=$work/destdir
expected=(
  usr/bin/kiplaunch usr/bin/kipctl
  "usr/share/applications/$id.desktop" "etc/xdg/autostart/$id-autostart.desktop"
  "usr/share/metainfo/$id.metainfo.xml" "usr/share/icons/hicolor/scalable/apps/$id.svg"
  usr/share/man/man1/kiplaunch.1.gz usr/share/man/man1/kipctl.1.gz usr/share/doc/kiplaunch/copyright
)
for size in 16 22 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png"); done
for f in "${expected[@]}"; do [ -f "$root/$f" ] || fail "missing from the install: /$f"; done
# The window module, in the library folder (multiarch on Debian).
[ -n "$(find "$root/usr/lib" -path '*/kiplaunch/kiplaunch_window.so' 2>/dev/null)" ] ||
  fail "missing from the install: the window module kiplaunch/kiplaunch_window.so"
[ "$(stat -c %a "$root/var/lib/kiplaunch" 2>/dev/null)" = 755 ] || fail "/var/lib/kiplaunch is missing or not mode 0755"
[ -e "$root/usr/etc" ] && fail "files installed under /usr/etc"
diff <(cd "$root" && find . ! -type d | sort) <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort) ||
  fail "the package and the install hold different files"

step "desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/$id.desktop" "$root/etc/xdg/autostart/$id-autostart.desktop" ||
  fail "desktop-file-validate"
grep -qx 'Exec=kipctl logon' "$root/etc/xdg/autostart/$id-autostart.desktop" || fail "the logon entry does not run kipctl logon"

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"

step "man --warnings"
for page in kiplaunch kipctl; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings $page.1: $warnings"
done

step "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || fail "lintian reports errors"
grep -v '^running with root privileges' "$work/lintian.txt" || true

step "dpkg install, remove and purge in a throwaway root"
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing into a dpkg root needs root"
else
  dpkgroot=$work/dpkgroot
  mkdir -p "$dpkgroot/var/lib/dpkg/info" "$dpkgroot/var/lib/dpkg/updates"
  touch "$dpkgroot/var/lib/dpkg/status"
  dpkgr() { dpkg --root="$dpkgroot" --force-depends --force-script-chrootless --force-not-root "$@" >/dev/null 2>&1; }
  dpkgr -i "$deb" || fail "dpkg -i"
  [ "$(stat -c '%U %a' "$dpkgroot/var/lib/kiplaunch")" = "root 755" ] || fail "/var/lib/kiplaunch is not root-owned 0755"
  # Without a display it must end with 1 and its own message, not the loader's: that shows it starts.
  if out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$dpkgroot/usr/bin/kiplaunch" 2>&1); then
    fail "kiplaunch ran without a display"
  fi
  [[ $out == *"no display found"* ]] || fail "kiplaunch does not start: $out"
  KIPLAUNCH_USER_HIVE=$work/user.db KIPLAUNCH_MACHINE_HIVE=$dpkgroot/var/lib/kiplaunch/machine.db \
    "$dpkgroot/usr/bin/kipctl" reg add 'HKLM\Software\Marl Fen\Kip Launch Manager\Start List\Clock' /v Module /d /usr/bin/xclock >/dev/null ||
    fail "kipctl cannot write the machine hive"
  KIPLAUNCH_USER_HIVE=$work/user.db "$dpkgroot/usr/bin/kipctl" logon || fail "kipctl logon with the autostart run off"
  dpkgr -r kiplaunch || fail "dpkg -r"
  [ -f "$dpkgroot/var/lib/kiplaunch/machine.db" ] || fail "dpkg -r removed the machine hive"
  [ -e "$dpkgroot/usr/bin/kipctl" ] && fail "dpkg -r left the programs"
  dpkgr -P kiplaunch || fail "dpkg -P"
  [ -e "$dpkgroot/var/lib/kiplaunch" ] && fail "dpkg -P left the machine hive"
fi

if [ "$failures" -gt 0 ]; then
  echo "package.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "package.sh: $deb built and validated"
