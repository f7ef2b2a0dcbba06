#!/usr/bin/env bash
# Checks a .deb as a teacher's machine would take it: its dependencies resolve, the desktop entry
# and the AppStream data pass their validators, it installs into a throwaway root with the files
# in their Debian places, the command-line program answers, and the installed program starts from
# its menu entry (offscreen, once).
# Usage: tests/packaging/check_deb.sh <package.deb>
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d "${TMPDIR:-/tmp}/kx-deb-root.XXXXXX")
trap 'rm -rf "$root"' EXIT

dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
name=$(dpkg-deb --field "$deb" Package)
echo "== Dependencies resolve on this system"
apt-get --simulate satisfy "$(dpkg-deb --field "$deb" Depends)" | tail -n 1

echo "== Installed into $root"
# An empty package database: the package's own files land in the root, and its dependencies are
# taken from this system, where the line above found them.
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --install "$deb" >/dev/null 2>&1
dpkg --root="$root" --status "$name" | grep -q '^Status: install ok installed$'
desktop=$(echo "$root"/usr/share/applications/*.desktop)
app_id=$(basename "$desktop" .desktop)
files=("usr/bin/keyexchange" "usr/bin/keyexchange-cli" "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/doc/$name/copyright" "usr/share/doc/$name/læsmig.pdf")
for size in 16 32 48 64 128 256; do
    files+=("usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
for file in "${files[@]}"; do
    [ -s "$root/$file" ] || { echo "missing: /$file" >&2; exit 1; }
done

echo "== Validators"
desktop-file-validate "$desktop" && echo "desktop-file-validate: no findings in $(basename "$desktop")"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"
guide="$root/usr/share/doc/$name/læsmig.pdf"
pdfinfo "$guide" | grep -E '^Title: +[^ ]'
grep -aq '/Lang (da)' "$guide" || { echo "the guide has no language" >&2; exit 1; }

echo "== The command-line program answers --help"
help=$("$root/usr/bin/keyexchange-cli" --help)
echo "${help%%$'\n'*}"

echo "== Started from the menu entry"
command=$(sed -n 's/^Exec=//p' "$desktop")
status=0
PATH="$root/usr/bin:$PATH" QT_QPA_PLATFORM=offscreen timeout 5 $command 2>/dev/null || status=$?
if [ "$status" -ne 124 ]; then
    echo "\"$command\" ended with status $status instead of running until stopped" >&2
    exit 1
fi
echo "The installed program ran until it was stopped after 5 s."
