#!/usr/bin/env bash
# Opens every good fixture, edited the way edited_fixtures_test edits it, in LibreOffice (not
# installed on CI, hence a script to run by hand):
#   tests/manual/libreoffice_edited.sh BUILD_DIR [OUT_DIR]
# For each file it shows what LibreOffice prints besides its usual lines, the cells of the
# customer sheet where LibreOffice and `clivara-archivio dump` differ (for the edited file and,
# as a baseline, for the original), and for lo-features the merged cells, notes and links as
# LibreOffice places them in its HTML export.
set -uo pipefail
build=$(cd "${1:?build folder}" && pwd)
out=${2:-$(mktemp -d)}
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/../fixtures
profile=file:///tmp/lo-clivara-manual
filter='csv:Text - txt - csv (StarCalc):44,34,76,1,,1040,false,true,true,false,false,-1'
mkdir -p "$out/xls" "$out/lo" "$out/orig"

CLIVARA_EDITED_DIR="$out/xls" "$build/tests/edited_fixtures_test" >"$out/test.log" 2>&1 ||
    echo "edited_fixtures_test non riuscito: vedi $out/test.log"

lo_convert() {  # filter files... folder: prints what LibreOffice says beyond its usual lines
    local filter=$1 folder=${!#}
    soffice -env:UserInstallation=$profile --headless --convert-to "$filter" --outdir "$folder" \
        "${@:2:$#-2}" 2>&1 |
        grep -v -e '^convert ' -e '^Writing sheet ' -e 'failed to launch javaldx'
}

customer_csv() {  # folder base: LibreOffice's CSV of the customer sheet
    ls "$1/$2"-*.csv 2>/dev/null | grep -i -- "-clienti\.csv$" | head -1
}

# One LibreOffice run for all the edited files, one for their originals.
complaints=$(lo_convert "$filter" "$out"/xls/*.xls "$out/lo")
[ -z "$complaints" ] || echo "LibreOffice: $complaints"
originals=()
for file in "$out"/xls/*.xls; do originals+=("$fixtures/$(basename "$file")"); done
lo_convert "$filter" "${originals[@]}" "$out/orig" >/dev/null

for file in "$out"/xls/*.xls; do
    name=$(basename "$file" .xls)
    echo "== $name"
    edited_csv=$(customer_csv "$out/lo" "$name")
    if [ -n "$edited_csv" ]; then
        "$build/clivara-archivio" dump "$file" >"$out/$name.json"
        "$build/clivara-archivio" dump "$fixtures/$name.xls" >"$out/$name.orig.json"
        echo " modificato:"
        /usr/bin/python3 "$here/compare_lo_csv.py" "$out/$name.json" "$edited_csv"
        echo " originale:"
        /usr/bin/python3 "$here/compare_lo_csv.py" "$out/$name.orig.json" \
            "$(customer_csv "$out/orig" "$name")"
    else
        echo "  nessun foglio Clienti"
    fi
done

if [ -f "$out/xls/lo-features.xls" ]; then
    echo "== lo-features in HTML ($out/lo/lo-features.html)"
    lo_convert html "$out/xls/lo-features.xls" "$out/lo"
    /usr/bin/python3 - "$out/lo/lo-features.html" <<'PY'
import re, sys
html = open(sys.argv[1], encoding='utf-8', errors='replace').read()
table = html.split('<table', 1)[1].split('</table>', 1)[0]
for number, row in enumerate(re.findall(r'<tr.*?</tr>', table, re.S), 1):
    for cell in re.findall(r'<td([^>]*)>(.*?)</td>', row, re.S):
        attrs, body = cell
        span = ' '.join(re.findall(r'(?:rowspan|colspan)=\S+', attrs))
        link = re.search(r'href="([^"]+)"', body)
        note = re.search(r'<comment>(.*?)</comment>', body, re.S)
        if span or link or note:
            text = re.sub(r'<comment>.*?</comment>|<[^>]+>', '', body, flags=re.S).strip()[:30]
            print('  riga %d: %s%s%s %r' % (number, span, ' link ' + link.group(1) if link else '',
                                           ' nota ' + note.group(1) if note else '', text))
PY
fi
echo "file in $out"
