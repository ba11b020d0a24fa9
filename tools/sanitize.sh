#!/usr/bin/env bash
# The sanitizer tiers. Run after tools/build.sh (it needs the soundtrack that build renders).
#
# tools/sanitize.sh [address]: the engine, GL, CL, text, audio and scene tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/, stopping at the first
# report. Leak detection is off: the GL and OpenCL drivers keep allocations to the end of the
# process that are not ours to free. The tests that run whole productions or the capture tool
# (minutes each) are left to the normal suite.
#
# tools/sanitize.sh thread: the player built with ThreadSanitizer in build-tsan/, and the tests
# that run it with both threads busy: the update thread's own tests and a resize storm during
# dreamscape. A report ends the player with status 66, which fails the test that ran it. Only
# reports inside the drivers and libraries we do not build (tools/tsan.supp says which and why)
# are suppressed.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-address}" == thread ]]; then
    flags=-fsanitize=thread
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
    cmake --build build-tsan -j"$(nproc)" --target app_tests
    export TSAN_OPTIONS="suppressions=$PWD/tools/tsan.supp second_deadlock_stack=1 history_size=4"
    exec tools/with-display.sh ctest --test-dir build-tsan --output-on-failure --timeout 1800 \
        -R '^(OverlappedAndSerial/UpdateThread|Resize)\.'
fi

targets=(engine_tests gl_tests cl_tests text_tests audio_tests scene_tests resources_link)
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVO_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
exec tools/with-display.sh ctest --test-dir build-sanitize --output-on-failure --timeout 600 \
    -L 'engine|gl|cl|text|audio|scenes' -E 'pictures|Pictures|wholeproduction'
