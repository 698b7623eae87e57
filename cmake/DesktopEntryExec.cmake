# The value of a desktop entry's Exec key that starts `program` (an absolute path) with no argument
# of its own; an entry adds its field codes after it. The same rule as
# platform::LoginItem::execValue(), so that every entry of the project starts its program alike:
# - a path with a reserved character is double-quoted, with `"`, `` ` ``, `$` and `\` escaped;
# - `%` is written `%%`; GLib looks for the program before it reads `%%`, so a path with `%` is
#   handed to `env` as an argument, or, when it also holds `=` (which env takes for a variable),
#   to `sh`;
# - then the escapes of a string value (`\\`, `\t`, `\n`, `\r`), which a reader undoes first.
#   vantorel_desktop_exec(out program)
function(vantorel_desktop_exec out program)
    set(argument "${program}")
    if(argument MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
        string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" argument "${argument}")
        set(argument "\"${argument}\"")
    endif()
    string(REPLACE "%" "%%" argument "${argument}")
    if(program MATCHES "%")
        if(program MATCHES "=")
            set(argument "/bin/sh -c \"exec \\\"\\$0\\\" \\\"\\$@\\\"\" ${argument}")
        else()
            set(argument "/usr/bin/env ${argument}")
        endif()
    endif()
    string(REPLACE "\\" "\\\\" value "${argument}")
    string(REPLACE "\t" "\\t" value "${value}")
    string(REPLACE "\n" "\\n" value "${value}")
    string(REPLACE "\r" "\\r" value "${value}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# `cmake -DPROGRAM=... -DOUTPUT=file -P DesktopEntryExec.cmake` writes the value into `file`.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE AND DEFINED PROGRAM AND DEFINED OUTPUT)
    vantorel_desktop_exec(value "${PROGRAM}")
    file(WRITE "${OUTPUT}" "${value}")
endif()
