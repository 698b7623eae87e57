# Writes the desktop entries and icons of the application and of the widget under DATA_DIR
# (".../share"), so that the desktop lists both programs and opens "vantorel:" links with the
# application.
#   cmake -DVANTOREL_EXEC=/path/to/vantorel -DGLIMMERWICK_EXEC=/path/to/glimmerwick \
#         -DDATA_DIR=~/.local/share -P cmake/InstallDesktopEntry.cmake
# Either program may be left out: the install rules of app/ and widget/ include this file with
# their own program only.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)  # "@VANTOREL_EXEC@" below is a plain text, not a variable
if(NOT DATA_DIR OR (NOT VANTOREL_EXEC AND NOT GLIMMERWICK_EXEC))
    message(FATAL_ERROR "DATA_DIR and VANTOREL_EXEC or GLIMMERWICK_EXEC must be set")
endif()
get_filename_component(_sources "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

include("${CMAKE_CURRENT_LIST_DIR}/DesktopEntryExec.cmake")

# Writes `folder`/`name`.desktop from its template with the Exec value that starts `program`, and
# `name`.svg as its icon.
function(_vantorel_write_entry folder name placeholder program)
    vantorel_desktop_exec(exec "${program}")
    file(READ "${_sources}/${folder}/desktop/${name}.desktop.in" entry)
    string(REPLACE "@${placeholder}@" "${exec}" entry "${entry}")
    file(WRITE "${DATA_DIR}/applications/${name}.desktop" "${entry}")
    file(INSTALL "${_sources}/${folder}/desktop/${name}.svg" DESTINATION "${DATA_DIR}/icons/hicolor/scalable/apps")
    message(STATUS "Desktop entry: ${DATA_DIR}/applications/${name}.desktop")
endfunction()

if(VANTOREL_EXEC)
    _vantorel_write_entry(app vantorel VANTOREL_EXEC "${VANTOREL_EXEC}")
endif()
if(GLIMMERWICK_EXEC)
    _vantorel_write_entry(widget glimmerwick GLIMMERWICK_EXEC "${GLIMMERWICK_EXEC}")
endif()

# The caches are refreshed only where the tools exist (the entry works without them after the next
# login), and not when staging into DESTDIR for a package.
if("$ENV{DESTDIR}" STREQUAL "")
    find_program(_update_desktop_database update-desktop-database)
    if(_update_desktop_database)
        execute_process(COMMAND "${_update_desktop_database}" -q "${DATA_DIR}/applications")
    endif()
    find_program(_gtk_update_icon_cache gtk-update-icon-cache)
    if(_gtk_update_icon_cache AND EXISTS "${DATA_DIR}/icons/hicolor/index.theme")
        execute_process(COMMAND "${_gtk_update_icon_cache}" -q -t "${DATA_DIR}/icons/hicolor"
                        OUTPUT_QUIET ERROR_QUIET)
    endif()
endif()
cmake_policy(POP)
