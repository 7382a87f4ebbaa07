# Pixels must not depend on the -march a user builds with: a compiler that
# may contract a * b + c into one rounding changes the bits of the scalar
# paths that the vector lanes and the stored files are compared with. The
# engine's and the document's object code must hold no fused multiply-add.
# (The libraries' own code, such as MPFR's, is not in these archives.)
find_program(OBJDUMP NAMES objdump REQUIRED)
foreach(lib ${ENGINE} ${DOCUMENT})
    execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${lib}
        OUTPUT_VARIABLE code RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "objdump could not read ${lib}")
    endif()
    string(REGEX MATCHALL "[^\n]*\tv?fn?m(add|sub)[0-9a-z]*[^\n]*" hits "${code}")
    list(LENGTH hits count)
    if(count GREATER 0)
        list(SUBLIST hits 0 5 first)
        string(REPLACE ";" "\n" first "${first}")
        message(FATAL_ERROR "${lib} holds ${count} fused multiply-adds, such as:\n${first}")
    endif()
    string(LENGTH "${code}" size)
    if(size LESS 10000)
        message(FATAL_ERROR "${lib} disassembled to almost nothing")
    endif()
endforeach()
