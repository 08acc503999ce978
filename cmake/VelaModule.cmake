# SPDX-License-Identifier: MIT
# Helpers for building plug-in modules that a host loads by file name.

# vela_lean_library(TARGET): compiles a library that goes into modules without exceptions and
# with every function and object in a section of its own, so the linker can drop what no entry
# point reaches. Code running in a host must not throw into it anyway.
function(vela_lean_library target)
    target_compile_options(${target} PRIVATE -fno-exceptions -ffunction-sections -fdata-sections)
    if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
        # Without exceptions, 32-bit Windows code needs no DWARF unwind tables.
        target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
    endif()
endfunction()

# Modules are the only targets linked as C: not the C++ libraries CMake would add for the C++
# code inside them, but libsupc++'s type records and, on Linux, libm.
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
if(WIN32)
    set(CMAKE_C_STANDARD_LIBRARIES "${CMAKE_C_STANDARD_LIBRARIES} -lsupc++")
else()
    set(CMAKE_C_STANDARD_LIBRARIES "${CMAKE_C_STANDARD_LIBRARIES} -lsupc++ -lm")
endif()

# vela_link_lean_module(TARGET): links a module as C with the C runtime, libsupc++'s type records
# and vela_module_runtime, which supplies the little of a C++ standard library the code uses;
# drops what no entry point reaches; release modules carry no symbol tables beyond their exports, since users
# copy the file itself.
function(vela_link_lean_module name)
    vela_lean_library(${name})
    target_link_libraries(${name} PRIVATE vela_module_runtime)
    set_target_properties(${name} PROPERTIES PREFIX "" LINKER_LANGUAGE C)
    target_link_options(${name} PRIVATE -Wl,--gc-sections $<$<CONFIG:Release>:-s>)
    if(NOT WIN32)
        # Keep the compiler's runtime out of the way of the host's own. Headers, code and
        # read-only data share one mapping: each extra mapping costs a host about 5 us to map and
        # unmap on every load, and scans load every module. Relocated data still ends read-only.
        target_link_options(${name} PRIVATE -static-libgcc -Wl,--no-undefined -Wl,--exclude-libs,ALL
                                            -Wl,-z,noseparate-code)
    endif()
endfunction()

# vela_add_plugin_module(NAME SOURCE LIBRARY): a module exporting main (and VSTPluginMain
# on 64-bit targets) and nothing else.
function(vela_add_plugin_module name source library)
    add_library(${name} MODULE ${source})
    target_link_libraries(${name} PRIVATE ${library})
    vela_link_lean_module(${name})
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
        target_link_options(${name} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/exports.map)
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
