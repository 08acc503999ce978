# SPDX-License-Identifier: MIT
# Runs vela-host check on a Windows module under the emulator and compares the verdicts: the
# check EXPECT names (CHECK=VERDICT:TEXT) must answer VERDICT with TEXT in its line, every
# other check must pass or be skipped; with EXPECT "noskip" every check must pass. The editor
# is checked only with GUI on.
#
# SEARCH_FOLDERS, separated by |, are where wine looks for DLLs as well.
#
# cmake -DTOOL=vela-host.exe -DEMULATOR=wine-run.sh -DMODULE=module.dll -DEXPECT=... [-DGUI=ON]
#       [-DSEARCH_FOLDERS=...] -P check_verdicts.cmake

# Wine reads the search path as Windows paths, the Unix root its drive Z:.
string(REPLACE "|" ";" unixFolders "${SEARCH_FOLDERS}")
set(folders "")
foreach(folder IN LISTS unixFolders)
    if(folder)
        string(REPLACE "/" "\\" folder "Z:${folder}")
        string(APPEND folders "${folder}\;")
    endif()
endforeach()
set(ENV{WINEPATH} "${folders}")
set(skipGui --skip-gui)
set(expectedChecks 15)
if(GUI)
    set(skipGui "")
    set(expectedChecks 16)
endif()
execute_process(COMMAND ${EMULATOR} ${TOOL} check ${MODULE} --seed 7 ${skipGui}
                OUTPUT_VARIABLE out RESULT_VARIABLE status)
message("${out}")
# Each line whole: a semicolon would split it into list items.
string(REPLACE ";" "," out "${out}")
set(expectedCheck "")
set(expectedVerdict "")
if(EXPECT MATCHES "^([a-z-]+)=([A-Z]+):(.*)$")
    set(expectedCheck ${CMAKE_MATCH_1})
    set(expectedVerdict ${CMAKE_MATCH_2})
    string(REPLACE ";" "," expectedText "${CMAKE_MATCH_3}")
endif()

string(REPLACE "\n" ";" lines "${out}")
set(problems "")
set(checks 0)
set(seen FALSE)
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^(PASS|WARN|FAIL|SKIP) ([a-z-]+) ")
        continue()
    endif()
    set(verdict ${CMAKE_MATCH_1})
    set(check ${CMAKE_MATCH_2})
    math(EXPR checks "${checks} + 1")
    if(check STREQUAL expectedCheck)
        set(seen TRUE)
        string(FIND "${line}" "${expectedText}" at)
        if(NOT verdict STREQUAL expectedVerdict OR at EQUAL -1)
            string(APPEND problems "  ${check}: expected ${expectedVerdict} with \"${expectedText}\"\n")
        endif()
    elseif(NOT verdict STREQUAL "PASS" AND NOT (verdict STREQUAL "SKIP" AND NOT EXPECT STREQUAL "noskip"))
        string(APPEND problems "  ${check}: expected PASS or SKIP, got ${verdict}\n")
    endif()
endforeach()
# Every check, but the editor when --skip-gui leaves it out.
if(NOT checks EQUAL expectedChecks)
    string(APPEND problems "  expected ${expectedChecks} verdicts, got ${checks}\n")
endif()
if(expectedCheck AND NOT seen)
    string(APPEND problems "  ${expectedCheck}: no verdict\n")
endif()
set(expectedStatus 0)
if(expectedVerdict STREQUAL "FAIL")
    set(expectedStatus 1)
endif()
if(NOT status EQUAL expectedStatus)
    string(APPEND problems "  expected exit status ${expectedStatus}, got ${status}\n")
endif()
if(problems)
    message(FATAL_ERROR "vela-host check ${MODULE}:\n${problems}")
endif()
