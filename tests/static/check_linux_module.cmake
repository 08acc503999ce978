# SPDX-License-Identifier: MIT
# Checks a built Linux module file without loading it: it exports main and VSTPluginMain and
# nothing else, needs no library beyond the C runtime, libm and libX11, stays within MOST_BYTES,
# and what the loader relocates and then makes read-only fits one page.
#
# cmake -DMODULE=file.so -DMOST_BYTES=N -P this

include(${CMAKE_CURRENT_LIST_DIR}/linux_module_file.cmake)
check_linux_module_file(${MODULE} "VSTPluginMain;main"
                        "^(libc\\.so\\.6|libm\\.so\\.6|libX11\\.so\\.6|ld-linux-x86-64\\.so\\.2)$")

file(SIZE ${MODULE} bytes)
if(bytes GREATER MOST_BYTES)
    message(FATAL_ERROR "${MODULE} has ${bytes} bytes, more than ${MOST_BYTES}")
endif()

# Loading writes every page of the relocated part and the page of data after it; where memory
# is costly to touch, as on virtual machines, each page more is a measurable share of the load.
execute_process(COMMAND readelf -l -W ${MODULE} OUTPUT_VARIABLE segments)
if(NOT segments MATCHES "GNU_RELRO +0x[0-9a-f]+ 0x[0-9a-f]+ 0x[0-9a-f]+ 0x[0-9a-f]+ (0x[0-9a-f]+)")
    message(FATAL_ERROR "${MODULE} has no read-only-after-relocation segment")
endif()
math(EXPR relocated "${CMAKE_MATCH_1}")
if(relocated GREATER 4096)
    message(FATAL_ERROR "${MODULE} relocates ${relocated} bytes of read-only data, more than a page")
endif()
