#!/usr/bin/env bash
# Takes docs/screenshot.png: the dashboard after about 110 s of the demo meter, in a real window
# under Xvfb, with a private home so nothing of the user's is read or written.
# Needs: xvfb xauth xdotool imagemagick (apt-get install them), and a built build/default/pexumo.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/Pexumo" "$work/data" "$work/run"
chmod 700 "$work/run"
printf '[Port]\nName=Demo meter\n' >"$work/config/Pexumo/Pexumo.conf"
cat >"$work/shoot.sh" <<SHOT
#!/usr/bin/env bash
set -euo pipefail
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
cd "$work"
"$top/build/default/pexumo" &
pid=\$!
win=\$(xdotool search --sync --class Pexumo | head -1)
sleep 2
eval "\$(xdotool getwindowgeometry --shell "\$win")"
xdotool mousemove --window "\$win" 747 20 click 1   # Connect
sleep 110
import -window root -crop "\${WIDTH}x\${HEIGHT}+\${X}+\${Y}" +repage "$top/docs/screenshot.png"
kill "\$pid"
SHOT
chmod +x "$work/shoot.sh"
xvfb-run -s "-screen 0 1000x760x24" "$work/shoot.sh"
echo "docs/screenshot.png written"
