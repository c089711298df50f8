# Writes revision.h with the 40-hex-digit commit of the source tree, or 40
# zeros when the tree is not a git checkout. Rewrites only on change so that
# nothing recompiles needlessly.
set(rev "0000000000000000000000000000000000000000")
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse HEAD
        WORKING_DIRECTORY ${SOURCE_DIR}
        OUTPUT_VARIABLE out RESULT_VARIABLE res
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(res EQUAL 0 AND out MATCHES "^[0-9a-f]+$")
        string(LENGTH "${out}" len)
        if(len EQUAL 40)
            set(rev "${out}")
        endif()
    endif()
endif()
set(content "#pragma once\n#define TAVIK_REVISION \"${rev}\"\n")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${content}")
    file(WRITE ${OUTPUT} "${content}")
endif()
