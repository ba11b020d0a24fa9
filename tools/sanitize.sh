#!/usr/bin/env bash
# The sanitizer tier: the engine, GL, CL, text, audio and scene tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/, stopping at the first
# report. Leak detection is off: the GL and OpenCL drivers keep allocations to the end of the
# process that are not ours to free. The tests that run whole productions or the capture tool
# (minutes each) are left to the normal suite. Run after tools/build.sh (it needs the
# soundtrack that build renders).
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(engine_tests gl_tests cl_tests text_tests audio_tests scene_tests resources_link)
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVO_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
exec tools/with-display.sh ctest --test-dir build-sanitize --output-on-failure --timeout 600 \
    -L 'engine|gl|cl|text|audio|scenes' -E 'pictures|Pictures|wholeproduction'
