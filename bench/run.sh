#!/usr/bin/env bash
# Side-by-side download benchmark on 127.0.0.1 over real round trips: this engine against aria2c
# and axel, on a 256 MiB file served by Debian's nginx over TLS (HTTP/2 and HTTP/1.1 offered), with
# the project's round-trip emulator (bench/latency_proxy.cpp) between the tools and the server.
#
# Scenarios:
#   unthrottled          nginx directly
#   4m-100ms             4 MiB/s per connection, 100 ms round trip
#   2m-250ms-redirect    2 MiB/s per connection, 250 ms, the release path answers 302 to a content
#                        path with a signed query string, as code hosts do
#   uneven-50ms          16 connections held to rates from 1 to 4 MiB/s (taken in the order the
#                        connections open, the same for every run and tool), 50 ms
#   250ms-link-to-near-content
#                        the release link far away (250 ms, 2 MiB/s), its redirect to a content
#                        server nearby (nginx directly)
# SCENARIOS and TOOLS (space-separated) run a part of it; RUNS and SIZE_MIB change its size.
# Tools run alternately, RUNS times each (3 by default), each run starting with the next tool,
# after one untimed fetch by each; the table gives medians, each median's ratio to aria2c's and
# to the physical limit (the data at the connections' rates, plus the round trips of connecting,
# the TLS handshake, the first request and the redirect), and peak RSS.
# It writes bench/RESULTS.md. It fails only when the engine's file differs from the served one;
# other tools' failed runs are counted in the table.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-3}
size_mib=${SIZE_MIB:-256}
scripts/install-deps.sh
missing=()
for package in aria2 axel curl time openssl; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
mkdir -p build-bench
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTOVAK_BUILD_GUI=OFF > build-bench/configure.log 2>&1
cmake --build build-bench -j"$(nproc)" --target tovak-bench-driver tovak-latency-proxy > build-bench/build.log 2>&1

work=$(mktemp -d /tmp/tovak-bench-XXXXXX)
pids=()
proxy_pid=
cleanup() {
  for pid in "${pids[@]}" $proxy_pid; do kill "$pid" 2>/dev/null || true; done
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www/content" "$work/out" "$work/drive"
head -c $((size_mib * 1048576)) /dev/urandom > "$work/www/content/tovak.security.zip"
chmod 755 "$work" "$work/www" "$work/www/content" && chmod 644 "$work/www/content/tovak.security.zip"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$work/key.pem" -out "$work/cert.pem" > /dev/null 2>&1
server=18443 proxy=18444
cat > "$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  ssl_protocols TLSv1.2 TLSv1.3;  # as code hosts offer; this nginx offers TLS 1.3 only when told
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$server ssl http2;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    root $work/www;
    # The release address of a code host: a redirect to the content server's signed address, far
    # like the release host (a relative Location, so through the emulator) or near (this server).
    absolute_redirect off;
    location = /releases/download/v1/tovak.security.zip {
      return 302 /content/tovak.security.zip?X-Amz-Expires=300&X-Amz-Signature=5d41402abc4b2a76b9719d911017c592;
    }
    location = /near/releases/download/v1/tovak.security.zip {
      return 302 https://127.0.0.1:$server/content/tovak.security.zip?X-Amz-Expires=300&X-Amz-Signature=5d41402a;
    }
  }
}
CONF
nginx -c "$work/nginx.conf"
for _ in $(seq 100); do curl -s --cacert "$work/cert.pem" -o /dev/null "https://127.0.0.1:$server/" && break; sleep 0.1; done

mib=1048576
uneven=$(awk -v m=$mib 'BEGIN { for (i = 0; i < 16; ++i) printf "%s%d", (i ? "," : ""), m * (1 + 3 * i / 15) }')
declare -A proxy_args=(
  [4m-100ms]="--rtt-ms 100 --rate $((4 * mib))"
  [2m-250ms-redirect]="--rtt-ms 250 --rate $((2 * mib))"
  [uneven-50ms]="--rtt-ms 50 --rates $uneven"
  [250ms-link-to-near-content]="--rtt-ms 250 --rate $((2 * mib))"
)
declare -A paths=(
  [unthrottled]=/content/tovak.security.zip
  [4m-100ms]=/content/tovak.security.zip
  [2m-250ms-redirect]=/releases/download/v1/tovak.security.zip
  [uneven-50ms]=/content/tovak.security.zip
  [250ms-link-to-near-content]=/near/releases/download/v1/tovak.security.zip
)
# Seconds: the data at the connections' rates plus the round trips before the first byte.
limit() {
  local size=$((size_mib * mib))
  case $1 in
    unthrottled | 250ms-link-to-near-content) echo 0 ;;
    4m-100ms) awk -v s=$size -v r=$((4 * mib)) 'BEGIN { print s / (16 * r) + 3 * 0.100 }' ;;
    2m-250ms-redirect) awk -v s=$size -v r=$((2 * mib)) 'BEGIN { print s / (16 * r) + 4 * 0.250 }' ;;
    uneven-50ms) awk -v s=$size -v list="$uneven" 'BEGIN { n = split(list, r, ","); for (i = 1; i <= n; ++i) t += r[i]; print s / t + 3 * 0.050 }' ;;
  esac
}
read -r -a scenarios <<< "${SCENARIOS:-unthrottled 4m-100ms 2m-250ms-redirect uneven-50ms 250ms-link-to-near-content}"
read -r -a tools <<< "${TOOLS:-tovak aria2c axel}"

# Each run gets a fresh emulator, so the connections take the uneven rates from the start.
start_proxy() {
  [ -n "$proxy_pid" ] && { kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; }
  proxy_pid=
  [ "$1" = unthrottled ] && { port=$server; return; }
  # shellcheck disable=SC2086
  build-bench/bench/tovak-latency-proxy --listen $proxy --target $server ${proxy_args[$1]} > /dev/null 2>&1 &
  proxy_pid=$!
  port=$proxy
  # Listening is checked without connecting: a connection would take the first rate.
  for _ in $(seq 100); do ss -ltn "sport = :$proxy" | grep -q LISTEN && break; sleep 0.05; done
}

fetch() {  # tool url output
  case $1 in
    tovak) SSL_CERT_FILE="$work/cert.pem" TOVAK_DRIVE_D="$work/drive" "$root/build-bench/bench/tovak-bench-driver" "$2" "$3" ;;
    aria2c) aria2c -q -x16 -s16 -k1M --ca-certificate="$work/cert.pem" --allow-overwrite=true \
              --auto-file-renaming=false -d "$(dirname "$3")" -o "$(basename "$3")" "$2" ;;
    axel) axel -q -k -n 16 -o "$3" "$2" > /dev/null ;;
  esac
}

values() { tr ' ' '\n' | grep . || true; }
median() { sort -g | awk '{ a[NR] = $1 } END { if (NR == 0) print "nan"; else print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

table="| scenario | tool | median s | x aria2c | x limit | peak RSS MB | failed runs |\n|---|---|---|---|---|---|---|\n"
status=0
# One untimed fetch by each tool first: a tool's first run after the build or the server's start
# (programs and libraries read from disk, the file just written) is slower than any later one.
for tool in "${tools[@]}"; do
  fetch "$tool" "https://127.0.0.1:$server/content/tovak.security.zip" "$work/out/warm-up.bin" > /dev/null 2>&1 || true
  rm -rf "$work/out/warm-up.bin"* "$work/drive"/*
done

for scenario in "${scenarios[@]}"; do
  declare -A times=() rss=() failures=()
  for run in $(seq "$runs"); do
    # Each run starts with the next tool, so that no tool always follows the same one.
    order=("${tools[@]:$(( (run - 1) % ${#tools[@]} ))}" "${tools[@]:0:$(( (run - 1) % ${#tools[@]} ))}")
    for tool in "${order[@]}"; do
      start_proxy "$scenario"
      url="https://127.0.0.1:$port${paths[$scenario]}"
      out="$work/out/$tool.bin"
      rm -rf "$out" "$out.st" "$out.aria2" "$work/drive"/*
      /usr/bin/time -f "%e %M" -o "$work/time.txt" bash -c "$(declare -f fetch); work='$work' root='$root' fetch $tool '$url' '$out'" \
        || echo "$tool failed in $scenario" >&2
      read -r seconds kilobytes < <(tail -1 "$work/time.txt")
      if ! cmp -s "$out" "$work/www/content/tovak.security.zip"; then
        echo "$tool: the downloaded file differs in $scenario" >&2
        failures[$tool]=$(( ${failures[$tool]:-0} + 1 ))
        [ "$tool" = tovak ] && status=1
        continue
      fi
      echo "$scenario run $run: $tool $seconds s" >&2
      times[$tool]+="$seconds "
      rss[$tool]+="$kilobytes "
    done
  done
  base=$(echo "${times[aria2c]:-}" | values | median)
  bound=$(limit "$scenario")
  for tool in "${tools[@]}"; do
    t=$(echo "${times[$tool]:-}" | values | median)
    peak=$(echo "${rss[$tool]:-0}" | values | sort -g | tail -1)
    row=$(awk -v s="$scenario" -v tool="$tool" -v t="$t" -v b="$base" -v l="$bound" -v k="$peak" -v f="${failures[$tool]:-0}" \
      'BEGIN { printf "| %s | %s | %.2f | %.2f | %s | %.0f | %d |", s, tool, t, t / b, (l > 0 ? sprintf("%.2f", t / l) : "-"), k / 1024, f }')
    table+="$row\n"
  done
  unset times rss failures
done
[ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null || true

printf "%b" "$table"
{
  echo "# Benchmark results"
  echo
  echo "$(date -u +%Y-%m-%d), $(nproc) CPUs, $size_mib MiB from nginx over TLS on 127.0.0.1 through the round-trip"
  echo "emulator, median of $runs runs each, tools run alternately. Physical limits:"
  for scenario in "${scenarios[@]}"; do
    bound=$(limit "$scenario")
    [ "$bound" != 0 ] && echo "$scenario $bound s;"
  done
  echo
  printf "%b" "$table"
} > bench/RESULTS.md
exit $status
