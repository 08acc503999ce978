# SPDX-License-Identifier: MIT
# The small effect of faulty_effect.cpp, built once without faults and once with each fault the
# check must find, as fault_FAULT.
#
# Everywhere: the faults every platform's check sees. On Linux alone: what Windows modules get
# from tests/fixture_modules/audio_call_module.cpp instead (allocates, locks, syscall in the
# audio call, and unresolved, whose Windows counterpart is a DLL the user lacks); and an X
# server's pixmap and a race, which only X and ThreadSanitizer show.
set(VELA_FAULTS_EVERYWHERE none nan window random locale noentry replacing slow denormal parameter suspend programs
                           restore torn late bigblock chunk opcode)
set(VELA_FAULTS_LINUX allocates race pixmap unresolved locks syscall)

function(vela_add_faulty_effects)
    set(folder ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    foreach(fault ${ARGN})
        set(name fault_${fault})
        if(WIN32 AND fault STREQUAL noentry)
            # Its one export goes by a name no host looks for.
            add_library(${name} MODULE ${folder}/faulty_effect.cpp)
            target_link_libraries(${name} PRIVATE vela_frame)
            vela_link_lean_module(${name})
            file(CONFIGURE OUTPUT ${name}.def CONTENT "LIBRARY \"${name}.dll\"\nEXPORTS\n    VSTPluginEntry\n")
            target_sources(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
        else()
            vela_add_plugin_module(${name} ${folder}/faulty_effect.cpp vela_frame)
        endif()
        target_compile_definitions(${name} PRIVATE VELA_FAULT=VELA_FAULT_${fault})
        if(WIN32)
            target_sources(${name} PRIVATE ${folder}/faulty_effect_win32.cpp)
        else()
            target_sources(${name} PRIVATE ${folder}/faulty_effect_x11.cpp)
            target_link_libraries(${name} PRIVATE X11::X11)
        endif()
    endforeach()
endfunction()
