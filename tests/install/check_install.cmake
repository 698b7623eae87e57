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

# The expected Exec lines hold WORK_DIR as it is: it must need no quoting of its own.
if(NOT WORK_DIR MATCHES "^[A-Za-z0-9/._-]+$")
    fail("the test needs a build folder without blanks or shell characters: ${WORK_DIR}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

# Makes `program` a script that notes how it was started, launches the entry as a desktop does
# (GLib's `gio launch`, with `arguments`), and checks that the program ran with them.
find_program(gio gio REQUIRED)
function(check_launch entry program)
    set(marker "${WORK_DIR}/started")
    file(REMOVE "${marker}")
    file(WRITE "${program}" "#!/bin/sh\nprintf '%s|%s' \"\$0\" \"\$*\" > '${marker}'\n")
    file(CHMOD "${program}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    execute_process(COMMAND "${gio}" launch "${entry}" ${ARGN} RESULT_VARIABLE result ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        fail("gio launch ${entry} failed:\n${out}")
    endif()
    foreach(attempt RANGE 50)
        if(EXISTS "${marker}")
            file(READ "${marker}" started)
            if(NOT started STREQUAL "")
                break()
            endif()
        endif()
        execute_process(COMMAND sleep 0.1)
    endforeach()
    string(JOIN " " arguments ${ARGN})
    if(NOT started STREQUAL "${program}|${arguments}")
        fail("${entry} did not start ${program} with '${arguments}'; started: '${started}'")
    endif()
endfunction()
# A "%" that GLib cannot take in a program's path (the entries start it through env), a blank, and
# characters a shell would expand.
set(prefix "${WORK_DIR}/prefix with space 100%u $x `y")
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

string(CONCAT exec [[Exec=/usr/bin/env "]] "${WORK_DIR}" [[/prefix with space 100%%u \\$x \\`y/]] "${BINDIR}")
check_entry("${prefix}/${DATADIR}/applications/vantorel.desktop"
            LINES "Name=Vantorel" "${exec}/vantorel\" %u" "StartupWMClass=Vantorel")
# The widget is a program of its own in the desktop's list: no link handler, and its windows are
# not taken for the application's.
check_entry("${prefix}/${DATADIR}/applications/glimmerwick.desktop"
            LINES "Name=Latest Reviews" "${exec}/glimmerwick\"" "StartupWMClass=Glimmerwick"
                  "Icon=glimmerwick"
            WITHOUT "MimeType" "NoDisplay" "Hidden")

# The installed widget starts with the libraries of the install tree.
execute_process(COMMAND "${prefix}/${BINDIR}/glimmerwick" --render small "${WORK_DIR}/small.png" --placeholder
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT EXISTS "${WORK_DIR}/small.png")
    fail("the installed glimmerwick does not run (${result}):\n${out}")
endif()

# The installed entries start the installed programs (replaced by probes now that they were run).
check_launch("${prefix}/${DATADIR}/applications/vantorel.desktop" "${prefix}/${BINDIR}/vantorel" "vantorel://x")
check_launch("${prefix}/${DATADIR}/applications/glimmerwick.desktop" "${prefix}/${BINDIR}/glimmerwick")

# scripts/run.sh's entries, for programs that stay in the build folder; here one whose path holds
# both "%" and "=" (which env would take for a variable): they start it through sh.
set(build "${WORK_DIR}/build a=b 100%u \"q\"")
file(MAKE_DIRECTORY "${build}/app" "${build}/widget")
execute_process(COMMAND "${SOURCE_DIR}/scripts/install-desktop-entries.sh" "${build}" "${WORK_DIR}/data"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    fail("scripts/install-desktop-entries.sh failed:\n${out}")
endif()
string(CONCAT exec [[Exec=/bin/sh -c "exec \\"\\$0\\" \\"\\$@\\"" "]] "${WORK_DIR}" [[/build a=b 100%%u \\"q\\"]])
check_entry("${WORK_DIR}/data/applications/vantorel.desktop" LINES "${exec}/app/vantorel\" %u")
check_entry("${WORK_DIR}/data/applications/glimmerwick.desktop" LINES "${exec}/widget/glimmerwick\""
            "Name=Latest Reviews" WITHOUT "MimeType")
check_launch("${WORK_DIR}/data/applications/vantorel.desktop" "${build}/app/vantorel" "vantorel://x")
check_launch("${WORK_DIR}/data/applications/glimmerwick.desktop" "${build}/widget/glimmerwick")
if(NOT EXISTS "${WORK_DIR}/data/icons/hicolor/scalable/apps/glimmerwick.svg")
    fail("scripts/install-desktop-entries.sh left out the widget's icon")
endif()
