#!/usr/bin/env bash
# The alerting pipeline with the real programs, on the loopback interface
# only: tavstat writes the metrics of a simulated server into a textfile
# directory, node_exporter serves it, Prometheus scrapes it every second and
# evaluates the shipped rules (its own copy with shortened "for:" durations),
# Alertmanager routes the alerts to a webhook receiver run by this test.
# A failed drive must arrive as firing alerts naming the adapter, the drive
# and its virtual drive; the virtual drive's alert must arrive as resolved
# after the rebuild onto the hot spare, the drive's after it was replaced.
# Usage: pipeline_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
src=$2
tavsim=$build/bin/tavsim
work=$(mktemp -d "${TMPDIR:-/tmp}/tavpipeline.XXXXXX")
pids=()
fail() {
    echo "FAIL: $*"
    exit 1
}

# Every process this test started is stopped by its pid, on every way out.
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'fail "interrupted"' INT TERM HUP

for program in prometheus prometheus-node-exporter prometheus-alertmanager python3 curl; do
    command -v "$program" >/dev/null || fail "$program is not installed (scripts/install-deps.sh)"
done

# Waits up to $1 seconds until the command after it succeeds.
wait_for() {
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $until ] || return 1
        sleep 0.2
    done
}
# Fails naming the component whose process ended or never answered, with its log.
started() {
    local name=$1 pid=$2 log=$3 until=$((SECONDS + 20))
    shift 3
    until "$@"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            tail -n 20 "$log"
            fail "$name did not start: it ended"
        fi
        if [ $SECONDS -ge $until ]; then
            tail -n 20 "$log"
            fail "$name did not start: it runs but does not answer"
        fi
        sleep 0.2
    done
}
answers() { curl -sf -o /dev/null "$1"; }

# Three free loopback ports, held together while they are chosen so they differ.
read -r node_port prom_port am_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(3)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
[ -n "$am_port" ] || fail "no free ports"

# A RAID 5 of three drives with a hot spare; speed 4 rebuilds a member in 16 s.
cat >"$work/server.json" <<'EOF'
{"adapters":[{"host":2,"model":"ZN5121",
  "drives":[{"slot":0,"interface":"SAS"},{"slot":1,"interface":"SAS"},{"slot":2,"interface":"SAS"},
            {"slot":3,"interface":"SAS"}],
  "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]}],"hot_spares":[3]}],"speed":4}
EOF
"$tavsim" init "$work/server" "$work/server.json" >"$work/init.log" 2>&1 || { cat "$work/init.log"; fail "tavsim init"; }
server=$work/server
textdir=$work/textfile
mkdir -p "$textdir"

# tavstat, once a second (the timer of an installation runs it every minute).
(
    child=0
    trap 'kill $child 2>/dev/null; exit 0' TERM
    while :; do
        "$tavsim" run "$server" -- tavstat --prometheus --output "$textdir/tavstat.prom" >>"$work/tavstat.log" 2>&1 &
        child=$!
        wait $child
        sleep 1 &
        child=$!
        wait $child
    done
) &
pids+=($!)
wait_for 20 test -s "$textdir/tavstat.prom" || { tail "$work/tavstat.log"; fail "tavstat wrote no metrics file"; }

prometheus-node-exporter --web.listen-address="127.0.0.1:$node_port" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$textdir" >"$work/node.log" 2>&1 &
pids+=($!)
started node_exporter $! "$work/node.log" answers "http://127.0.0.1:$node_port/metrics"

python3 "$src/tests/prometheus/webhook_receiver.py" "$work/webhook.port" "$work/alerts" >"$work/webhook.log" 2>&1 &
pids+=($!)
started "webhook receiver" $! "$work/webhook.log" test -s "$work/webhook.port"
webhook_port=$(cat "$work/webhook.port")
touch "$work/alerts"

cat >"$work/alertmanager.yml" <<EOF
route:
  receiver: webhook
  group_by: ['...']
  group_wait: 1s
  group_interval: 1s
  repeat_interval: 1h
receivers:
  - name: webhook
    webhook_configs:
      - url: http://127.0.0.1:$webhook_port/
        send_resolved: true
EOF
prometheus-alertmanager --config.file="$work/alertmanager.yml" --storage.path="$work/alertmanager" \
    --web.listen-address="127.0.0.1:$am_port" --cluster.listen-address= >"$work/alertmanager.log" 2>&1 &
pids+=($!)
started Alertmanager $! "$work/alertmanager.log" answers "http://127.0.0.1:$am_port/-/ready"

# The shipped rules with every "for:" shortened to 2 s; the expressions stay.
sed -E 's/^( +)for: .*/\1for: 2s/' "$src/packaging/prometheus/tavutility.rules.yml" >"$work/rules.yml"
cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files:
  - $work/rules.yml
alerting:
  alertmanagers:
    - static_configs:
        - targets: ['127.0.0.1:$am_port']
scrape_configs:
  - job_name: node
    static_configs:
      - targets: ['127.0.0.1:$node_port']
EOF
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/prometheus" \
    --web.listen-address="127.0.0.1:$prom_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)
started Prometheus $! "$work/prometheus.log" answers "http://127.0.0.1:$prom_port/-/ready"

# Prometheus has scraped the healthy server and loaded the rules.
query() { curl -sf "http://127.0.0.1:$prom_port/api/v1/query" --data-urlencode "query=$1"; }
healthy() { query 'tav_logical_drive_health{adapter="0",logical_drive="0"} == 0' | grep -q '"value"'; }
wait_for 20 healthy || fail "Prometheus has not scraped tavstat's metrics through node_exporter"
curl -sf "http://127.0.0.1:$prom_port/api/v1/rules" | grep -q '"name":"TavPhysicalDriveFailed"' ||
    fail "Prometheus did not load the rules"
# The stale-file rule's selector finds the file as node_exporter names it.
selector=$(sed -n 's/.*expr: time() - \(node_textfile_mtime_seconds{[^}]*}\).*/\1/p' "$work/rules.yml")
query "$selector" | grep -q '"value"' || fail "no series for $selector"

received() { grep -q "$1" "$work/alerts"; }
expect() {
    local seconds=$1 what=$2 line=$3
    if ! wait_for "$seconds" received "$line"; then
        echo "--- webhook received:"
        cat "$work/alerts"
        fail "no $what within $seconds s"
    fi
    echo "received: $(grep -m1 "$line" "$work/alerts")"
}

start=$SECONDS
"$tavsim" inject "$server" fail-drive 0 1 || fail "tavsim inject fail-drive"
expect 30 "firing drive alert" '^firing TavPhysicalDriveFailed adapter=0 physical_drive=1 | Physical drive 1 on adapter 0 of .* has failed (MORVANE '
expect 30 "firing degraded alert" '^firing TavLogicalDriveDegraded adapter=0 logical_drive=0 | Virtual drive 0 on adapter 0 '
echo "firing after $((SECONDS - start)) s"

expect 60 "resolved degraded alert after the rebuild" '^resolved TavLogicalDriveDegraded adapter=0 logical_drive=0 '
echo "resolved after $((SECONDS - start)) s"
"$tavsim" show "$server" | python3 -c '
import json, sys
a = json.load(sys.stdin)["adapters"][0]
sys.exit(0 if [d["state"] for d in a["drives"]] == [0, 0x20, 0, 0] else 1)' || fail "the rebuild did not end as expected"
if received '^resolved TavPhysicalDriveFailed'; then fail "the failed drive's alert resolved while the drive is still failed"; fi

# A new drive in the failed drive's slot ends the drive's alert.
"$tavsim" inject "$server" remove-drive 0 1 || fail "tavsim inject remove-drive"
"$tavsim" inject "$server" insert-drive 0 1 '{"interface":"SAS"}' || fail "tavsim inject insert-drive"
expect 30 "resolved drive alert after the replacement" '^resolved TavPhysicalDriveFailed adapter=0 physical_drive=1 '
# Nothing else fired: a pulled drive needs attention, no rule misfired on a healthy part.
others=$(grep -v -E '^(firing|resolved) (TavPhysicalDriveFailed|TavLogicalDriveDegraded|TavPhysicalDriveNeedsAttention) ' "$work/alerts")
[ -z "$others" ] || fail "unexpected alerts: $others"
echo "pipeline checks passed in $SECONDS s"
