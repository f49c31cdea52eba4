# Runs at install time, after the program's files are in place. ZIL_PROGRAM_FOLDER,
# ZIL_EMPTY_DATABASE, ZIL_DESKTOP_TEMPLATE and ZIL_DESKTOP_STAGING come from packaging/CMakeLists.txt.

set(program_folder "${CMAKE_INSTALL_PREFIX}/${ZIL_PROGRAM_FOLDER}")

# An existing schedule is the school's data: it is never replaced.
if(EXISTS "$ENV{DESTDIR}${program_folder}/database.mdb")
    message(STATUS "Keeping: $ENV{DESTDIR}${program_folder}/database.mdb")
else()
    file(INSTALL "${ZIL_EMPTY_DATABASE}" DESTINATION "${program_folder}")
endif()

# Exec takes the program's path in double quotes, with ", `, $ and \ escaped and % doubled; the
# whole value then has its backslashes escaped once more, as every desktop entry string does.
set(exec "${program_folder}/zil")
string(REPLACE "\\" "\\\\" exec "${exec}")
foreach(special "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" exec "${exec}")
endforeach()
string(REPLACE "%" "%%" exec "${exec}")
set(ZIL_DESKTOP_EXEC "\"${exec}\"")
string(REPLACE "\\" "\\\\" ZIL_DESKTOP_EXEC "${ZIL_DESKTOP_EXEC}")

set(ZIL_DESKTOP_ICON "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/128x128/apps/selvanor-zil.png")
string(REPLACE "\\" "\\\\" ZIL_DESKTOP_ICON "${ZIL_DESKTOP_ICON}")

configure_file("${ZIL_DESKTOP_TEMPLATE}" "${ZIL_DESKTOP_STAGING}/selvanor-zil.desktop" @ONLY)
file(INSTALL "${ZIL_DESKTOP_STAGING}/selvanor-zil.desktop"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
