#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) into
# build-fuzz/ and runs each for the number of seconds given as $1 (default 30), starting from
# the test fixtures. One line per target; exits non-zero when any target crashed or broke a
# promise. The inputs that did are left under build-fuzz/findings/<target>/.
#   KERVO_FUZZ_TARGETS="mime header"  runs only these targets
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=$root/build-fuzz
targets=${KERVO_FUZZ_TARGETS:-settings mime header imap}

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
flags+=" -fno-omit-frame-pointer -gline-tables-only"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKERVO_BUILD_FUZZERS=ON -DKERVO_BUILD_TESTS=OFF -DKERVO_BUILD_FAULTS=OFF \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j "$(nproc)" --target $(printf 'kervo_fuzz_%s ' $targets) >/dev/null

# Seeds: copied afresh from the fixtures and the saved regressions at every run, never kept in
# the repository. The corpus the fuzzers grow stays in build-fuzz/ between runs.
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{settings,mime,header,imap}
marker='<<server.ini>>'
join_settings() { { cat "$1"; printf '%s' "$marker"; cat "$2"; } >"$3"; }
join_settings "$root/samples/kervo.ini" "$root/samples/server.ini" "$seeds/settings/samples"
join_settings "$root/demo/kervo.ini.in" "$root/demo/server.ini" "$seeds/settings/demo"
# The shapes the settings tests write: CR, LF and CR LF line ends, quotes, numbers, a comma at
# the very end, a record over two lines.
head=$'back.png\r\nalarm.gif\r\ndial.bmp\r\ndialalarm.gif\r\n120\r\npop.example\r\nwatch\r\npw\r\n'
printf '%s' "$head"$'"R1","a","b","m, with comma"\r\nR2,007,-1.5,\r\n'"$marker"$'"A","c A"\r\nB,""\r\n' \
    >"$seeds/settings/usual"
printf '%s' "${head//$'\r\n'/$'\n'}"$'R,x,y\nz\n'"$marker"$'h,c' >"$seeds/settings/lf"
printf '%s' "${head//$'\r\n'/$'\r'}"$'R," q\r",y,'"$marker"$'h,\r' >"$seeds/settings/cr"
for mail in "$root"/tests/mail/mime/data/*.eml; do
    cp "$mail" "$seeds/mime/"
    # Each header of the mail, folding included, as a header value on its own.
    awk -v out="$seeds/header/$(basename "$mail" .eml)" '
        /^\r?$/ { exit }
        /^[ \t]/ { if (n) printf "%s\n", $0 >> (out "-" n); next }
        { n++; sub(/^[^:]*:[ \t]*/, ""); printf "%s\n", $0 > (out "-" n) }' "$mail"
done
# A session as a server speaks it; the first byte chooses how the network splits it.
printf '%s' $'\x07* OK [CAPABILITY IMAP4rev1 IDLE UIDPLUS] ready\r\n* 2 EXISTS\r\n'\
$'* OK [UIDVALIDITY 1700000000] UIDs valid\r\nk1 OK [READ-WRITE] done\r\n'\
$'* 1 FETCH (UID 7 RFC822.SIZE 12 FLAGS (\\Seen \\Deleted))\r\n'\
$'* 1 FETCH (UID 7 BODY[] {12}\r\nSubject: a\r\n)\r\n* LIST (\\Noselect) "/" "a \\"b\\""\r\n'\
$'* SEARCH 1 2 9\r\n+ idling\r\n* BYE bye\r\nk2 NO [TRYCREATE] no\r\n' >"$seeds/imap/session"
for target in $targets; do
    if [ -d "$root/fuzz/regressions/$target" ]; then
        cp "$root/fuzz/regressions/$target"/* "$seeds/$target/" 2>/dev/null || true
    fi
done

status=0
for target in $targets; do
    seed=$target
    corpus=$build/corpus/$target
    findings=$build/findings/$target
    mkdir -p "$corpus" "$findings"
    dict=()
    [ -f "$root/fuzz/dict/$seed.dict" ] && dict=(-dict="$root/fuzz/dict/$seed.dict")
    log=$build/fuzz-$target.log
    set +e
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/kervo_fuzz_$target" "$corpus" "$seeds/$seed" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
        -artifact_prefix="$findings/" -print_final_stats=1 \
        >"$log" 2>&1
    rc=$?
    set -e
    runs=$(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | awk '{ print $2 }')
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
    if [ $rc -eq 0 ]; then
        echo "fuzz $target: ok, ${runs:-?} runs in ${seconds}s, coverage ${cov:-?}"
    else
        found=$(ls -t "$findings" 2>/dev/null | head -1)
        echo "fuzz $target: FAILED (exit $rc), input $findings/${found:-?}, log $log"
        grep -m1 -E 'ERROR: |runtime error: |SUMMARY: |^kervo|: [a-z_]+: ' "$log" | sed 's/^/    /' || true
        status=1
    fi
done
exit $status
