# Runs talvek-render on the sample trace (a file, then standard input) and on a
# missing file, and compares output, diagnostics and exit status.
#   cmake -DTOOL=<talvek-render> -DDATA=<tests/data> -DWORK=<scratch folder> -P render_check.cmake
file(READ ${DATA}/render_sample.expected expected)
file(READ ${DATA}/render_sample.errors expected_errors)

function(check what actual wanted)
    if(NOT "${actual}" STREQUAL "${wanted}")
        message(FATAL_ERROR "${what}:\n--- got\n${actual}\n--- wanted\n${wanted}")
    endif()
endfunction()

execute_process(COMMAND ${TOOL} ${DATA}/render_sample.trace
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
check("exit status with a malformed line" "${rc}" "1")
check("rows from the file" "${out}" "${expected}")
check("diagnostics" "${err}" "${expected_errors}")

execute_process(COMMAND ${TOOL} INPUT_FILE ${DATA}/render_sample.trace
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
check("exit status from standard input" "${rc}" "1")
check("rows from standard input" "${out}" "${expected}")

execute_process(COMMAND ${TOOL} ${DATA}/render_ok.trace
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
check("exit status when all lines are good" "${rc}" "0")
check("no diagnostics when all lines are good" "${err}" "")
check("rows of a good trace" "${out}" "OPEN\tC:\t\tANSI\tOk\t5A\n")

# --process: pid and comm first, empty when the line has none.
file(WRITE ${WORK}/process.trace "pid=42 comm=wine%20x func=36 drive=3 sfn=0x5A\nfunc=11 drive=3\n")
execute_process(COMMAND ${TOOL} --process ${WORK}/process.trace
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
check("exit status with --process" "${rc}" "0")
check("rows with --process" "${out}" "42\twine x\tOPEN\tC:\t\tANSI\tOk\t5A\n\t\tCLOSE\tC:\t\tANSI\tOk\t0\n")

# Names and process names with TAB, LF, ESC, CR and DEL: one row each, the
# bytes as %HH; a bad key's raw bytes escaped in its error line; a last line
# without its line end (a full disk) is cut, not a record.
string(ASCII 27 esc)
file(WRITE ${WORK}/escape.trace
     "pid=7 comm=a%09b%1B func=36 drive=3 path1=zz%0A4242%09evil.exe%09DELETE\n"
     "pid=7 comm=c%0D func=33 drive=3 result=2 path1=C:\\e%1B[2Jx%7F\n"
     "k${esc}y=1\n"
     "func=36 drive=3 path1=C:\\cut")
execute_process(COMMAND ${TOOL} --process ${WORK}/escape.trace
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
check("exit status with a cut last line" "${rc}" "1")
check("escaped rows"
      "${out}"
      "7\ta%09b%1B\tOPEN\tC:\t\tANSI\tOk\t0, zz%0A4242%09evil.exe%09DELETE\n7\tc%0D\tFILEATTRIB\tC:\t\tANSI\tFileNotFound\tC:\\e%1B[2Jx%7F\n")
check("escaped error and the cut line"
      "${err}"
      "talvek-render: line 3: k%1By: unknown key\ntalvek-render: line 4: cut: the trace ends inside it\n")

execute_process(COMMAND ${TOOL} ${DATA}/no_such.trace
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
check("exit status for a missing file" "${rc}" "2")
check("no rows for a missing file" "${out}" "")
