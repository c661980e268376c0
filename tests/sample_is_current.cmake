# Runs the sample generator (through RUNNER, for a cross build) and checks
# that it writes exactly the committed SAMPLE.
separate_arguments(RUNNER)
execute_process(COMMAND ${RUNNER} ${GENERATOR} sample_regenerated.nes RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files sample_regenerated.nes ${SAMPLE}
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "sample_regenerated.nes differs from ${SAMPLE}; regenerate it")
endif()
