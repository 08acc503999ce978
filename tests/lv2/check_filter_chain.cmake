# SPDX-License-Identifier: MIT
# Checks the PipeWire filter-chain configuration in a Markdown file (the README) against the
# built bundle: the configuration's plug-in URI is one lv2ls lists, and every port it names as
# node:symbol or as a control is a port symbol lv2info shows for that plug-in.
#
# cmake -DDOCUMENT=README.md -DBUNDLE=.../vela.lv2 -P this

# The finding goes out on a line of its own: CMake wraps an error's text at a column that moves
# with the length of the paths in it, which would split the words a caller looks for.
function(fail message)
    message(NOTICE "${DOCUMENT}: ${message}")
    message(FATAL_ERROR "the filter-chain configuration does not match the bundle")
endfunction()

file(READ ${DOCUMENT} text)
# The configuration is the fenced block that loads the filter-chain module.
string(REGEX MATCH "```[a-z]*\n(context\\.modules = \\[[^`]*libpipewire-module-filter-chain[^`]*)```" _ "${text}")
set(config "${CMAKE_MATCH_1}")
if(config STREQUAL "")
    fail("no filter-chain configuration block")
endif()

string(REGEX MATCH "type *= *lv2[^}]*name *= *([A-Za-z0-9_]+)[^}]*plugin *= *\"([^\"]+)\"" _ "${config}")
set(node "${CMAKE_MATCH_1}")
set(uri "${CMAKE_MATCH_2}")
if(uri STREQUAL "")
    fail("the configuration names no lv2 node with a plugin")
endif()

get_filename_component(folder ${BUNDLE} DIRECTORY)
set(ENV{LV2_PATH} "${folder}:/usr/lib/lv2")
execute_process(COMMAND lv2ls OUTPUT_VARIABLE listed)
string(REGEX MATCHALL "[^\n]+" listed "${listed}")
list(FIND listed "${uri}" found)
if(found EQUAL -1)
    fail("plugin ${uri} is not a plug-in lv2ls lists from ${folder}")
endif()
execute_process(COMMAND lv2info ${uri} OUTPUT_VARIABLE info)
string(REGEX MATCHALL "Symbol: +[A-Za-z0-9_]+" symbolLines "${info}")
set(symbols "")
foreach(line IN LISTS symbolLines)
    string(REGEX REPLACE "Symbol: +" "" symbol "${line}")
    list(APPEND symbols ${symbol})
endforeach()

# Ports in the inputs and outputs lists, "node:symbol".
string(REGEX MATCHALL "\"${node}:[A-Za-z0-9_]+\"" named "${config}")
list(LENGTH named count)
if(count LESS 4)
    fail("the configuration connects ${count} ports of ${node} instead of its four audio ports")
endif()
# Controls, "control = { "symbol" = value }".
string(REGEX MATCH "control *= *{([^}]*)}" _ "${config}")
string(REGEX MATCHALL "\"[A-Za-z0-9_]+\" *=" controls "${CMAKE_MATCH_1}")
if(controls STREQUAL "")
    fail("the configuration sets no control")
endif()
foreach(port IN LISTS named controls)
    string(REGEX REPLACE "^\"(${node}:)?([A-Za-z0-9_]+)\".*" "\\2" symbol "${port}")
    list(FIND symbols "${symbol}" found)
    if(found EQUAL -1)
        fail("${symbol} is not a port of ${uri} (its ports: ${symbols})")
    endif()
endforeach()
