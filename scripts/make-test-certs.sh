#!/usr/bin/env bash
# Makes the certificates of the TLS tests (tests/server/tls/): a club's own
# certificate authority, a server certificate it issued for 127.0.0.1 and
# localhost, and one it issued for another name. Valid for 100 years, so the
# tests need not be touched again; run again only to replace them.
set -euo pipefail
cd "$(dirname "$0")/../tests/server/tls"
days=36500
ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $ec -keyout ca.key -out ca.pem -days $days -subj "/O=Schützenverein Test/CN=Vereins-CA"
issue() { # name subject-alt-names
    openssl req $ec -keyout "$1.key" -out "$1.csr" -subj "/CN=$1"
    openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -out "$1.pem" -days $days \
        -extfile <(printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$2")
    rm "$1.csr"
}
issue server "DNS:localhost,IP:127.0.0.1"
issue anderer "DNS:anderer.example"
rm -f ca.key ca.srl
