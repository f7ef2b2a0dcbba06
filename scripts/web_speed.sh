#!/usr/bin/env bash
# Builds the page on both word paths of the field (presets web and web-narrow) and prints, for
# each, the time of an update on P-256 and P-521 in headless Chromium as the browser tests measure
# it, in turns, so that a busy moment of the machine falls on both. Needs what the browser stage
# of test.sh installs and keyexchange-cli from the default preset. Usage: scripts/web_speed.sh
# [rounds, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in web web-narrow; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j 2 >/dev/null
done
for ((round = 1; round <= ${1:-3}; ++round)); do
    for preset in web web-narrow; do
        KX_PAGE="$PWD/build/$preset/web/keyexchange.html" \
            KX_CLI="$PWD/build/default/cli/keyexchange-cli" \
            node --test --test-name-pattern=secp tests/web/page.test.mjs |
            sed -n "s/^# update/$preset, round $round: update/p"
    done
done
