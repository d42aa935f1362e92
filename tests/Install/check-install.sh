#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses it the way a desktop does: the files (and nothing
# else), the installed program with its string tables, D-Bus activation through the installed service
# file, the desktop entry, and a torvel: link opened through the desktop's URL handler lookup.
# Usage: check-install.sh CMAKE BUILD_DIR SOURCE_DIR VERSION. Exits 77 (skipped) only when a tool is missing.
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: $0 CMAKE BUILD_DIR SOURCE_DIR VERSION" >&2; exit 2; }
cmake=$1 build=$2 source=$3 version=$4

for tool in desktop-file-validate update-desktop-database xdg-mime xdg-open dbus-daemon dbus-send file \
  /usr/bin/python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed (./scripts/setup installs it)"; exit 77; }
done

tmp=$(mktemp -d)
prefix=$tmp/prefix
bus_pid='' instance_pid=''
cleanup() {
  # Both were started by this script (the instance by its bus, on the script's behalf).
  for pid in "$instance_pid" "$bus_pid"; do [ -z "$pid" ] || kill "$pid" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A clean session: nothing of the caller's desktop, configuration or buses leaks in.
mkdir -p "$tmp/home" "$tmp/config" "$tmp/config-dirs"
session=(env -i "PATH=$prefix/bin:$PATH" "HOME=$tmp/home" "XDG_CONFIG_HOME=$tmp/config"
  "XDG_CONFIG_DIRS=$tmp/config-dirs" "XDG_DATA_HOME=$prefix/share" "XDG_DATA_DIRS=$prefix/share"
  "DBUS_SYSTEM_BUS_ADDRESS=unix:path=$tmp/no-system-bus" LANG=cs_CZ.UTF-8 LANGUAGE=cs
  "LSAN_OPTIONS=${LSAN_OPTIONS:-}" "ASAN_OPTIONS=${ASAN_OPTIONS:-}")
text() { /usr/bin/python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$@"; }

echo "== cmake --install into $prefix"
if ! "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

echo "== layout"
expected=(bin/torvel libexec/torvel/torvel-xembed-tray libexec/torvel/torvel-windows
  share/applications/com.torvel.Torvel.desktop
  share/icons/hicolor/scalable/apps/torvel.svg
  share/icons/hicolor/scalable/status/torvel-active-symbolic.svg
  share/icons/hicolor/scalable/status/torvel-inactive-symbolic.svg
  share/dbus-1/services/com.torvel.Torvel.service share/dbus-1/interfaces/com.torvel.Torvel1.xml)
cmp -s "$source/resources/dbus/com.torvel.Torvel1.xml" "$prefix/share/dbus-1/interfaces/com.torvel.Torvel1.xml" ||
  fail "the installed interface file differs from its source"
for file in "$source"/extensions/gnome/*; do
  expected+=("share/gnome-shell/extensions/torvel@torvel.com/${file##*/}")
  cmp -s "$file" "$prefix/share/gnome-shell/extensions/torvel@torvel.com/${file##*/}" ||
    fail "the installed GNOME Shell extension's ${file##*/} differs from its source"
done
for icon in torvel-active-symbolic torvel-inactive-symbolic; do
  expected+=("share/gnome-shell/extensions/torvel@torvel.com/icons/$icon.svg")
done
for table in "$source"/resources/i18n/*.json; do
  expected+=("share/torvel/i18n/${table##*/}")
  cmp -s "$table" "$prefix/share/torvel/i18n/${table##*/}" || fail "the installed ${table##*/} differs from its source"
done
for sound in Submarine Pop Sosumi; do
  expected+=("share/torvel/sounds/$sound.wav")
  cmp -s "$source/resources/sounds/$sound.wav" "$prefix/share/torvel/sounds/$sound.wav" ||
    fail "the installed $sound.wav differs from its source"
done
# The status icons drawn at build time for trays that show pixels: every glyph shade at every size, as
# PNG and as the raw ARGB32 pixels the StatusNotifierItem reads (exactly size * size * 4 bytes).
for icon in torvel-active-symbolic torvel-inactive-symbolic; do
  for shade in dark light mid; do
    for size in 16 22 24 32 48; do
      png=share/torvel/icons/$icon-$shade-$size.png
      expected+=("$png")
      [ ! -f "$prefix/$png" ] || file -b "$prefix/$png" | grep -q "^PNG image data, $size x $size," ||
        fail "$png is not a $size x $size PNG: $(file -b "$prefix/$png")"
      raw=share/torvel/icons/$icon-$shade-$size.argb
      expected+=("$raw")
      [ ! -f "$prefix/$raw" ] || [ "$(stat -c %s "$prefix/$raw")" -eq $((size * size * 4)) ] ||
        fail "$raw is not $size x $size raw pixels: $(stat -c %s "$prefix/$raw") bytes"
    done
  done
done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort) ||
  fail "the installed files differ from the expected layout (< missing, > not expected)"
for svg in "$prefix"/share/icons/hicolor/scalable/*/torvel*.svg; do
  [ "$(file -b --mime-type "$svg")" = image/svg+xml ] || fail "${svg##*/} is not recognised as SVG"
  /usr/bin/python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$svg" ||
    fail "${svg##*/} is not well-formed XML"
done

echo "== the installed program"
out=$("${session[@]}" torvel --version)
[ "$out" = "torvel $version" ] || fail "torvel --version printed '$out', not 'torvel $version'"
"${session[@]}" torvel --help >/dev/null || fail "torvel --help exited $?"
# The XEmbed tray helper runs from libexec; asked with an argument it only says how it is used.
"${session[@]}" "$prefix/libexec/torvel/torvel-xembed-tray" --usage 2>/dev/null
[ $? -eq 2 ] || fail "the installed torvel-xembed-tray did not run"
# The window process where torvel looks for it; without a Torvel on the bus it says so and exits 1.
"${session[@]}" DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/no-session-bus" QT_QPA_PLATFORM=offscreen \
  "$prefix/libexec/torvel/torvel-windows" about 2>/dev/null
status=$?
[ "$status" = 1 ] || fail "torvel-windows without a session bus exited $status, not 1"

echo "== desktop entry and the torvel: handler"
if ! validation=$(desktop-file-validate "$prefix/share/applications/com.torvel.Torvel.desktop" 2>&1) ||
  grep -qi 'warning' <<<"$validation"; then
  fail "desktop-file-validate: $validation"
fi
"${session[@]}" update-desktop-database "$prefix/share/applications" || fail "update-desktop-database exited $?"
handler=$("${session[@]}" xdg-mime query default x-scheme-handler/torvel)
[ "$handler" = com.torvel.Torvel.desktop ] ||
  fail "xdg-mime names '$handler' as the torvel: handler, not com.torvel.Torvel.desktop"

echo "== D-Bus activation, string tables and a torvel: link"
# A private session bus that starts services from the prefix, the way the desktop's bus would.
cat >"$tmp/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$prefix/share/dbus-1/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
# With --fork the daemon returns once it listens, having printed its address and then its pid.
"${session[@]}" dbus-daemon --config-file="$tmp/bus.conf" --fork --print-address=1 --print-pid=1 >"$tmp/bus"
bus_pid=$(sed -n 2p "$tmp/bus")
[ -n "$bus_pid" ] || { echo "FAIL: the private session bus did not start"; exit 1; }
session+=("DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$tmp/bus")")
bus_call() {
  "${session[@]}" dbus-send --session --print-reply --reply-timeout=30000 --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus "org.freedesktop.DBus.$1" "${@:2}"
}

if bus_call StartServiceByName string:com.torvel.Torvel uint32:0 >/dev/null; then
  instance_pid=$(bus_call GetConnectionUnixProcessID string:com.torvel.Torvel | awk '/uint32/ { print $2 }')
  exe=$(readlink "/proc/$instance_pid/exe")
  [ "$exe" = "$prefix/bin/torvel" ] || fail "the bus started '$exe', not the installed torvel"

  # The instance runs in Czech: its texts come from the installed cs.json, not the English fallback.
  out=$("${session[@]}" torvel status | head -n 1)
  want=$(text "$prefix/share/torvel/i18n/cs.json" intent.dialog.off)
  [ "$out" = "$want" ] || fail "torvel status said '$out', not '$want'"

  # The handler lookup, the entry's Exec line and the command; torvel exits 0 once the instance took it
  # (deactivate succeeds on any machine; activate is refused where nothing can hold the computer awake).
  "${session[@]}" DISPLAY=:0 BROWSER=false xdg-open 'torvel://deactivate' ||
    fail "xdg-open of a torvel: link exited $?"

  kill "$instance_pid"
  for _ in $(seq 100); do
    kill -0 "$instance_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$instance_pid" 2>/dev/null; then fail "torvel did not quit on SIGTERM"; else instance_pid=; fi
else
  fail "the session bus could not start com.torvel.Torvel from the installed service file"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures install checks failed"
  exit 1
fi
echo "install checks passed"
