#!/usr/bin/env bash
# Side-by-side download benchmark on 127.0.0.1: this engine against aria2c, axel and curl, on a
# 256 MiB file served by nginx unthrottled, and by the in-tree server at 4 MiB/s per connection,
# once without and once with 20 ms on every new connection and every request. (nginx's limit_rate
# is no per-connection limit: every request starts with a second's worth of credit, so 1 MiB
# range requests would pass unthrottled.) Prints the table and writes RESULTS.md.
# Never fails on a number; it fails only when the engine's file differs from the served one. Other
# tools' failed runs (a crash, a wrong file) are counted in the table.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-3}
scripts/install-deps.sh
missing=()
for package in nginx-light aria2 axel curl time; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
mkdir -p build-bench
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTOVAK_BUILD_GUI=OFF > build-bench/configure.log 2>&1
cmake --build build-bench -j"$(nproc)" --target tovak-bench-driver tovak-test-server > build-bench/build.log 2>&1

work=$(mktemp -d /tmp/tovak-bench-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/out" "$work/drive"
head -c $((256 * 1048576)) /dev/urandom > "$work/www/file.bin"
chmod 755 "$work" "$work/www" && chmod 644 "$work/www/file.bin"  # nginx's workers read it

cat > "$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  server { listen 127.0.0.1:18081; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf"
rate=$((4 * 1048576))
build-bench/tests/tovak-test-server --file "$work/www/file.bin" --port 18082 --rate-limit $rate > /dev/null &
pids+=($!)
build-bench/tests/tovak-test-server --file "$work/www/file.bin" --port 18083 --rate-limit $rate \
  --connection-delay-ms 20 --request-delay-ms 20 > /dev/null &
pids+=($!)
for port in 18081 18082 18083; do  # each server answers before the first run
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
done

declare -A urls=(
  [unthrottled]="http://127.0.0.1:18081/file.bin"
  [throttled-4m]="http://127.0.0.1:18082/releases/download/v1/tovak.security.zip"
  [throttled-4m-latency-20ms]="http://127.0.0.1:18083/releases/download/v1/tovak.security.zip"
)
tools=(tovak aria2c axel curl)

fetch() {  # tool url output
  case $1 in
    tovak) TOVAK_DRIVE_D="$work/drive" "$root/build-bench/bench/tovak-bench-driver" "$2" "$3" ;;
    aria2c) aria2c -q -x16 -s16 -k1M --allow-overwrite=true --auto-file-renaming=false \
              -d "$(dirname "$3")" -o "$(basename "$3")" "$2" ;;
    axel) axel -q -n 16 -o "$3" "$2" > /dev/null ;;
    curl) curl -s -o "$3" "$2" ;;
  esac
}

median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

table="| scenario | tool | median s | x aria2c | MB/s | peak RSS MB | failed runs |\n|---|---|---|---|---|---|---|\n"
status=0
for scenario in unthrottled throttled-4m throttled-4m-latency-20ms; do
  declare -A times=() rss=() failures=()
  for run in $(seq "$runs"); do
    for tool in "${tools[@]}"; do
      out="$work/out/$tool.bin"
      rm -f "$out" "$out.st"
      /usr/bin/time -f "%e %M" -o "$work/time.txt" bash -c "$(declare -f fetch); work='$work' root='$root' fetch $tool '${urls[$scenario]}' '$out'" \
        || echo "$tool failed in $scenario" >&2
      read -r seconds kilobytes < <(tail -1 "$work/time.txt")
      if ! cmp -s "$out" "$work/www/file.bin"; then
        echo "$tool: the downloaded file differs in $scenario" >&2
        failures[$tool]=$(( ${failures[$tool]:-0} + 1 ))
        [ "$tool" = tovak ] && status=1
        continue
      fi
      times[$tool]+="$seconds "
      rss[$tool]+="$kilobytes "
    done
  done
  base=$(echo "${times[aria2c]}" | tr ' ' '\n' | grep . | median)
  for tool in "${tools[@]}"; do
    t=$(echo "${times[$tool]}" | tr ' ' '\n' | grep . | median)
    peak=$(echo "${rss[$tool]}" | tr ' ' '\n' | grep . | sort -g | tail -1)
    row=$(awk -v s="$scenario" -v tool="$tool" -v t="$t" -v b="$base" -v k="$peak" -v f="${failures[$tool]:-0}" \
      'BEGIN { printf "| %s | %s | %.2f | %.2f | %.1f | %.0f | %d |", s, tool, t, t / b, 256 / t * 1.048576, k / 1024, f }')
    table+="$row\n"
  done
  unset times rss failures
done

printf "%b" "$table"
{
  echo "# Benchmark results"
  echo
  echo "$(date -u +%Y-%m-%d), $(nproc) CPUs, 256 MiB over 127.0.0.1, median of $runs runs each, tools run alternately."
  echo
  printf "%b" "$table"
} > bench/RESULTS.md
exit $status
