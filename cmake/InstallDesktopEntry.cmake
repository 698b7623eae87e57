# Writes the application's desktop entry and icon under DATA_DIR (".../share"), so that the
# desktop lists the program and opens "vantorel:" links with it.
#   cmake -DVANTOREL_EXEC=/path/to/vantorel -DDATA_DIR=~/.local/share -P cmake/InstallDesktopEntry.cmake
# Also included by the install rules of app/ with the same variables.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)  # "@VANTOREL_EXEC@" below is a plain text, not a variable
if(NOT VANTOREL_EXEC OR NOT DATA_DIR)
    message(FATAL_ERROR "VANTOREL_EXEC and DATA_DIR must be set")
endif()
get_filename_component(_desktop_sources "${CMAKE_CURRENT_LIST_DIR}/../app/desktop" ABSOLUTE)

# Inside the quoted Exec value these four characters take a backslash, which the file itself
# writes doubled (string escapes are undone before the quoting).
string(REPLACE "\\" "\\\\\\\\" _exec "${VANTOREL_EXEC}")
string(REGEX REPLACE "([\"`$])" "\\\\\\\\\\1" _exec "${_exec}")
file(READ "${_desktop_sources}/vantorel.desktop.in" _entry)
string(REPLACE "@VANTOREL_EXEC@" "${_exec}" _entry "${_entry}")
file(WRITE "${DATA_DIR}/applications/vantorel.desktop" "${_entry}")
file(INSTALL "${_desktop_sources}/vantorel.svg" DESTINATION "${DATA_DIR}/icons/hicolor/scalable/apps")
message(STATUS "Desktop entry: ${DATA_DIR}/applications/vantorel.desktop")

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
