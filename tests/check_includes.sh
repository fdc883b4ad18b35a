#!/usr/bin/env bash
# The includes under src/ point one way: report, ports, the command exchange and the card
# readers never include the analysis run, and no two units (a header and its .cpp) include
# each other round a cycle.   tests/check_includes.sh [SRC_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/../src}"
if grep -rn '#include "core/analysis/' core/report core/ports core/apdu core/cards; then
    echo "check_includes: a lower layer includes core/analysis/" >&2
    exit 1
fi
# One edge per include from unit to unit; tsort names any loop among them.
grep -rHo '^#include "[^"]*"' --include='*.h' --include='*.cpp' . |
    sed -E 's|^\./(.*)\.(h\|cpp):#include "(.*)\.h"$|\1 \3|' | awk '$1 != $2' | tsort >/dev/null
