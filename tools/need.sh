#!/bin/sh
# need.sh PACKAGE...: installs with apt-get whichever of the Debian packages
# are missing; does nothing (and needs no network) when all are there.
missing=""
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
        || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q && $sudo apt-get install -y -q --no-install-recommends $missing
