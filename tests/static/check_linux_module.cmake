# SPDX-License-Identifier: MIT
# Checks a built Linux module file without loading it: it exports main and VSTPluginMain and
# nothing else, and needs no library beyond the C runtime, libm and libX11.
#
# cmake -DMODULE=file.so -P this

include(${CMAKE_CURRENT_LIST_DIR}/linux_module_file.cmake)
check_linux_module_file(${MODULE} "VSTPluginMain;main"
                        "^(libc\\.so\\.6|libm\\.so\\.6|libX11\\.so\\.6|ld-linux-x86-64\\.so\\.2)$")
