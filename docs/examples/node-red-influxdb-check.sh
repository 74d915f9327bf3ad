#!/usr/bin/env bash
# Runs the flow node-red-influxdb.json end to end and checks what it wrote: pexumo-logger reads the
# simulated meter (live samples and a download of 20 records) and publishes to a broker, Node-RED
# with the flow writes every row into InfluxDB 1.x, and each list's points are compared with what
# `pexumo-journal export --csv` writes of the same list. Everything runs on this machine, on free
# loopback ports, in a folder of its own that is removed at the end. Run it by hand; it is not
# part of the tests:
#
#   docs/examples/node-red-influxdb-check.sh [BUILD_FOLDER] [SECONDS]
#
# BUILD_FOLDER holds the built tools (default build/default), SECONDS is how long the logger runs
# (default 20). Needs npm (Node-RED 4 and node-red-contrib-influxdb are installed into
# ~/.cache/pexumo-node-red the first time, or PEXUMO_NODE_RED_DIR), the Debian packages influxdb
# and mosquitto, curl and python3. Exit status 0 when every row is a point and every point a row.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
seconds=${2:-20}
nodered=${PEXUMO_NODE_RED_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/pexumo-node-red}
mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)

for tool in "$build/tools/pexumo-logger" "$build/tools/pexumo-meter-sim" \
    "$build/tools/pexumo-journal" "$mosquitto" /usr/bin/influxd; do
    [[ -x $tool ]] || { echo "missing: $tool" >&2; exit 2; }
done
if [[ ! -e $nodered/node_modules/node-red/red.js ||
      ! -e $nodered/node_modules/node-red-contrib-influxdb/influxdb.js ]]; then
    echo "== installing Node-RED into $nodered"
    mkdir -p "$nodered"
    npm install --prefix "$nodered" --no-audit --no-fund node-red@4 node-red-contrib-influxdb@0.7 >/dev/null
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# Waits up to 30 s for TEXT in FILE.
wait_for() {
    for _ in $(seq 300); do grep -q -- "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
    echo "not seen in $1: $2" >&2
    cat "$1" >&2
    return 1
}

broker_port=$(free_port)
influx_port=$(free_port)
influx_rpc_port=$(free_port)
nodered_port=$(free_port)

echo "== broker on 127.0.0.1:$broker_port"
printf 'listener %s 127.0.0.1\nallow_anonymous true\n%s' "$broker_port" \
    "$([[ $(id -u) == 0 ]] && echo 'user root')" >"$work/mosquitto.conf"
"$mosquitto" -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
pids+=($!)

echo "== InfluxDB on 127.0.0.1:$influx_port"
cat >"$work/influxdb.conf" <<EOF
reporting-disabled = true
bind-address = "127.0.0.1:$influx_rpc_port"
[meta]
  dir = "$work/influxdb/meta"
[data]
  dir = "$work/influxdb/data"
  wal-dir = "$work/influxdb/wal"
[http]
  bind-address = "127.0.0.1:$influx_port"
  log-enabled = false
EOF
/usr/bin/influxd -config "$work/influxdb.conf" >"$work/influxdb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    curl -sf "http://127.0.0.1:$influx_port/ping" >/dev/null && break
    sleep 0.2
done
curl -sf -XPOST "http://127.0.0.1:$influx_port/query" --data-urlencode 'q=CREATE DATABASE water' >/dev/null

echo "== Node-RED on 127.0.0.1:$nodered_port with the flow"
mkdir -p "$work/node-red"
python3 - "$here/node-red-influxdb.json" "$work/node-red/flows.json" "$broker_port" "$influx_port" <<'EOF'
import json, sys
flow = json.load(open(sys.argv[1]))
for node in flow:
    if node["type"] == "mqtt-broker":
        node["broker"], node["port"] = "127.0.0.1", sys.argv[3]
    elif node["type"] == "influxdb":
        node["hostname"], node["port"] = "127.0.0.1", sys.argv[4]
json.dump(flow, open(sys.argv[2], "w"))
EOF
echo 'module.exports = { uiHost: "127.0.0.1", flowFile: "flows.json", credentialSecret: false };' \
    >"$work/node-red/settings.js"
node "$nodered/node_modules/node-red/red.js" --userDir "$work/node-red" --port "$nodered_port" \
    --settings "$work/node-red/settings.js" >"$work/node-red.log" 2>&1 &
pids+=($!)
wait_for "$work/node-red.log" "Connected to broker"

echo "== pexumo-logger on the simulated meter for $seconds s"
home="$work/home"
mkdir -p "$home"
cat >"$work/config.ini" <<EOF
[Pexumo]
JournalFile=journal.sqlite
[Mqtt]
Host=127.0.0.1
Port=$broker_port
Topic=plant/basin1
EOF
"$build/tools/pexumo-meter-sim" --pty --link "$work/meter" >"$work/meter-sim.log" 2>&1 &
pids+=($!)
wait_for "$work/meter-sim.log" /dev/
env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
    XDG_STATE_HOME="$home/state" XDG_CACHE_HOME="$home/cache" \
    "$build/tools/pexumo-logger" --port "$work/meter" --config "$work/config.ini" \
    >"$work/logger.log" 2>&1 &
logger=$!
sleep "$seconds"
kill -TERM "$logger"
wait "$logger" || { cat "$work/logger.log" >&2; exit 1; }
cat "$work/logger.log"
sleep 3 # Node-RED writes what it got

echo "== comparing each list's points with pexumo-journal export"
for list in pH ORP COND TDS Salt DO O2 Records; do
    (cd "$home" && "$build/tools/pexumo-journal" --journal "$work/journal.sqlite" \
        export --csv 1 "$list" "$work/$list.csv")
    curl -sfG "http://127.0.0.1:$influx_port/query" --data-urlencode db=water \
        --data-urlencode epoch=ms \
        --data-urlencode "q=SELECT * FROM \"$list\" WHERE site = 'plant/basin1' ORDER BY time" \
        >"$work/$list.json"
done
python3 - "$work" <<'EOF'
import csv, datetime, json, sys

work = sys.argv[1]
failed = False
total = 0
for name in ["pH", "ORP", "COND", "TDS", "Salt", "DO", "O2", "Records"]:
    with open(f"{work}/{name}.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    result = json.load(open(f"{work}/{name}.json"))["results"][0]
    points = []
    for series in result.get("series", []):
        columns = series["columns"]
        points += [dict(zip(columns, values)) for values in series["values"]]
    number = lambda text: float(text) if text not in ("", None) else None
    expected, got = [], []
    for r in rows:
        if name == "Records":
            expected.append((int(r["Record"]), r["Type"], number(r["Value"]), r["Unit"],
                             number(r["Temperature"]), r["Received"]))
        else:
            expected.append((r["Type"], number(r["Value"]), r["Unit"], number(r["Temperature"]),
                             f'{r["Date"]} {r["Time"]}'))
    for p in points:
        local = datetime.datetime.fromtimestamp(p["time"] / 1000).strftime("%Y-%m-%d %H:%M:%S")
        if name == "Records":
            got.append((int(p["record"]), p["type"], p["value"], p["unit"], p.get("temp"), local))
        else:
            got.append((p["type"], p["value"], p["unit"], p.get("temp"), local))
    same = expected == got
    total += len(rows)
    print(f"{name}: {len(rows)} rows in the journal, {len(points)} points in InfluxDB"
          f"{'' if same else ': DIFFERENT'}")
    if not same:
        failed = True
        for e, g in zip(expected, got):
            if e != g:
                print(f"  first difference: journal {e}, InfluxDB {g}")
                break
if total == 0:
    print("no rows at all")
    failed = True
print("FAIL" if failed else f"PASS: {total} rows, each a point")
sys.exit(1 if failed else 0)
EOF
