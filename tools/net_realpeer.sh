#!/usr/bin/env bash
# The download against real peers: Python's http.server serves examples/short.shtml on
# 127.0.0.1, tinyproxy runs on 127.0.0.1 with Basic credentials for the program's proxy user.
# folianta_fetch must get the same bytes as curl, directly and through the proxy, and a wrong
# proxy password must surface as the proxy's own refusal status text (Debian 12's tinyproxy
# 1.11 answers "401 Unauthorized" where RFC 9110 would have 407). A second server answers in
# HTTP/1.1 and closes each connection right after its response without saying so; pairs of gets
# in a row, directly and through the proxy, must all succeed.
# https: Python's server on TLS with certificates of a test authority made here (the program
# trusts it through SSL_CERT_FILE, given to it alone): the page equals curl's, directly and
# through tinyproxy's CONNECT; a certificate for another name, an expired one and one of an
# authority the system does not trust are each refused with their own message, and so is a
# tunnel the proxy will not open. A server that takes the connection and never answers the
# handshake is given up at the connect limit (30 s), not the read timeout (60 s); a response
# without a length that ends with the connection closed but no TLS close_notify is refused with
# its own message, and the same response ended with close_notify is taken whole.
#   tools/net_realpeer.sh [BUILD_DIR]     (default: build)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
fetch="$build/net/folianta_fetch"
[ -x "$fetch" ] || { echo "net real-peer test: FAIL ($fetch not built)"; exit 1; }

texts=net/UnitHttp_texts.h
user=$(sed -n 's/.*kProxyUsername\[\] = "\(.*\)";/\1/p' "$texts")
password=$(sed -n 's/.*kProxyPassword\[\] = "\(.*\)";/\1/p' "$texts")

work=$(mktemp -d)
chmod 777 "$work"  # tinyproxy writes its log after dropping root
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_for_port() {
    for _ in $(seq 100); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1', $1), 0.2)" 2>/dev/null &&
            return 0
        sleep 0.1
    done
    return 1
}

failures=0
check() {  # check LABEL COMMAND...: runs the command, reports and counts a failure
    local label=$1
    shift
    if "$@"; then
        echo "  ok   $label"
    else
        echo "  FAIL $label"
        failures=$((failures + 1))
    fi
}

http_port=$(free_port)
python3 -m http.server "$http_port" --bind 127.0.0.1 --directory examples \
    >"$work/http.log" 2>&1 &
pids+=($!)

# http.server in HTTP/1.1 keeps connections open; this one closes each after its response
# while its headers say nothing of it, as many servers and proxies do.
closing_port=$(free_port)
cat >"$work/closing_server.py" <<'PY'
import functools, http.server, sys

class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def end_headers(self):
        self.close_connection = True
        super().end_headers()

handler = functools.partial(Handler, directory=sys.argv[2])
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), handler).serve_forever()
PY
python3 "$work/closing_server.py" "$closing_port" examples >"$work/closing.log" 2>&1 &
pids+=($!)

# The test authority and its certificates: name PORT SUBJECT_ALT_NAMES DAYS (-1: expired).
tls_ports=()
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
    -subj "/CN=Folianta test authority" -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
certificate() {
    local port
    port=$(free_port)
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$1" \
        -keyout "$work/$1.key" -out "$work/$1.csr" 2>/dev/null
    echo "subjectAltName=$2" >"$work/$1.ext"
    openssl x509 -req -in "$work/$1.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -days "$3" \
        -extfile "$work/$1.ext" -out "$work/$1.pem" 2>/dev/null
    tls_ports+=("$port" "$work/$1.pem" "$work/$1.key")
    eval "${1}_port=$port"
}
certificate good "DNS:localhost,IP:127.0.0.1" 2
certificate other "DNS:other.example" 2
certificate expired "DNS:localhost,IP:127.0.0.1" -1
cat >"$work/tls_server.py" <<'PY'
import functools, http.server, ssl, sys, threading

class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keeps the connection for the next get

handler = functools.partial(Handler, directory=sys.argv[1])
for port, cert, key in zip(*[iter(sys.argv[2:])] * 3):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)), handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.sni_callback = lambda _, name, __: print("server name:", name, flush=True)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
threading.Event().wait()
PY
python3 "$work/tls_server.py" examples "${tls_ports[@]}" >"$work/tls.log" 2>&1 &
pids+=($!)

# Takes connections into its backlog and never says a word.
silent_port=$(free_port)
python3 -c 'import socket, sys, threading
s = socket.create_server(("127.0.0.1", int(sys.argv[1])), backlog=8)
threading.Event().wait()' "$silent_port" >/dev/null 2>&1 &
pids+=($!)

# Answers every get with the page and no length, then closes: with close_notify ("notify") or
# with the TCP connection alone ("cut").
cat >"$work/lengthless_server.py" <<'PY'
import socket, ssl, sys, threading

def serve(port, cert, key, page, notify):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.create_server(("127.0.0.1", port))
    while True:
        raw, _ = listener.accept()
        raw.settimeout(10)
        try:
            with context.wrap_socket(raw, server_side=True) as conn:
                request = b""
                while b"\r\n\r\n" not in request:
                    chunk = conn.recv(4096)
                    if not chunk:
                        break
                    request += chunk
                with open(page, "rb") as f:
                    body = f.read()
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                             b"Connection: close\r\n\r\n" + body)
                if notify:
                    conn.unwrap().close()
                else:
                    conn.shutdown(socket.SHUT_RDWR)  # drops TLS first: no close_notify
        except (OSError, ssl.SSLError):
            pass

cert, key, page = sys.argv[1:4]
for port, notify in ((sys.argv[4], True), (sys.argv[5], False)):
    threading.Thread(target=serve, args=(int(port), cert, key, page, notify), daemon=True).start()
threading.Event().wait()
PY
notify_port=$(free_port)
cut_port=$(free_port)
python3 "$work/lengthless_server.py" "$work/good.pem" "$work/good.key" examples/short.shtml \
    "$notify_port" "$cut_port" >"$work/lengthless.log" 2>&1 &
pids+=($!)

proxy_port=$(free_port)
cat >"$work/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 30
MaxClients 8
LogFile "$work/tinyproxy.log"
LogLevel Info
PidFile "$work/tinyproxy.pid"
Allow 127.0.0.1
BasicAuth $user $password
ConnectPort $good_port
CONF
if [ "$(id -u)" -eq 0 ]; then
    # As root, tinyproxy drops to this user after binding.
    printf 'User nobody\nGroup nogroup\n' >>"$work/tinyproxy.conf"
fi
tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
pids+=($!)

if ! wait_for_port "$http_port" || ! wait_for_port "$closing_port" ||
    ! wait_for_port "$proxy_port" || ! wait_for_port "$good_port" ||
    ! wait_for_port "$other_port" || ! wait_for_port "$expired_port" ||
    ! wait_for_port "$silent_port" || ! wait_for_port "$notify_port" ||
    ! wait_for_port "$cut_port"; then
    echo "net real-peer test: FAIL (servers did not start)"
    cat "$work/http.log" "$work/tls.log" "$work/tinyproxy.out" 2>/dev/null
    exit 1
fi

page="http://127.0.0.1:$http_port/short.shtml"
echo "== net real-peer test ($page, proxy 127.0.0.1:$proxy_port)"
curl --noproxy '*' -sS -o "$work/curl.body" "$page"
"$fetch" "$page" >"$work/direct.body" 2>"$work/direct.err"
"$fetch" "$page" 127.0.0.1 "$proxy_port" >"$work/proxy.body" 2>"$work/proxy.err"
"$fetch" "$page" 127.0.0.1 "$proxy_port" "wrong${password}" >/dev/null 2>"$work/wrong.err"
wrong_status=$?
# The proxy's own status line for a wrong password, as curl sees it.
proxy_status=$(curl --noproxy '' -sS -v -o /dev/null -x "http://127.0.0.1:$proxy_port" \
    -U "$user:wrong$password" "$page" 2>&1 | sed -n 's/^< HTTP\/[0-9.]* \(40[17] .*\)\r$/\1/p')

# pairs [PROXY_SERVER PROXY_PORT]: 20 runs of two gets in a row with one client, each must give the
# page twice.
pairs=20
closing_page="http://127.0.0.1:$closing_port/short.shtml"
cat "$work/curl.body" "$work/curl.body" >"$work/pair.expected"
pairs() {
    local failed=0
    for _ in $(seq "$pairs"); do
        if ! "$fetch" -n 2 "$closing_page" "$@" >"$work/pair.body" 2>>"$work/pairs.err" ||
            ! cmp -s "$work/pair.expected" "$work/pair.body"; then
            failed=$((failed + 1))
        fi
    done
    [ "$failed" -eq 0 ] || echo "       $failed of $pairs pairs failed"
    [ "$failed" -eq 0 ]
}

# https: the program trusts the test authority only where it is told to. Its messages are
# Windows-1251; refused ones are compared as UTF-8.
secure_page="https://127.0.0.1:$good_port/short.shtml"
# The silent handshake takes the connect limit: it runs meanwhile and is looked at last.
silent_start=$(date +%s)
"$fetch" "https://127.0.0.1:$silent_port/" >/dev/null 2>"$work/silent.err" &
silent_fetch=$!
curl --noproxy '*' -sS --cacert "$work/ca.pem" -o "$work/curl_tls.body" "$secure_page"
trusting() { SSL_CERT_FILE="$work/ca.pem" "$@"; }
cat "$work/curl_tls.body" "$work/curl_tls.body" >"$work/tls.expected"
trusting "$fetch" -n 2 "https://localhost:$good_port/short.shtml" >"$work/tls.body" \
    2>"$work/tls.err"
trusting "$fetch" -n 2 "$secure_page" 127.0.0.1 "$proxy_port" >"$work/tunnel.body" \
    2>"$work/tunnel.err"
refused() {  # refused EXPECTED_UTF8 FETCH_ARGUMENTS...: the fetch fails with that message
    local expected=$1
    shift
    ! "$@" >/dev/null 2>"$work/refused.err" &&
        [ "$(iconv -f CP1251 -t UTF-8 "$work/refused.err")" = "$expected" ] ||
        { echo "       got: $(iconv -f CP1251 -t UTF-8 "$work/refused.err")"; false; }
}
not_secured="Защищённое соединение не установлено:"
# What tinyproxy answers a CONNECT to a port it does not allow, as curl sees it.
tunnel_status=$(curl --noproxy '' -sS -v -o /dev/null -x "http://127.0.0.1:$proxy_port" \
    -U "$user:$password" "https://127.0.0.1:$http_port/" 2>&1 |
    sed -n 's/^< HTTP\/[0-9.]* \(4[0-9][0-9] .*\)\r$/\1/p')

check "curl got the page" test -s "$work/curl.body"
check "direct body equals curl's" cmp "$work/curl.body" "$work/direct.body"
check "proxied body equals curl's" cmp "$work/curl.body" "$work/proxy.body"
check "the proxy saw the proxied get" grep -q "short.shtml" "$work/tinyproxy.log"
check "$pairs pairs of gets in a row, server closing after each response" pairs
check "$pairs pairs of gets in a row through the proxy" pairs 127.0.0.1 "$proxy_port"
check "wrong password fails" test "$wrong_status" -ne 0
check "wrong password shows the proxy's refusal text ($proxy_status)" \
    test -n "$proxy_status" -a "$(cat "$work/wrong.err")" = "$proxy_status"

check "two https gets in a row equal curl's" cmp "$work/tls.expected" "$work/tls.body"
check "the server's name was sent" grep -q "^server name: localhost$" "$work/tls.log"
check "two through the proxy's tunnel equal curl's" cmp "$work/tls.expected" "$work/tunnel.body"
check "the proxy opened one tunnel for both" \
    test "$(grep -c "CONNECT.*127.0.0.1:$good_port" "$work/tinyproxy.log")" -eq 1
check "a certificate for another name is refused" refused \
    "$not_secured сертификат сервера выдан не для localhost." \
    trusting "$fetch" "https://localhost:$other_port/short.shtml"
check "an expired certificate is refused" refused \
    "$not_secured срок действия сертификата сервера истёк." \
    trusting "$fetch" "https://127.0.0.1:$expired_port/short.shtml"
check "an authority the system does not trust is refused" refused \
    "$not_secured сертификат сервера выдан неизвестным удостоверяющим центром." \
    "$fetch" "$secure_page"
check "a tunnel the proxy refuses shows its text ($tunnel_status)" refused "$tunnel_status" \
    "$fetch" "https://127.0.0.1:$http_port/" 127.0.0.1 "$proxy_port"
trusting "$fetch" "https://127.0.0.1:$notify_port/short.shtml" >"$work/notify.body" \
    2>"$work/notify.err"
check "a body without a length ended by close_notify equals curl's" \
    cmp "$work/curl_tls.body" "$work/notify.body"
check "a body without a length cut without close_notify is refused" refused \
    "Сервер закрыл соединение, не завершив защищённый сеанс: страница может быть неполной." \
    trusting "$fetch" "https://127.0.0.1:$cut_port/short.shtml"
wait "$silent_fetch"
silent_status=$?
silent_seconds=$(($(date +%s) - silent_start))
check "a silent handshake ends at the connect limit (${silent_seconds} s)" \
    test "$silent_status" -ne 0 -a "$silent_seconds" -ge 29 -a "$silent_seconds" -le 45
check "a silent handshake says the connection timed out" \
    test "$(cat "$work/silent.err")" = $'Socket Error # 10060\r\nConnection timed out.'

if [ "$failures" -ne 0 ]; then
    echo "-- folianta_fetch errors:"
    cat "$work/direct.err" "$work/proxy.err" "$work/wrong.err" "$work/pairs.err" \
        "$work/tls.err" "$work/tunnel.err" "$work/notify.err" "$work/silent.err" 2>/dev/null
    echo "-- tinyproxy:"
    tail -n 20 "$work/tinyproxy.log" "$work/tinyproxy.out" 2>/dev/null
    echo "net real-peer test: FAIL ($failures checks)"
    exit 1
fi
echo "net real-peer test: PASS"
