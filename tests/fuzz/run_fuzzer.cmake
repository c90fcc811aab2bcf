# Runs one fuzz target for a bounded time from a scratch copy of its seed corpus.
#   cmake -DFUZZER=<exe> -DSEEDS=<dir> -DSCRATCH=<dir> -DSECONDS=<n> -P run_fuzzer.cmake
# Fails on a crash, a sanitizer report, an input slower than 5 s or more than 2 GiB of memory.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}/corpus" "${SCRATCH}/artifacts")
file(GLOB seeds "${SEEDS}/*")
if(seeds)
    file(COPY ${seeds} DESTINATION "${SCRATCH}/corpus")
endif()
execute_process(
    COMMAND "${FUZZER}"
        -max_total_time=${SECONDS}
        -timeout=5
        -rss_limit_mb=2048
        -print_final_stats=1
        -artifact_prefix=${SCRATCH}/artifacts/
        "${SCRATCH}/corpus"
    RESULT_VARIABLE result
    ERROR_VARIABLE log)
string(REGEX REPLACE ".*stat::number_of_executed_units: *([0-9]+).*" "\\1" executions "${log}")
string(REGEX REPLACE ".*stat::peak_rss_mb: *([0-9]+).*" "\\1" rss "${log}")
if(NOT result EQUAL 0)
    message("${log}")
    message(FATAL_ERROR "fuzzer failed (${result}); the input that broke it is in ${SCRATCH}/artifacts")
endif()
file(GLOB corpus "${SCRATCH}/corpus/*")
list(LENGTH corpus corpusSize)
message("${executions} executions in ${SECONDS} s, peak ${rss} MiB, corpus ${corpusSize} inputs")
