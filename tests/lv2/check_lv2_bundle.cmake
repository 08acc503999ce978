# SPDX-License-Identifier: MIT
# Checks the built bundle as Debian's tools and binutils see it: each module exports its LV2
# entry point alone and needs no library beyond the C runtime (and libX11 for the UI); lv2ls
# lists the plug-in and lv2info shows its ports, their designations and the UI.
#
# cmake -DBUNDLE=.../vela.lv2 -DURI=... -DUI_URI=... "-DSWITCH_NAME=name" -P this

function(fail message)
    message(FATAL_ERROR "${BUNDLE}: ${message}")
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/../static/linux_module_file.cmake)

set(runtime "libc\\.so\\.6|libm\\.so\\.6|ld-linux-x86-64\\.so\\.2")
check_linux_module_file(${BUNDLE}/vela.so lv2_descriptor "^(${runtime})$")
check_linux_module_file(${BUNDLE}/vela_ui.so lv2ui_descriptor "^(${runtime}|libX11\\.so\\.6)$")

# The tools read the bundle from its folder, and the LV2 vocabulary from the system's.
get_filename_component(folder ${BUNDLE} DIRECTORY)
set(ENV{LV2_PATH} "${folder}:/usr/lib/lv2")
execute_process(COMMAND lv2ls OUTPUT_VARIABLE listed RESULT_VARIABLE rc)
string(REGEX MATCHALL "[^\n]+" listed "${listed}")
list(FIND listed "${URI}" found)
if(NOT rc EQUAL 0 OR found EQUAL -1)
    fail("lv2ls does not list ${URI}")
endif()

execute_process(COMMAND lv2info ${URI} OUTPUT_VARIABLE info RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    fail("lv2info cannot describe ${URI}")
endif()
set(group "http://lv2plug.in/ns/ext/port-groups#")
set(core "http://lv2plug.in/ns/lv2core#")
set(expectedPorts
    "${core}AudioPort|${core}InputPort|Symbol:      in_left\n|Designation: ${group}left"
    "${core}AudioPort|${core}InputPort|Symbol:      in_right\n|Designation: ${group}right"
    "${core}AudioPort|${core}OutputPort|Symbol:      out_left\n|Designation: ${group}left"
    "${core}AudioPort|${core}OutputPort|Symbol:      out_right\n|Designation: ${group}right"
    "${core}ControlPort|${core}InputPort|Symbol:      switch\n|Name:        ${SWITCH_NAME}\n|Default:     0.000000|${core}toggled")
string(FIND "${info}" "Port 5:" extra)
if(NOT extra EQUAL -1)
    fail("lv2info shows more than 5 ports")
endif()
foreach(index RANGE 4)
    # The port's block of lv2info's report runs to the next port's.
    string(FIND "${info}" "Port ${index}:" begin)
    math(EXPR next "${index} + 1")
    string(FIND "${info}" "Port ${next}:" end)
    if(begin EQUAL -1)
        fail("lv2info shows no port ${index}")
    endif()
    if(end EQUAL -1)
        string(SUBSTRING "${info}" ${begin} -1 port)
    else()
        math(EXPR length "${end} - ${begin}")
        string(SUBSTRING "${info}" ${begin} ${length} port)
    endif()
    list(GET expectedPorts ${index} parts)
    string(REPLACE "|" ";" parts "${parts}")
    foreach(part IN LISTS parts)
        string(FIND "${port}" "${part}" at)
        if(at EQUAL -1)
            fail("lv2info's port ${index} lacks '${part}':\n${port}")
        endif()
    endforeach()
endforeach()
foreach(part "UIs:\n\t\t${UI_URI}\n\t\t\tClass:  http://lv2plug.in/ns/extensions/ui#X11UI\n"
        "Optional Features: ${core}hardRTCapable" "Name:              Vela\n")
    string(FIND "${info}" "${part}" at)
    if(at EQUAL -1)
        fail("lv2info lacks '${part}':\n${info}")
    endif()
endforeach()
