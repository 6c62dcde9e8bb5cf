#!/usr/bin/env bash
# Builds the Debian package into build/package/ and checks it: its contents and dependencies, the
# desktop entry and the metainfo, and the installed programs run from an unpacked copy (the
# catalogues found beside them through the links in bin/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build/package/build
cmake --preset release -B "$build" -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f build/package/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls build/package/tarvel_*.deb)
echo "package: $deb"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

contents=$(dpkg-deb -c "$deb")
for path in usr/lib/tarvel/tarvel usr/lib/tarvel/tarvel-flash usr/lib/tarvel/tarvel-devsim \
  usr/bin/tarvel usr/bin/tarvel-flash usr/lib/tarvel/locale/it/LC_MESSAGES/default.mo \
  usr/lib/tarvel/locale/fr/LC_MESSAGES/default.mo \
  usr/share/applications/org.tarvel.Tarvel.desktop \
  usr/share/icons/hicolor/scalable/apps/org.tarvel.Tarvel.svg \
  usr/share/metainfo/org.tarvel.Tarvel.metainfo.xml usr/share/man/man1/tarvel-flash.1 \
  usr/lib/udev/rules.d/60-tarvel-serial.rules; do
  grep -q " \./$path\( ->.*\)\?$" <<<"$contents" || fail "the package lacks $path"
done
grep -q 'share/locale/' <<<"$contents" && fail "a catalogue went into the shared locale tree"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libc6 qt6-qpa-plugins; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
dpkg-deb -f "$deb" Recommends | grep -q fonts-freefont-ttf || fail "Recommends lacks the glyph font"
dpkg-deb -f "$deb" Description | grep -q dialout || fail "the description does not name dialout"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.tarvel.Tarvel.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.tarvel.Tarvel.metainfo.xml" ||
  fail "metainfo"

# The udev rule: udev's own check where this udev has one, and in any case each rule read as udev
# reads it: a tty whose kernel name is ttyUSB or ttyACM gets the uaccess tag, nothing else.
rules="$root/usr/lib/udev/rules.d/60-tarvel-serial.rules"
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules" || fail "udevadm verify: $rules"
fi
for kernel in ttyUSB ttyACM; do
  grep -Eq '^SUBSYSTEM=="tty", KERNEL=="'"$kernel"'\[0-9\]\*", TAG\+="uaccess"$' "$rules" ||
    fail "the udev rule does not tag $kernel for uaccess"
done
others=$(grep -Ev '^(#.*)?$' "$rules" | grep -Ev '^SUBSYSTEM=="tty", KERNEL=="tty(USB|ACM)\[0-9\]\*", TAG\+="uaccess"$' || true)
[[ -z "$others" ]] || fail "the udev rule holds more than the two tags: $others"

"$root/usr/bin/tarvel-flash" --version | grep -q '^tarvel-flash ' || fail "tarvel-flash --version"
"$root/usr/bin/tarvel" --version | grep -q '^Tarvel ' || fail "tarvel --version"
# The installed catalogues, found beside the programs through the links in bin/.
printf 'S0030000FC\r\n' >"$root/image.s19"
said=$(LANG=it_IT.UTF-8 "$root/usr/bin/tarvel-flash" --port "$root/absent" "$root/image.s19" 2>&1 || true)
grep -q "Lì non è collegato nulla" <<<"$said" || fail "not in Italian when installed: $said"
# The installed window starts headless in Italian and keeps running (a catalogue it cannot use
# would be reported on standard error).
status=0
LANG=it_IT.UTF-8 QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/tarvel" \
  --com2 "$root/absent" >"$root/window.out" 2>&1 || status=$?
[[ $status -eq 124 ]] || fail "the installed window ended with $status: $(cat "$root/window.out")"
grep -qi 'catalogue\|cannot' "$root/window.out" && fail "window: $(cat "$root/window.out")"
# On a real X server, a toolkit text of the installed window comes from the installed catalogues.
bash tests/x11/run-under-x.sh bash scripts/check-installed-window.sh "$root" ||
  fail "the installed window does not show Italian texts"

[[ $failures -eq 0 ]] && echo "package checked: contents, Depends, desktop entry, metainfo, udev rule, programs"
exit $((failures > 0))
