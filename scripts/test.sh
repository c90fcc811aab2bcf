#!/usr/bin/env bash
# Builds Karvex four times and runs every test in each build:
#   default  (gcc, optimised)            unit, integration, window and soak tests, and the Debian
#                                        package (label "package": built, unpacked, checked, run)
#   windows  (MinGW-w64, under Wine)     the core's tests on the simulated board of the default build,
#                                        and the installer (MSI) installed, upgraded and removed
#   tsan     (gcc, ThreadSanitizer)      the same suite
#   asan     (clang, AddressSanitizer + UBSan)  the same suite, plus the fuzz targets for a bounded time
# Ends with CTest's summary line of each build, the last build's last.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
# Qt's libraries are not built with ThreadSanitizer: ignore the accesses they make themselves
# (see tests/tsan.supp for why this and not suppressions).
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tests/tsan.supp"
export ASAN_OPTIONS="detect_leaks=1 abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"

# One wineserver for the whole Windows run: started per test, a server that is just ending (a few
# seconds after its last program) resets a newcomer's connection under load. Wine's services,
# which the server's first program starts, keep that program's standard error open as long as the
# server runs: they are started here, by a program of nobody's, not by the first test, whose output
# CTest would otherwise wait for until the test's time-out. What the server and the services print
# goes to a file of the build.
wine_services() {
    (
        . scripts/wine-env.sh "$PWD/build/windows/wine"
        case $1 in
            start) "$WINESERVER" -p && "$WINE64" wineboot </dev/null ;;
            stop) "$WINESERVER" -k ;;
        esac
    ) >>build/windows/wineserver.log 2>&1
}

presets=(${KARVEX_PRESETS:-default windows tsan asan})
status=0
for preset in "${presets[@]}"; do
    mkdir -p "build/$preset"
    rm -f "build/$preset/ctest.log"
    echo "=== $preset: build"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j 2; }; then
        echo "$preset: the build failed, no tests ran" >"build/$preset/ctest.log"
        status=1
        break
    fi
    echo "=== $preset: test"
    if [ "$preset" = windows ]; then
        trap 'wine_services stop || true' EXIT
        wine_services start || echo "windows: Wine's services did not start ahead of the tests"
    fi
    # Most tests wait on the simulated board rather than compute, so a few run at once.
    # The pipeline's status is left aside (a failing ctest would end the script under pipefail,
    # before the summary): the log's own summary line tells whether every test passed.
    ctest --preset "$preset" -j 3 --timeout 300 2>&1 | tee "build/$preset/ctest.log" |
        grep -v -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' || true
    grep -q "100% tests passed" "build/$preset/ctest.log" || { status=1; break; }
done

# The summary comes also when a build or a test failed, so that the log's end tells which.
echo "=== summary"
for preset in "${presets[@]}"; do
    [ -f "build/$preset/ctest.log" ] || continue
    echo "$preset:"
    grep -E "tests passed|the build failed" "build/$preset/ctest.log" || echo "$preset: no summary"
done
exit "$status"
