# Finishes the linked uninstaller FILE: appends its 8-byte placeholder (an end
# record, so an uninstaller no setup has written to reads as empty data) and
# writes the resulting file length into its configuration block
# ('w' 'w' "UnIn" u32 size).
execute_process(COMMAND sh -c "printf '\\177\\177\\0\\0\\0\\0\\0\\0' >> '${FILE}'" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${FILE}: could not append the placeholder")
endif()
set(MARKER "7777556e496e")
set(WHAT uninstaller)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/stamp-own-length.cmake)
