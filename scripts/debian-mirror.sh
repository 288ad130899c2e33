#!/usr/bin/env bash
# Prints the Debian bookworm mirror this machine's apt already uses (deb822 .sources or
# one-line lists); exits 1 when there is none.
mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
           /^URIs:/ {uri = $2} /^$/ {uri = ""}
           /^Suites:/ {for (i = 2; i <= NF; i++) if ($i == "bookworm" && uri != "") {print uri; exit}}')
[ -n "$mirror" ] || mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk '
           $1 == "deb" {f = 2; if ($f ~ /^\[/) {while (f < NF && $f !~ /\]$/) f++; f++}
                        if ($(f + 1) == "bookworm") {print $f; exit}}')
[ -n "$mirror" ] && echo "$mirror"
