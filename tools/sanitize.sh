#!/usr/bin/env bash
# The sanitizer tiers. Run after tools/test.sh (they need its test tools, and the soundtrack its
# build renders).
#
# tools/sanitize.sh [address]: the engine, GL, CL, text, audio and scene tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/, stopping at the first
# report. Leak detection is off: the GL and OpenCL drivers keep allocations to the end of the
# process that are not ours to free. The tests that run whole productions or the capture tool
# (minutes each) are left to the normal suite.
#
# tools/sanitize.sh thread: the player, the capture and the audio layer built with
# ThreadSanitizer in build-tsan/, and the tests that run them with their threads busy: the
# update thread's hand-over, the player ended by its close button and by stop signals while the
# music plays, a real-time run with its music across a scene switch, thirty resizes of a
# windowed run during dreamscape, and the audio tests (SDL's mixing thread); then an overlapped
# capture across the switch into flight. A report ends the program with status 66, which fails
# the test or the capture that ran it. Only reports inside the drivers and libraries we do not
# build (tools/tsan.supp says which and why) are suppressed.
#
# tools/sanitize.sh gldebug: with TALVO_GL_DEBUG=1, every GL context is a debug one and a fault
# the driver reports (an error or undefined behaviour, or a high or medium message) fails the
# check of the call it followed. Runs the GL, text and scene tests (not the pictures or whole
# runs, as above) and three frames of every scene and nested scene captured with
# quellspire-capture, on the build of tools/build.sh.
#
# tools/sanitize.sh interop: the native GL sharing path (cl_khr_gl_sharing), which no driver
# here offers, run under the interop layer of tests/support/interop (docs/interop.md), which
# plays that driver and ends the program with status 86 on any breach of the extension's rules.
# Runs the CL tests, every scene's pictures and the real-time run across a scene switch under
# it, then captures three frames around each cut under it and on the mapped path, which must be
# byte-identical; on the build of tools/build.sh.
#
# tools/sanitize.sh looks: one picture at every size and on every GL driver (tools/looks.sh
# --tier): twelve moments, one or more in every scene, rendered at 320x180 and 640x360 and under
# zink and softpipe, each box-filtered and held to its goal against the 1280x720 frame of
# llvmpipe; on the build of tools/build.sh. The sheet of its frames is build/looks.png.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-address}" == thread ]]; then
    flags=-fsanitize=thread
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" -DCMAKE_C_FLAGS="$flags" \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
    cmake --build build-tsan -j"$(nproc)" --target app_tests audio_tests
    export TSAN_OPTIONS="suppressions=$PWD/tools/tsan.supp second_deadlock_stack=1 history_size=4"
    tools/with-display.sh ctest --test-dir build-tsan --output-on-failure --timeout 1800 -R \
        '^((OverlappedAndSerial/UpdateThread|Resize|playback|failures|music)\.|Run\.(EndsOnTheCloseButton|SIGINT)|Viewer\.AcrossASceneSwitch)'
    frames=$(mktemp -d)
    trap 'rm -rf "$frames"' EXIT
    # A second of overlapped capture, from dreamscape's last steps into flight's first.
    if ! (cd build-tsan && ../tools/with-display.sh ./quellspire-capture --size 64x48 --fps 30 --from 135.5 \
        --frames 30 -o "$frames/%02d.png" >"$frames/log" 2>&1); then
        cat "$frames/log"
        exit 1
    fi
    echo "overlapped capture into flight under ThreadSanitizer: no report"
    exit 0
fi

if [[ "${1:-address}" == gldebug ]]; then
    export TALVO_GL_DEBUG=1
    # Not the test of two fresh contexts' own bindings: llvmpipe notes its first draws there as
    # shader variants compiled (performance, medium), which says nothing of our calls.
    tools/with-display.sh ctest --test-dir build --output-on-failure --timeout 600 \
        -L 'gl|text|scenes' -E 'pictures|Pictures|wholeproduction|EachContextKeepsItsOwnBindings'
    frames=$(mktemp -d)
    trap 'rm -rf "$frames"' EXIT
    # opening's title, particles and lines; entryway and its tunnel; dreamscape; flight; credits.
    for at in 5 20 40 60 80 110 145 175; do
        if ! (cd build && ../tools/with-display.sh ./quellspire-capture --from "$at" --frames 3 \
            -o "$frames/$at-%d.png" >"$frames/log" 2>&1); then
            cat "$frames/log"
            exit 1
        fi
    done
    echo "captures of every scene on debug contexts: no fault"
    exit 0
fi

if [[ "${1:-address}" == looks ]]; then
    exec tools/looks.sh --tier -o build/looks.png
fi

if [[ "${1:-address}" == interop ]]; then
    cmake --build build -j"$(nproc)" --target cl_interop
    layer=$PWD/build/tests/libcl_interop.so
    tools/with-display.sh env LD_PRELOAD="$layer" ctest --test-dir build --output-on-failure --timeout 900 -L cl
    tools/with-display.sh env LD_PRELOAD="$layer" ctest --test-dir build --output-on-failure --timeout 900 \
        -R '^([a-z]+pictures\.|Viewer\.AcrossASceneSwitch)'
    frames=$(mktemp -d)
    trap 'rm -rf "$frames"' EXIT
    cmake --build build -j"$(nproc)" --target scenetimes
    cuts=$(build/tools/scenetimes | awk '$1 != "end" && $3 != "nested" && $2 > 0 { print $2 }')
    for cut in $cuts; do
        for path in mapped native; do
            preload=()
            [[ $path == native ]] && preload=(env LD_PRELOAD="$layer")
            mkdir -p "$frames/$path"
            # The frame before the cut, the cut's own and the one after.
            if ! (cd build && ../tools/with-display.sh "${preload[@]}" ./quellspire-capture --size 640x360 --fps 20 \
                --from "$((cut - 1)).95" --frames 3 -o "$frames/$path/$cut-%d.png" >"$frames/$path.log" 2>&1); then
                cat "$frames/$path.log"
                exit 1
            fi
        done
        if ! grep -q ": GL buffers shared natively (cl_khr_gl_sharing)$" "$frames/native.log"; then
            cat "$frames/native.log"
            echo "the capture under the interop layer did not share natively" >&2
            exit 1
        fi
        for k in 0 1 2; do
            cmp "$frames/mapped/$cut-$k.png" "$frames/native/$cut-$k.png"
        done
    done
    echo "the native path under the interop layer: no violation, and the frames around every cut as mapped"
    exit 0
fi

targets=(engine_tests gl_tests cl_tests text_tests audio_tests scene_tests resources_link)
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVO_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
exec tools/with-display.sh ctest --test-dir build-sanitize --output-on-failure --timeout 600 \
    -L 'engine|gl|cl|text|audio|scenes' -E 'pictures|Pictures|wholeproduction'
