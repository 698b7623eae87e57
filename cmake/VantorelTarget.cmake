# Warnings (as errors) for our own targets only; third-party headers come in as system includes.
function(vantorel_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(VANTOREL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# A shared library made of every source below the calling folder, except the sub-folders named
# after EXCLUDE (libraries of their own).
function(vantorel_add_library target)
    cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(folder ${ARG_EXCLUDE})
        list(FILTER sources EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${folder}/")
    endforeach()
    add_library(${target} SHARED ${sources})
    vantorel_target_defaults(${target})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
endfunction()
