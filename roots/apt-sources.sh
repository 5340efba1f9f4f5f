#!/bin/sh
# Prints the binary package sources this machine's apt uses, one per line in
# the one-line form "deb [signed-by=KEY] URI SUITE COMPONENTS", from deb822
# files and one-line lists alike. The archives are always read from here,
# never written down.
set -eu
for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    # One deb822 stanza per paragraph: its URIs, suites, components, key.
    awk 'function out() {
             if (types ~ /(^| )deb( |$)/)
                 for (u in uris) for (s in suites)
                     printf "deb %s %s %s %s\n", key, uris[u], suites[s], comps
             types = ""; key = ""; comps = ""; split("", uris); split("", suites)
         }
         /^[ \t]*$/ { out(); next }
         /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
         /^URIs:/ { sub(/^URIs:[ \t]*/, ""); split($0, uris, /[ \t]+/) }
         /^Suites:/ { sub(/^Suites:[ \t]*/, ""); split($0, suites, /[ \t]+/) }
         /^Components:/ { sub(/^Components:[ \t]*/, ""); comps = $0 }
         /^Signed-By:/ { sub(/^Signed-By:[ \t]*/, ""); key = "[signed-by=" $0 "]" }
         END { out() }' "$f"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -n 's/^[ \t]*deb[ \t][ \t]*/deb /p' "$f"
done
