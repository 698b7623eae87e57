# Installs the build into a fresh prefix and checks what a desktop needs of it; then writes the
# per-user desktop entries the way scripts/run.sh does and checks those.
cmake_minimum_required(VERSION 3.25)
foreach(variable BUILD_DIR SOURCE_DIR WORK_DIR BINDIR LIBDIR DATADIR)
    if(NOT ${variable})
        message(FATAL_ERROR "${variable} must be set")
    endif()
endforeach()

function(fail)
    string(JOIN "" text ${ARGN})
    message(FATAL_ERROR "${text}")
endfunction()

# Checks a desktop entry: the lines it must hold, the keys it must not have, and
# desktop-file-validate's verdict where the tool is installed.
function(check_entry path)
    cmake_parse_arguments(ARG "" "" "LINES;WITHOUT" ${ARGN})
    if(NOT EXISTS "${path}")
        fail("missing: ${path}")
    endif()
    file(STRINGS "${path}" lines)
    foreach(line IN LISTS ARG_LINES)
        if(NOT line IN_LIST lines)
            fail("${path} lacks the line '${line}'; it holds:\n" ${lines})
        endif()
    endforeach()
    foreach(key IN LISTS ARG_WITHOUT)
        foreach(line IN LISTS lines)
            if(line MATCHES "^${key}(\\[.*\\])?=")
                fail("${path} must not have '${line}'")
            endif()
        endforeach()
    endforeach()
    find_program(validate desktop-file-validate)
    if(validate)
        execute_process(COMMAND "${validate}" "${path}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
        if(NOT result EQUAL 0)
            fail("desktop-file-validate refuses ${path}:\n${out}")
        endif()
    else()
        message(STATUS "desktop-file-validate is not installed: ${path} not validated")
    endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix with space")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    fail("cmake --install failed:\n${out}")
endif()

foreach(file "${BINDIR}/vantorel" "${BINDIR}/glimmerwick" "${DATADIR}/icons/hicolor/scalable/apps/vantorel.svg"
             "${DATADIR}/icons/hicolor/scalable/apps/glimmerwick.svg")
    if(NOT EXISTS "${prefix}/${file}")
        fail("cmake --install left out ${file}")
    endif()
endforeach()

check_entry("${prefix}/${DATADIR}/applications/vantorel.desktop"
            LINES "Name=Vantorel" "Exec=\"${prefix}/${BINDIR}/vantorel\" %u" "StartupWMClass=Vantorel")
# The widget is a program of its own in the desktop's list: no link handler, and its windows are
# not taken for the application's.
check_entry("${prefix}/${DATADIR}/applications/glimmerwick.desktop"
            LINES "Name=Latest Reviews" "Exec=\"${prefix}/${BINDIR}/glimmerwick\"" "StartupWMClass=Glimmerwick"
                  "Icon=glimmerwick"
            WITHOUT "MimeType" "NoDisplay" "Hidden")

# The installed widget starts with the libraries of the install tree.
execute_process(COMMAND "${prefix}/${BINDIR}/glimmerwick" --render small "${WORK_DIR}/small.png" --placeholder
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT EXISTS "${WORK_DIR}/small.png")
    fail("the installed glimmerwick does not run (${result}):\n${out}")
endif()

# scripts/run.sh's entries, for programs that stay in the build folder.
set(build "${WORK_DIR}/build")
file(MAKE_DIRECTORY "${build}/app" "${build}/widget")
file(TOUCH "${build}/app/vantorel" "${build}/widget/glimmerwick")
execute_process(COMMAND "${SOURCE_DIR}/scripts/install-desktop-entries.sh" "${build}" "${WORK_DIR}/data"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    fail("scripts/install-desktop-entries.sh failed:\n${out}")
endif()
check_entry("${WORK_DIR}/data/applications/vantorel.desktop" LINES "Exec=\"${build}/app/vantorel\" %u")
check_entry("${WORK_DIR}/data/applications/glimmerwick.desktop" LINES "Exec=\"${build}/widget/glimmerwick\""
            "Name=Latest Reviews" WITHOUT "MimeType")
if(NOT EXISTS "${WORK_DIR}/data/icons/hicolor/scalable/apps/glimmerwick.svg")
    fail("scripts/install-desktop-entries.sh left out the widget's icon")
endif()
