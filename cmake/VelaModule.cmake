# SPDX-License-Identifier: MIT
# Helpers for building plug-in modules that a host loads by file name.

# vela_add_plugin_module(NAME SOURCE LIBRARY): a module exporting main (and VSTPluginMain
# on 64-bit targets) and nothing else.
function(vela_add_plugin_module name source library)
    add_library(${name} MODULE ${source})
    target_link_libraries(${name} PRIVATE ${library})
    set_target_properties(${name} PROPERTIES PREFIX "")
    # Users copy the file itself; release modules carry no symbol tables beyond their exports.
    target_link_options(${name} PRIVATE $<$<CONFIG:Release>:-s>)
    if(WIN32)
        # The 32-bit module exports main alone, at ordinal 1; 64-bit hosts may look for
        # VSTPluginMain first.
        set(VELA_MODULE_FILE ${name}.dll)
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            set(VELA_EXTRA_EXPORTS "")
        else()
            set(VELA_EXTRA_EXPORTS "    VSTPluginMain @2")
        endif()
        set(def ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
        configure_file(${PROJECT_SOURCE_DIR}/cmake/exports.def.in ${def} @ONLY)
        target_sources(${name} PRIVATE ${def})
    else()
        if(NOT VELA_SANITIZE)
            # Keep the host's own C++ runtime out of the module's way.
            target_link_options(${name} PRIVATE -static-libstdc++ -static-libgcc)
        endif()
        target_link_options(${name} PRIVATE -Wl,--no-undefined -Wl,--exclude-libs,ALL)
    endif()
endfunction()

# vela_add_resource_table(NAME HEADER NUMBER=FILE...): an object library holding the table of
# embedded files that the X11 window system serves by number; each NUMBER is a macro of HEADER.
function(vela_add_resource_table name header)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/generated/${name}.cpp)
    set(files "")
    foreach(resource IN LISTS ARGN)
        string(REGEX REPLACE "^[^=]*=" "" file "${resource}")
        list(APPEND files ${file})
    endforeach()
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DHEADER=${header} "-DRESOURCES=${ARGN}"
                -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
        DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
        VERBATIM)
    add_library(${name} OBJECT ${output})
    target_include_directories(${name} PRIVATE ${VELA_SOURCE_DIR})
endfunction()
