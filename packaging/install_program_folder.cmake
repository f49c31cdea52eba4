# Runs at install time, after the program's files are in place. ZIL_PROGRAM_FOLDER,
# ZIL_PACKAGING_DIR and ZIL_STAGING come from packaging/CMakeLists.txt. With ZIL_SYSTEM_PLACES
# (the Debian package only) the desktop entry and the systemd units go where the system looks
# for them rather than under the prefix.

set(program_folder "${CMAKE_INSTALL_PREFIX}/${ZIL_PROGRAM_FOLDER}")
set(program "${program_folder}/zil")

# Exec takes the program's path in double quotes, with ", `, $ and \ escaped and % doubled; the
# whole value then has its backslashes escaped once more, as every desktop entry string does.
set(exec "${program}")
string(REPLACE "\\" "\\\\" exec "${exec}")
foreach(special "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" exec "${exec}")
endforeach()
string(REPLACE "%" "%%" exec "${exec}")
set(ZIL_DESKTOP_EXEC "\"${exec}\"")
string(REPLACE "\\" "\\\\" ZIL_DESKTOP_EXEC "${ZIL_DESKTOP_EXEC}")

set(ZIL_DESKTOP_ICON "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/128x128/apps/selvanor-zil.png")
string(REPLACE "\\" "\\\\" ZIL_DESKTOP_ICON "${ZIL_DESKTOP_ICON}")

# A unit's command line: the path in double quotes with \ and " escaped, % doubled (specifiers).
set(unit_exec "${program}")
string(REPLACE "\\" "\\\\" unit_exec "${unit_exec}")
string(REPLACE "\"" "\\\"" unit_exec "${unit_exec}")
string(REPLACE "%" "%%" unit_exec "${unit_exec}")
set(ZIL_UNIT_EXEC "\"${unit_exec}\"")

configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil.desktop.in"
               "${ZIL_STAGING}/selvanor-zil.desktop" @ONLY)
configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil.service.in"
               "${ZIL_STAGING}/system/selvanor-zil.service" @ONLY)
configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil-user.service.in"
               "${ZIL_STAGING}/user/selvanor-zil.service" @ONLY)

if(ZIL_SYSTEM_PLACES)
    set(applications /usr/share/applications)
    set(system_units /lib/systemd/system)
    set(user_units /usr/lib/systemd/user)
else()
    set(applications "${CMAKE_INSTALL_PREFIX}/share/applications")
    set(system_units "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
    set(user_units "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
endif()
file(INSTALL "${ZIL_STAGING}/selvanor-zil.desktop" DESTINATION "${applications}")
file(INSTALL "${ZIL_STAGING}/system/selvanor-zil.service" DESTINATION "${system_units}")
file(INSTALL "${ZIL_STAGING}/user/selvanor-zil.service" DESTINATION "${user_units}")
