#!/bin/sh
# Makes the test CA, a server certificate for every loopback address the tests
# use, the same one expired long ago, one for a name no test connects to, and
# a CA that signed none of them.
set -eu
out="$1"
net="${2:-127.0.0}"
mkdir -p "$out"
cd "$out"
days=3650
subj() { openssl req -new -newkey rsa:2048 -nodes -subj "/CN=$1" -keyout "$2.key" -out "$2.csr" 2>/dev/null; }

openssl req -x509 -newkey rsa:2048 -nodes -days $days -subj "/CN=Orvelle Test CA" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days $days -subj "/CN=Orvelle Other CA" \
    -keyout other-ca.key -out other-ca.pem 2>/dev/null

sans="IP:127.0.0.1"
n=10
while [ $n -le 99 ]; do sans="$sans,IP:$net.$n"; n=$((n + 1)); done
printf 'subjectAltName=%s\n' "$sans" > server.ext
printf 'subjectAltName=DNS:wrong-host.invalid\n' > wrong-host.ext

for name in server wrong-host; do
    subj "orvelle-$name" "$name"
    openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days $days \
        -extfile "$name.ext" -out "$name.pem" 2>/dev/null
done
# x509 -req cannot back-date a certificate; the ca command can, from a
# throw-away database.
subj orvelle-expired expired
: > index.txt
printf '01\n' > serial
cat > ca.cnf <<EOF
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
EOF
openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr \
    -startdate 20200101000000Z -enddate 20210101000000Z -extfile server.ext \
    -out expired.pem 2>/dev/null
rm -f ./*.csr ./*.ext ca.srl ca.cnf index.txt* serial* 01.pem
