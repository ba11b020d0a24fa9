#!/usr/bin/env bash
# Plays the production in a loop, as a user would (`quellspire --loop`, full screen), for ten
# full passes through SDL's disk audio driver, and prints per pass: resident memory (the least
# and the most), GL and CL error lines, and the music's frames written sample for sample against
# those decoded from resources/sound.flac. The disk driver falls behind the clock, so a pass ends
# before its music does; what it did not write must be silence, not other samples.
# Takes about 33 minutes. Builds the player first if needed; without a display it plays on a
# virtual one (tools/with-display.sh).
# Usage: soak.sh [passes]          (default 10)
#   SOAK_BOUND_MB  how far a later pass's least may rise above the second pass's (default 48)
#   SOAK_KEEP=1    keeps the work folder (the raw audio: about 68 MB a pass)
# Exit status: 0 when every pass played the music in order and then silence, wrote no GL or CL
# error line and stayed within the bound; 1 otherwise; 2 for a bad argument.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
passes=${1:-10}
bound=${SOAK_BOUND_MB:-48}
if ! [[ "$passes" =~ ^[1-9][0-9]?$ ]]; then
    echo "soak.sh: passes must be a number from 1 to 99, not '$passes'" >&2
    exit 2
fi

if [[ ! -f build/CMakeCache.txt ]]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build --target quellspire resources_link -j2 >/dev/null

work=$(mktemp -d)
[[ "${SOAK_KEEP:-}" == 1 ]] && echo "work folder: $work" || trap 'rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw"

# Runs inside the display: starts the player, samples its memory twice a second and notes, at
# each pass's start line, where the error log and the audio stood; ends it with Escape once
# `passes` passes have ended.
play() {
    cd "$root/build"
    ./quellspire --loop </dev/null >"$work/out.log" 2>"$work/err.log" &
    local pid=$! seen=0 started now rss
    : >"$work/memory"
    : >"$work/marks"
    while kill -0 "$pid" 2>/dev/null; do
        now=$(date +%s.%N)
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
        [[ -n "$rss" ]] && echo "$now $rss" >>"$work/memory"
        started=$(grep -c 'Talvo initialized! Rock on!' "$work/out.log" || true)
        while ((seen < started)); do
            seen=$((seen + 1))
            echo "$seen $now $(wc -l <"$work/err.log") $(stat -c %s "$work/audio.raw" 2>/dev/null || echo 0)" >>"$work/marks"
        done
        if ((seen > passes)); then
            xdotool search --name '^Quellspire$' windowfocus --sync key Escape >/dev/null 2>&1 || kill -INT "$pid"
            break
        fi
        sleep 0.5
    done
    local status=0
    wait "$pid" || status=$?
    echo "$status" >"$work/status"
}
export -f play
export root work passes
tools/with-display.sh bash -c play

ffmpeg -v error -i build/resources/sound.flac -f f32le -acodec pcm_f32le -ac 2 -ar 44100 "$work/music.raw"

python3 - "$work" "$passes" "$bound" <<'EOF'
import mmap, re, sys

work, passes, bound = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
frame = 8  # stereo float, as the disk driver writes it
second = 44100 * frame

marks = [line.split() for line in open(f"{work}/marks")]
starts = [float(m[1]) for m in marks]
errlines = [int(m[2]) for m in marks]
memory = [tuple(map(float, line.split())) for line in open(f"{work}/memory")]
err = open(f"{work}/err.log", errors="replace").read().splitlines()
status = open(f"{work}/status").read().strip()
music = open(f"{work}/music.raw", "rb").read()
audible = music[(len(music) - len(music.lstrip(b"\0"))) // frame * frame:]  # from its first sound

def matched(out, at):
    """How many bytes from `at` on are the music from its start, sample for sample."""
    n, step = 0, second
    while n < len(music) and step >= frame:
        if out[at + n:at + n + step] == music[n:n + step]:
            n += min(step, len(music) - n)
        else:
            step = step // 2 // frame * frame
    return n

def rss(since, until):
    return [kb for t, kb in memory if since <= t < until]

failed = []
rows = []
with open(f"{work}/audio.raw", "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as out:
    at = 0
    for n in range(passes):
        end = starts[n + 1] if n + 1 < len(starts) else float("inf")
        # What the pass keeps: the least from its start line to the next one (the memory its
        # build took is still held as the line is written, and the next build takes as much
        # again); and the most.
        least = int(min(rss(starts[n], end) or [0])) // 1024
        peak = int(max(rss(starts[n], end) or [0])) // 1024
        lines = err[errlines[n]:errlines[n + 1] if n + 1 < len(errlines) else len(err)]
        errors = sum(1 for l in lines if re.search(r"(GL|CL)ERROR", l))
        # The pass's music: from where its first second stands, as far as it matches sample
        # for sample. The disk driver sleeps between its writes and so falls behind the clock
        # (more under load): a pass ends before the music does. What follows must be silence,
        # up to the next pass's music or, after the last, the start of the music.
        # The stream loops, so a pass whose music ran to its end may go on from the music's
        # start until the pass ends (the clock lags the device here): that is the music in
        # order too, and the next pass's music is sought after it.
        nextbegin = -1
        begin = out.find(music[:second], at)
        written = 0
        if begin >= 0:
            written = matched(out, begin)
            at = begin + written
            if written == len(music):
                at += matched(out, at)
            nextbegin = out.find(music[:second], at)
        tail = out[at:nextbegin if nextbegin >= 0 else len(out)]
        sound = (len(tail) - len(tail.lstrip(b"\0"))) // frame * frame
        heard = tail[sound:]
        foreign = begin < 0 or (heard != audible[:len(heard)] if nextbegin < 0 else len(heard) > 0)
        rows.append((n + 1, least, peak, errors, written // frame, foreign))
        if errors or foreign:
            failed.append(n + 1)

print(f"{'pass':>4} {'least MB':>10} {'peak MB':>8} {'GL/CL errors':>12} {'music frames written':>20} {'of':>8} {'then':>8}")
for n, least, peak, errors, written, foreign in rows:
    print(f"{n:>4} {least:>10} {peak:>8} {errors:>12} {written:>20} {len(music) // frame:>8} "
          f"{'FOREIGN' if foreign else 'silence':>8}")
if len(rows) > 2:
    rise = max(r[1] for r in rows[2:]) - rows[1][1]
    print(f"least from the third pass on: {rise:+} MB against the second's (bound {bound} MB)")
    if rise > bound:
        failed.append("memory")
if status != "0":
    failed.append(f"exit status {status}")
others = [l for l in err if re.search(r"ERROR", l) and not re.search(r"(GL|CL)ERROR", l)]
if others:
    print("other error lines:", *others[:10], sep="\n  ")
if len(starts) <= passes:
    failed.append(f"only {len(starts)} pass starts")
print("soak:", "failed: " + ", ".join(map(str, failed)) if failed else "passed")
sys.exit(1 if failed else 0)
EOF
