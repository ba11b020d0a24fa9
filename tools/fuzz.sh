#!/usr/bin/env bash
# The fuzz tier: each reader of outside input (the player's command line, the capture's
# options, the segment labels the join reads) fuzzed by libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, built with clang into build-fuzz/.
#
# tools/fuzz.sh [SECONDS [HARNESS...]]: each harness (default: all three) for SECONDS (default
# 60), starting from its corpus in tests/fuzz/corpus/<harness>/. An input that crashes, hangs
# for 10 s or is accepted against the rules ends the run with status 1; libFuzzer writes it
# into build-fuzz/finds/ (minimise it with `build-fuzz/fuzz_<harness> -minimize_crash=1
# -runs=10000 FILE`, and add it to the corpus with its mend). New inputs that reach new code
# go to build-fuzz/grown/<harness>/, never into the repository's corpus: that one is chosen
# by hand. The normal test suite replays the corpus (ctest -L fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
all=(commandline captureoptions segmentlabel)
harnesses=("$@")
((${#harnesses[@]})) || harnesses=("${all[@]}")
for harness in "${harnesses[@]}"; do
    if ! [[ "$seconds" =~ ^[1-9][0-9]*$ && " ${all[*]} " == *" $harness "* ]]; then
        echo "usage: tools/fuzz.sh [SECONDS [HARNESS...]] (harnesses: ${all[*]})" >&2
        exit 2
    fi
done

# clang and its libFuzzer runtime (clang 14 is Debian 12's).
bash tools/install-deps.sh clang libclang-rt-14-dev
cmake -S tests/fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j2 --target "${harnesses[@]/#/fuzz_}"

root=$PWD
mkdir -p build-fuzz/finds
# The capture's options check that their paths can be written: relative ones name files in
# this empty directory, and nothing is created there.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for harness in "${harnesses[@]}"; do
    grown=$root/build-fuzz/grown/$harness
    mkdir -p "$grown"
    echo "== $harness: $seconds s"
    # -max_len: a word of a command line may be 128 KiB long (MAX_ARG_STRLEN), and a label
    # is whatever a segment's tag holds.
    (cd "$scratch" && "$root/build-fuzz/fuzz_$harness" -max_total_time="$seconds" -timeout=10 -max_len=131072 \
        -print_final_stats=1 -artifact_prefix="$root/build-fuzz/finds/$harness-" \
        "$grown" "$root/tests/fuzz/corpus/$harness") 2>"build-fuzz/$harness.log" || status=1
    # The figures: executions per second and the coverage reached.
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec)' "build-fuzz/$harness.log" || true
    if ((status)); then
        tail -n 40 "build-fuzz/$harness.log" >&2
        echo "fuzz: $harness found a fault; its input is in build-fuzz/finds/" >&2
        exit 1
    fi
done
