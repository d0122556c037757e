#!/usr/bin/env bash
# Signs one Windows executable in place with a SHA-256 Authenticode signature made with
# the PKCS#12 certificate $RIVET_SIGN_PKCS12 (password $RIVET_SIGN_PASSWORD), time-
# stamped by $RIVET_SIGN_TIMESTAMP_URL when that is set. The file is left as it was when
# signing fails. Usage: scripts/sign-windows.sh FILE.exe
set -euo pipefail
file=$1
signed="$file.signing"
trap 'rm -f "$signed"' EXIT
timestamp=()
[ -z "${RIVET_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$RIVET_SIGN_TIMESTAMP_URL")
# The password goes through a pipe, never on a command line.
if ! osslsigncode sign -pkcs12 "$RIVET_SIGN_PKCS12" -readpass <(printf '%s' "${RIVET_SIGN_PASSWORD:-}") \
    -h sha256 -n "Rivet device tools" "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null; then
    echo "sign-windows: $(basename "$file") not signed: $RIVET_SIGN_PKCS12 cannot be read with this password (osslsigncode's reason above)" >&2
    exit 1
fi
mv "$signed" "$file"
