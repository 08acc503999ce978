# SPDX-License-Identifier: MIT
# Fails when a source file includes a header of a layer above its own. The layers, each on the
# ones listed for it only: frame <- effect <- editor <- plugin; the LV2 bundle stands beside the
# plugin, the host on the frame alone.
#
# cmake -DROOT=<source tree> -P check_layers.cmake

set(allowed_frame frame)
set(allowed_effect frame effect)
set(allowed_editor frame effect editor)
set(allowed_plugin frame effect editor plugin)
set(allowed_lv2 frame effect editor lv2)
set(allowed_host frame host)

set(violations "")
foreach(layer frame effect editor plugin lv2 host)
    file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
    foreach(source IN LISTS sources)
        file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" target "${line}")
            if(target STREQUAL line)
                continue() # a header beside the file, or a generated one
            endif()
            list(FIND allowed_${layer} ${target} found)
            if(found EQUAL -1)
                string(STRIP "${line}" line)
                string(APPEND violations "  ${source}: ${line} (${layer} may include only: ${allowed_${layer}})\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    message(FATAL_ERROR "includes that run up a layer:\n${violations}")
endif()
message(STATUS "every include runs down the layers")
