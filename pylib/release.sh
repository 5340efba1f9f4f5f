#!/bin/sh
# Reads releases.txt, the one description of each supported Debian release.
#
# Usage: release.sh FIELD [CODENAME]   the field of CODENAME's entry, by
#                                      default this machine's; "-" prints
#                                      nothing
#        release.sh list [FIELD]       the codenames, oldest first; with
#                                      FIELD, those where it is not "-"
# A release the file does not know reads as the newest it knows, and says so
# on standard error. Plain sh and awk: it runs before anything is installed.
set -eu
table=$(dirname "$0")/../releases.txt
[ $# -ge 1 ] || { echo "usage: release.sh FIELD [CODENAME] | list [FIELD]" >&2; exit 1; }

if [ "$1" = list ]; then
    want=${2:-codename} codename=""
else
    want=$1 codename=${2:-}
    if [ -z "$codename" ]; then
        . /etc/os-release
        codename=${VERSION_CODENAME:-unknown}
    fi
fi

# One paragraph an entry, "field: value" a line.
awk -v list="$([ "$1" = list ] && echo 1)" -v want="$want" -v codename="$codename" '
    BEGIN { RS = ""; FS = "\n" }
    /^#/ { next }
    {
        split("", f)
        for (i = 1; i <= NF; i++) {
            at = index($i, ":")
            if (at) f[substr($i, 1, at - 1)] = substr($i, at + 2)
        }
        if (!(want in f)) { print "release.sh: no field " want " in releases.txt" > "/dev/stderr"; bad = 1; exit }
        if (list) { if (f[want] != "-") print f["codename"]; next }
        last = f[want]; lastname = f["codename"]
        if (f["codename"] == codename) { found = 1; if (f[want] != "-") print f[want]; exit }
    }
    END {
        if (bad) exit 2
        if (list || found || lastname == "") exit
        print "release.sh: Debian " codename " is not in releases.txt; reading " lastname "'\''s entry" > "/dev/stderr"
        if (last != "-") print last
    }' "$table"
