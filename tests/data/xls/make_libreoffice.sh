#!/usr/bin/env bash
# Makes libreoffice_wages.xls: the .xlsx wage table of tests/e2e/xls (made with openpyxl) saved as
# .xls by LibreOffice Calc, whose BIFF8 writer lays records out as Excel does (STYLE records, used-
# attribute flags, EXTSST, ...). Needs `apt-get install libreoffice-calc-nogui` on the machine
# that makes the file; the tests only read the committed result.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 -c "
import sys; sys.path.insert(0, '$here/../../e2e/xls')
import test_xls_export
test_xls_export.make_xlsx('$work/libreoffice_wages.xlsx')"
soffice --headless -env:UserInstallation=file://$work/profile \
    --convert-to 'xls:MS Excel 97' --outdir "$work" "$work/libreoffice_wages.xlsx" >/dev/null
cp "$work/libreoffice_wages.xls" "$here/libreoffice_wages.xls"
