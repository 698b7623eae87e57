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

# `cmake --install` puts `program` and the shared libraries it needs under the prefix (found from
# the program's own folder wherever the prefix is), with its desktop entry and icon, written by
# InstallDesktopEntry.cmake with `exec_variable` naming the installed program.
#   vantorel_install_program(program exec_variable library...)
function(vantorel_install_program program exec_variable)
    include(GNUInstallDirs)
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS ${program} ${ARGN}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
    install(CODE "
        unset(VANTOREL_EXEC)
        unset(GLIMMERWICK_EXEC)
        set(${exec_variable} \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
        set(DATA_DIR \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
        include(\"${PROJECT_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake\")
    ")
endfunction()
