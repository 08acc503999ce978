# SPDX-License-Identifier: MIT
# Makes one archive with the three modules, the LV2 bundle, the README and the licence, and
# beside the Windows modules a note on installing them. The modules come from the win32, win64
# and linux preset builds, which must have been built first; the bundle from the linux one.
#
# cmake -DSOURCE_DIR=... -DOUTPUT=Vela-1.0.zip -DVERSION=1.0 -P this

set(stage ${CMAKE_CURRENT_BINARY_DIR}/Vela-${VERSION})
file(REMOVE_RECURSE ${stage})
set(modules
    "linux-x86_64|${SOURCE_DIR}/build/linux/Vela_Button.so"
    "linux-x86_64|${SOURCE_DIR}/build/linux/lv2-bundles/vela.lv2"
    "windows-x64|${SOURCE_DIR}/build/win64/Vela_Button.dll"
    "windows-x86|${SOURCE_DIR}/build/win32/Vela_Button.dll")
foreach(entry IN LISTS modules)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 folder)
    list(GET entry 1 module)
    if(NOT EXISTS ${module})
        message(FATAL_ERROR "${module} is missing: build every preset first (tools/package.sh does)")
    endif()
    file(COPY ${module} DESTINATION ${stage}/${folder})
endforeach()
# Beside each Windows module, where it goes in the common hosts; with Windows' line ends.
foreach(folder windows-x64 windows-x86)
    configure_file(${SOURCE_DIR}/packaging/windows/Install.txt ${stage}/${folder}/Install.txt @ONLY
                   NEWLINE_STYLE CRLF)
endforeach()
file(COPY ${SOURCE_DIR}/README.md ${SOURCE_DIR}/LICENSE DESTINATION ${stage})
get_filename_component(outputDir ${OUTPUT} DIRECTORY)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip Vela-${VERSION}
                WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot write ${OUTPUT}")
endif()
message(STATUS "Wrote ${OUTPUT}")
