# shellcheck shell=bash
# Sourced by the benchmarks (never run): the nginx configuration they serve a
# store with, so that every figure comes from the same kind of server.
#   bench_nginx_conf DIR ROOT PORT WORKERS ACCESS_LOG NOPUSH
# writes DIR/nginx.conf: WORKERS worker processes, ROOT served on
# 127.0.0.1:PORT, an access log of "uri status bytes end-time seconds connection" lines in DIR/access.log
# when ACCESS_LOG is on, and tcp_nopush when NOPUSH is on (as many
# deployments set it). Run it with: nginx -p DIR -c DIR/nginx.conf -e DIR/error.log
bench_nginx_conf() {
    local dir=$1 root=$2 port=$3 workers=$4 access=$5 nopush=$6
    local user="" log="access_log off;" push=""
    [ "$(id -u)" = 0 ] && user="user root;"
    [ "$access" = on ] && log="log_format bench '\$request_uri \$status \$body_bytes_sent \$msec \$request_time \$connection';
    access_log $dir/access.log bench;"
    [ "$nopush" = on ] && push="tcp_nopush on;"
    cat >"$dir/nginx.conf" <<CONF
$user
daemon off;
worker_processes $workers;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 1024; }
http {
    $log
    default_type application/octet-stream;
    sendfile on;
    $push
    keepalive_requests 100000;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    server {
        listen 127.0.0.1:$port;
        root $root;
        location / { }
    }
}
CONF
}
