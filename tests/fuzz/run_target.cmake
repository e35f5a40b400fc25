# Runs one fuzz target for a bounded time over a scratch corpus in the build tree, seeded
# from the repository's corpus, which it never writes. Any finding fails; libFuzzer saves
# the input that caused it in WORK/findings/.
#   cmake -DFUZZER=exe -DSEEDS=dir -DWORK=dir -DSECONDS=n -P run_target.cmake
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/findings)
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -max_len=600 -timeout=10 -print_final_stats=1
          -artifact_prefix=${WORK}/findings/ ${WORK}/corpus
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} found a fault (exit ${result}); input in ${WORK}/findings/")
endif()
