#!/usr/bin/env bash
# The long soak (not part of the test suite): 1 000 000 command/reply pairs over a
# pseudo-terminal with a peer that now and then goes silent, about ten minutes; reports
# every byte lost or corrupted and fails unless there were none.
# Usage: scripts/soak.sh [quenlex_soak options, e.g. --pairs 200000 --seed 3]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/soak
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLEX_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target quenlex_soak >/dev/null
exec "$build/tools/soak/quenlex_soak" --pairs 1000000 "$@"
