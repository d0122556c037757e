# Sourced by the wine scripts. A Windows program under wine can neither start nor stop
# Linux's python, so each online test gets its FTP server from here, on an empty
# folder of its own: with_ftp_server BUILD COMMAND... runs COMMAND with
# RIVET_FTP_PORT and RIVET_FTP_ROOT set. $ftp_pid names the server while it runs, for
# the caller's clean-up.
ftp_pid=""
with_ftp_server() {
    local build=$1 served status=0
    shift
    served=$(mktemp -d "$build/ftproot.XXXXXX")
    /usr/bin/python3 -u "$root/tests/online/ftpserver.py" "$served" >"$served.port" &
    ftp_pid=$!
    for _ in $(seq 100); do [ -s "$served.port" ] && break; sleep 0.1; done
    RIVET_FTP_PORT=$(head -1 "$served.port") RIVET_FTP_ROOT="Z:$served" "$@" || status=$?
    kill "$ftp_pid"
    wait "$ftp_pid" 2>/dev/null || true
    ftp_pid=""
    rm -rf "$served" "$served.port"
    return $status
}
