#!/usr/bin/env bash
# Kills the real program's quick add at random moments of its save, several hundred times, and
# prints how often the script was lost (tests/e2e/SaveKillTrials.cpp says how): on a script saved
# by a rename, then on one saved in place (a script with a second name), where each kill is
# followed by the next start of the program, which puts back what the journal holds. The test
# suite runs the same program with a few dozen trials (the tests e2e_save_kill and
# e2e_save_kill_in_place).
#   tools/kill-trials.sh [TRIALS [PATTERNS [WAY]]]   (default 400 trials, 300,000 patterns, both ways;
#                                                     WAY rename or in-place for one of them)
# About 1.5 s a trial by rename, 3 s in place. Never fails on the figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
trials=${1:-400}
patterns=${2:-300000}
ways=${3:-rename in-place}
bash tools/setup.sh
# The 32-bit program where this host runs 32-bit programs, else its x86-64 build (tools/host-arch.sh).
source tools/host-arch.sh
source tools/build.sh
preset=$(morvanti_run_preset mingw)
build=build/$preset
morvanti_build "$preset" "the program and the kill trials for $MORVANTI_RUN_ARCH" "about 2 minutes" \
    morvanti save_kill_trials
export MORVANTI_WINEPREFIX="$root/$build/wineprefix"
source tools/wine-env.sh
trap morvanti_wine_stop EXIT
morvanti_wine_start
for way in $ways; do
    echo "kill-trials: $trials trials on a script of $patterns patterns saved by $way ($MORVANTI_RUN_ARCH build)"
    wine "$build/tests/e2e/save_kill_trials.exe" "$(winepath -w "$build/app/morvanti.exe")" "$trials" "$patterns" \
        "$way" </dev/null || true
done
