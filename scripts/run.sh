#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs the program.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$DXC_ROOT/scripts/setup.sh"

DXC_DBF=$DXC_BUILD/tools/dxc-dbf/dxc-dbf
[[ -x $DXC_DBF ]] || dxc_die "$DXC_DBF was not built"

# --- The program ---------------------------------------------------------------
# Until the dxc program exists, show what the runtime does through dxc-dbf.
# Later: write the sample folder if missing, start the private server
# (scripts/pg-start.sh, then source "$DXC_PG/env") and run dxc in the sample
# folder with the dialog prefilled for that server.
examples=(
    'Transform(1234.5, "@E 9,999.99")'
    'Transform("jose ñúñez", "@!")'
    'DtoC(StoD("20240229"))'
    'Var2Char(1234.50)'
    'IIF(Empty(""), "vacío", "lleno")'
    'Upper("año") + Str(12.5, 8, 2)'
    'Transform(12345, "999")'
    'Eval({|a, b| IIF(a > b, a, b)}, 3, 7)'
    'Empty(0) .AND. Empty(CtoD(""))'
)
status=0
for e in "${examples[@]}"; do
    printf 'dxc-dbf eval %s\n    ' "$e"
    "$DXC_DBF" eval "$e" || status=1
done
printf 'dxc-dbf eval %s   (bad text: an error, on purpose)\n' '1 +* 2'
! "$DXC_DBF" eval '1 +* 2' 2>&1 || status=1
exit "$status"
