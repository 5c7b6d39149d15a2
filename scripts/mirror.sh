#!/usr/bin/env bash
# Runs nginx in the foreground as a caching mirror of a store, from
# deploy/nginx/corvane-mirror.conf.in. Ctrl-C stops it.
#
#   scripts/mirror.sh --origin URL --listen ADDR:PORT --cache DIR [--size SIZE]
#                     [--lastver-valid TIME] [--check]
#
#   --origin URL         base URL of the store (http or https), the CDN or origin
#   --listen ADDR:PORT   where clients reach the mirror
#   --cache DIR          cache directory (created); nginx's own files go to DIR/.nginx
#   --size SIZE          most the cache may hold on disk (default 50g)
#   --lastver-valid TIME how long the version marker is cached (default 30s)
#   --check              write the configuration, test it with nginx -t, and exit
# The access log is DIR/.nginx/access.log.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
template=$here/deploy/nginx/corvane-mirror.conf.in
nginx=${CORVANE_NGINX:-/usr/sbin/nginx}

usage() {
    sed -n '5,12p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
fail() { echo "mirror.sh: $*" >&2; exit 2; }

origin= listen= cache= size=50g lastver=30s check=0
while [ $# -gt 0 ]; do
    case $1 in
        --origin) [ $# -ge 2 ] || usage; origin=$2; shift 2 ;;
        --listen) [ $# -ge 2 ] || usage; listen=$2; shift 2 ;;
        --cache) [ $# -ge 2 ] || usage; cache=$2; shift 2 ;;
        --size) [ $# -ge 2 ] || usage; size=$2; shift 2 ;;
        --lastver-valid) [ $# -ge 2 ] || usage; lastver=$2; shift 2 ;;
        --check) check=1; shift ;;
        -h|--help) usage ;;
        *) fail "unknown argument: $1" ;;
    esac
done
[ -n "$origin" ] && [ -n "$listen" ] && [ -n "$cache" ] || usage

origin=${origin%/}
[[ $origin =~ ^https?://[^/?#[:space:]]+(/[^?#[:space:]]*)?$ ]] ||
    fail "--origin needs an http or https URL without query: $origin"
[[ $listen =~ ^(\[[0-9a-fA-F:]+\]|[0-9A-Za-z.-]+):[0-9]{1,5}$ ]] ||
    fail "--listen needs ADDR:PORT: $listen"
[[ $size =~ ^[0-9]+[kKmMgG]?$ ]] || fail "--size needs a number with k, m or g: $size"
[[ $lastver =~ ^[0-9]+(ms|s|m|h)?$ ]] || fail "--lastver-valid needs a time such as 30s: $lastver"
[ -x "$nginx" ] || fail "nginx is needed at $nginx (apt-get install nginx-light)"
[ -r "$template" ] || fail "no template at $template"

mkdir -p "$cache/store" "$cache/.nginx/tmp"
cache=$(cd "$cache" && pwd)
[[ $cache =~ ^[^[:space:]\;\'\"]+$ ]] || fail "the cache path must not hold spaces or quotes: $cache"
prefix=$cache/.nginx
conf=$prefix/nginx.conf

# Characters sed would take as its own in the replacement.
escape() { printf '%s' "$1" | sed 's/[&|\\]/\\&/g'; }
server=$(sed -e "s|@CACHE_DIR@|$(escape "$cache/store")|g" \
             -e "s|@SIZE@|$(escape "$size")|g" \
             -e "s|@LISTEN@|$(escape "$listen")|g" \
             -e "s|@ORIGIN@|$(escape "$origin")|g" \
             -e "s|@LASTVER_VALID@|$(escape "$lastver")|g" "$template")
if grep -q '@[A-Z_]*@' <<<"$server"; then
    fail "template fields left unfilled: $(grep -o '@[A-Z_]*@' <<<"$server" | sort -u | tr '\n' ' ')"
fi

# Started by root, nginx's workers would switch to nobody, who may not reach
# a cache below a private directory: they stay with the user who started them.
# An installed mirror runs as the system's nginx user, who owns its cache.
user_line=
if [ "$(id -u)" = 0 ]; then
    user_line="user root;"
fi

cat >"$conf.tmp" <<CONF
$user_line
daemon off;
worker_processes auto;
pid $prefix/nginx.pid;
error_log stderr warn;
events { worker_connections 4096; }
http {
    default_type application/octet-stream;
    log_format corvane_mirror '\$remote_addr [\$time_local] "\$request" \$status \$body_bytes_sent '
                              '"\$http_range" cache=\$upstream_cache_status';
    access_log $prefix/access.log corvane_mirror;
    client_body_temp_path $prefix/tmp/body;
    proxy_temp_path $prefix/tmp/proxy;
    fastcgi_temp_path $prefix/tmp/fastcgi;
    uwsgi_temp_path $prefix/tmp/uwsgi;
    scgi_temp_path $prefix/tmp/scgi;
$server
}
CONF
mv "$conf.tmp" "$conf"

if [ "$check" = 1 ]; then
    exec "$nginx" -t -q -p "$prefix/" -e stderr -c "$conf"
fi
echo "mirror.sh: mirroring $origin on http://$listen/ (cache $cache/store, at most $size; Ctrl-C stops)" >&2
exec "$nginx" -p "$prefix/" -e stderr -c "$conf"
