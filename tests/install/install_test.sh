#!/usr/bin/env bash
# Installs the built project into a fresh prefix and checks what lands there; a second install
# over the first must keep an Archivio.xls that is already there (the office's register).
set -euo pipefail
build_dir=$1
cmake=${2:-cmake}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/Clivara 2008"  # a space in the path, as a user's folder may have

fail() { echo "FALLITO: $*" >&2; exit 1; }

"$cmake" --install "$build_dir" --prefix "$prefix" >"$scratch/install1.log"
for file in bin/clivara bin/clivara-archivio bin/clivara-elenco; do
    [ -x "$prefix/$file" ] || fail "$file non installato o non eseguibile"
done
[ -f "$prefix/bin/Archivio.xls" ] || fail "manca bin/Archivio.xls"
"$prefix/bin/clivara-archivio" check "$prefix/bin/Archivio.xls" >/dev/null \
    || fail "l'archivio installato non è sano"
# The installed tool writes the printed list through the program installed beside it.
"$prefix/bin/clivara-archivio" elenco "$prefix/bin/Archivio.xls" "$scratch/elenco.pdf" \
    2>"$scratch/elenco.log" || fail "elenco non riuscito: $(cat "$scratch/elenco.log")"
[ -s "$scratch/elenco.pdf" ] || fail "elenco non ha scritto il PDF"

desktop="$prefix/share/applications/clivara.desktop"
icon="$prefix/share/icons/hicolor/scalable/apps/clivara.svg"
[ -f "$desktop" ] || fail "manca la voce del desktop"
[ -f "$icon" ] || fail "manca l'icona"
grep -qx "Exec=\"$prefix/bin/clivara\"" "$desktop" || fail "Exec non nomina il programma installato"
grep -qx "Icon=clivara" "$desktop" || fail "Icon non nomina l'icona installata"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop"
fi

# The office's register, with customers, stands where the empty one was.
"$prefix/bin/clivara-archivio" sample "$scratch/sample.xls" >/dev/null
cp "$scratch/sample.xls" "$prefix/bin/Archivio.xls"
"$cmake" --install "$build_dir" --prefix "$prefix" >"$scratch/install2.log"
cmp -s "$scratch/sample.xls" "$prefix/bin/Archivio.xls" || fail "la seconda installazione ha sostituito l'archivio"

# The manifest lists what an uninstall removes: the programs, the desktop entry and the icon,
# never the archive.
manifest="$build_dir/install_manifest.txt"
[ -f "$manifest" ] || fail "manca install_manifest.txt"
grep -qx "$prefix/bin/clivara-archivio" "$manifest" || fail "il manifesto non elenca lo strumento"
grep -qx "$desktop" "$manifest" || fail "il manifesto non elenca la voce del desktop"
if grep -q "Archivio.xls" "$manifest"; then
    fail "il manifesto elenca l'archivio: una disinstallazione lo cancellerebbe"
fi
echo "installazione verificata in $prefix"
