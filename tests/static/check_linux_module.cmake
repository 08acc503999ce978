# SPDX-License-Identifier: MIT
# Checks a built Linux module file without loading it: it exports main and VSTPluginMain and
# nothing else, and needs no library beyond the C runtime, libm and libX11.
#
# cmake -DMODULE=file.so -P this

function(fail message)
    message(FATAL_ERROR "${MODULE}: ${message}")
endfunction()

execute_process(COMMAND nm -D --defined-only ${MODULE} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    fail("cannot be read by nm")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" entries "${symbols}")
set(exports "")
foreach(entry IN LISTS entries)
    string(REGEX MATCH "[0-9a-f]+ [A-Za-z] (.+)" _ "${entry}")
    set(name "${CMAKE_MATCH_1}")
    # The linker's own markers of the data segment are not the module's exports.
    if(NOT name MATCHES "^(__bss_start|_edata|_end|_init|_fini)$")
        list(APPEND exports "${name}")
    endif()
endforeach()
list(SORT exports)
if(NOT "${exports}" STREQUAL "VSTPluginMain;main")
    fail("exports '${exports}' instead of main and VSTPluginMain")
endif()

execute_process(COMMAND readelf -d ${MODULE} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
foreach(library IN LISTS needed)
    string(REGEX REPLACE "Shared library: \\[(.+)\\]" "\\1" library "${library}")
    if(NOT library MATCHES "^(libc\\.so\\.6|libm\\.so\\.6|libX11\\.so\\.6|ld-linux-x86-64\\.so\\.2)$")
        fail("needs ${library}")
    endif()
endforeach()
