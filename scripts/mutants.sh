#!/usr/bin/env bash
# Mutation testing: how many small faults put into the product code do the tests catch?
#
#   bash scripts/mutants.sh [options] [folder...]     folders: session firmware serial terminal
#                                                      flasher i18n (default: all six)
#   --seed N          sample seed (default 1); the same seed and code give the same mutants
#   --per-folder N    mutants per folder (default 30)
#   --list            print every candidate of the folders (id and change) and stop
#   --sample          print the sampled mutants and stop
#   --mutant ID       replay one mutant (an id from the lists or a report), showing the tests'
#                     output; may be given more than once
#
# A mutant is one change at one place in a folder's .cpp files that this build compiles (tests,
# fuzz targets and the Windows backends are left out): an operator swapped, an integer constant
# moved by one, a condition negated or a call statement removed. The tree is copied to
# build/mutants/src (the checkout itself is never changed) and built once in build/mutants/build
# (the dev preset, without the window and benchmarks); each mutant is then applied, ninja
# rebuilds what it touches, and the tests of that folder run with a time limit. A mutant that
# does not compile is "stillborn"; one that makes the tests fail or hang is killed. It prints
# the figures per folder and every survivor, and exits 0: a measurement, not a gate. The sample
# is chosen by a seeded hash of each place's line text, so editing other lines leaves it as it
# was. Survivors listed in scripts/mutants-equivalent.tsv (id, change and why the behaviour
# cannot differ, tab-separated) are shown apart with that reason; they still count as
# survivors.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
helper="$root/scripts/mutants.py"
work="$root/build/mutants"
src="$work/src"
bld="$work/build"
results="$work/results.tsv"
logs="$work/logs"

# The test executables that exercise each folder without a display, as tests/<dir>/<target>
# (run in that build folder, like CTest does), quickest first: the first failure ends the run.
# The session is also driven by the simulated device's tests and by tarvel-flash's program
# tests and fault campaign; the serial component also by the simulated device through a real
# port.
declare -A suites=(
    [serial]="serial/tarvel_serial_tests sim/tarvel_sim_serial_tests"
    [session]="session/tarvel_session_rule_tests sim/tarvel_sim_tests session/tarvel_session_tests flasher/tarvel_flasher_tests flasher/tarvel_flash_campaign_tests"
    [firmware]="firmware/tarvel_firmware_tests sim/tarvel_sim_tests flasher/tarvel_flasher_tests"
    [terminal]="terminal/tarvel_terminal_tests"
    [flasher]="flasher/tarvel_flasher_tests flasher/tarvel_flash_campaign_tests"
    [i18n]="i18n/tarvel_i18n_system_tests i18n/tarvel_i18n_tests"
)
# The fault campaign runs 100 of its 300 sessions (seeds 1-100) for each mutant.
export TARVEL_CAMPAIGN_SESSIONS=100

seed=1
per_folder=30
mode=run
replay=()
folders=()
while (($#)); do
    case "$1" in
    --seed) seed=$2; shift ;;
    --per-folder) per_folder=$2; shift ;;
    --list) mode=list ;;
    --sample) mode=sample ;;
    --mutant) mode=replay; replay+=("$2"); shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "mutants: unknown option $1" >&2; exit 2 ;;
    *)
        [[ -v "suites[$1]" ]] || { echo "mutants: no folder '$1' (${!suites[*]})" >&2; exit 2; }
        folders+=("$1") ;;
    esac
    shift
done
((${#folders[@]})) || folders=(session firmware serial terminal flasher i18n)
if [ "$mode" = replay ]; then
    folders=()
    for id in "${replay[@]}"; do folders+=("${id%%/*}"); done
fi

# Two shared cores: everything below runs at the lowest priority.
renice -n 19 -p $$ >/dev/null
ionice -c 3 -p $$ 2>/dev/null || true
started=$(date +%s)

Targets() { # the test executables' targets of the given folders, once each
    local f t
    for f in "$@"; do for t in ${suites[$f]}; do echo "${t#*/}"; done; done | sort -u
}

Say() { printf '%s\n' "$*" >&2; }

# The scratch copy: the checkout's tracked and untracked (not ignored) files, rewritten only
# where they differ, so ninja rebuilds only what changed since the last run.
mkdir -p "$src" "$logs"
(cd "$root" && git ls-files -z -co --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done) |
    python3 "$helper" sync "$root" "$src"

if [ ! -f "$bld/build.ninja" ]; then
    Say "== configuring $bld"
    (cd "$src" && cmake --preset dev -B "$bld" -DTARVEL_BUILD_GUI=OFF -DTARVEL_BUILD_BENCH=OFF \
        >"$logs/configure.log" 2>&1) || { cat "$logs/configure.log" >&2; exit 1; }
fi

FilesOf() { python3 "$helper" files "$bld/compile_commands.json" "$src" "$1"; }

if [ "$mode" = list ] || [ "$mode" = sample ]; then
    for f in "${folders[@]}"; do
        mapfile -t files < <(FilesOf "$f")
        if [ "$mode" = list ]; then
            python3 "$helper" list "$src" "${files[@]}"
        else
            python3 "$helper" sample "$src" "$seed" "$per_folder" "$f" "${files[@]}"
        fi
    done
    exit 0
fi

mapfile -t targets < <(Targets "${folders[@]}")
Say "== building ${targets[*]}"
if ! cmake --build "$bld" --target "${targets[@]}" -j1 >"$logs/build.log" 2>&1; then
    tail -n 40 "$logs/build.log" >&2
    Say "mutants: the unchanged tree does not build"
    exit 1
fi

# A test that failed or was stopped may leave a program it started (tarvel-flash, a simulated
# device) running, and a mutant may keep that program busy: whatever still runs from this
# build's bin/ once the tests have ended is ended, by its id.
EndStrays() {
    local p exe
    for p in /proc/[0-9]*; do
        exe=$(readlink "$p/exe" 2>/dev/null) || continue
        case "$exe" in "$bld/bin/"*) kill -9 "${p#/proc/}" 2>/dev/null || true ;; esac
    done
}

# Runs one folder's tests, stopping at the first failure. Prints killed, timeout or survived.
# Each test executable's time limit comes from its run on the unchanged tree; a replayed
# mutant, which skips that run, has two minutes.
declare -A limit=()
RunTests() {
    local folder=$1 verbose=$2 t out
    for t in ${suites[$folder]}; do
        out=/dev/null
        [ "$verbose" = 1 ] && out=/dev/stderr
        local rc=0
        # (the subshell's own notes, such as "Segmentation fault", are not the tests' output)
        (cd "$bld/tests/${t%%/*}" &&
            timeout -k 5 "${limit[$t]:-120}" "$bld/bin/${t#*/}" --gtest_fail_fast --gtest_brief=1 \
                >"$out" 2>&1 </dev/null) 2>/dev/null || rc=$?
        EndStrays
        if ((rc == 124 || rc == 137)); then echo timeout; return; fi
        if ((rc != 0)); then echo killed; return; fi
    done
    echo survived
}

# The file a mutant changed is put back however the script ends.
applied=""
Restore() {
    if [ -n "$applied" ]; then
        cp "$work/original" "$src/$applied" # a fresh time: ninja rebuilds it from the original
        applied=""
    fi
}
trap Restore EXIT
trap 'Restore; exit 130' INT TERM

# Applies one mutant, rebuilds, runs the tests; sets status. Not in a subshell, so that an
# interrupt finds the changed file to put back.
status=""
RunMutant() {
    local id=$1 folder=${1%%/*} verbose=$2 file=${1%%:*}
    cp "$src/$file" "$work/original"
    applied=$file
    python3 "$helper" apply "$src" "$id" >/dev/null
    if [ "$verbose" = 1 ]; then
        diff -u "$work/original" "$src/$file" | sed -n '3,$p' >&2 || true
    fi
    mapfile -t mine < <(Targets "$folder")
    if ! timeout 900 cmake --build "$bld" --target "${mine[@]}" -j1 >"$logs/mutant.log" 2>&1; then
        status=stillborn
        if [ "$verbose" = 1 ]; then grep -m 5 'error' "$logs/mutant.log" >&2 || true; fi
    else
        status=$(RunTests "$folder" "$verbose")
    fi
    Restore
}

if [ "$mode" = replay ]; then
    for id in "${replay[@]}"; do
        Say "== $id"
        RunMutant "$id" 1
        echo "$id: $status"
    done
    exit 0
fi

# The unchanged tests must pass, and their time sets each one's limit: three times as long
# plus half a minute, so a loaded machine is not taken for a hang.
for f in "${folders[@]}"; do
    for t in ${suites[$f]}; do
        [ -n "${limit[$t]:-}" ] && continue
        t0=$(date +%s%N)
        rc=0
        (cd "$bld/tests/${t%%/*}" && timeout 600 "$bld/bin/${t#*/}" --gtest_brief=1 \
            >"$logs/baseline-${t#*/}.log" 2>&1 </dev/null) || rc=$?
        seconds=$((($(date +%s%N) - t0) / 1000000000))
        if ((rc != 0)); then
            Say "mutants: ${t#*/} fails on the unchanged tree (see $logs/baseline-${t#*/}.log)"
            exit 1
        fi
        limit[$t]=$((3 * seconds + 30))
        Say "   ${t#*/}: ${seconds} s unchanged, limit ${limit[$t]} s"
    done
done

: >"$results"
declare -a plan=()
for f in "${folders[@]}"; do
    mapfile -t files < <(FilesOf "$f")
    while IFS= read -r line; do plan+=("$f"$'\t'"$line"); done \
        < <(python3 "$helper" sample "$src" "$seed" "$per_folder" "$f" "${files[@]}")
done

n=0
for entry in "${plan[@]}"; do
    IFS=$'\t' read -r folder id change <<<"$entry"
    n=$((n + 1))
    t0=$(date +%s)
    RunMutant "$id" 0
    seconds=$(($(date +%s) - t0))
    printf '%s\t%s\t%s\t%s\t%s\n' "$id" "$folder" "$status" "$seconds" "$change" >>"$results"
    printf '[%d/%d] %-9s %4ss  %s  %s\n' "$n" "${#plan[@]}" "$status" "$seconds" "$id" "$change"
done

python3 "$helper" report "$results" "$(($(date +%s) - started))" "$root/scripts/mutants-equivalent.tsv"
exit 0
