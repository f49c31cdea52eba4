# Runs at install time, after the program's files are in place. ZIL_PROGRAM_FOLDER,
# ZIL_DATA_FOLDER, ZIL_PACKAGING_DIR, ZIL_STAGING and ZIL_WEB_SITE come from
# packaging/CMakeLists.txt. For the prefix /usr (the Debian package) the systemd units go where
# Debian 12 keeps them rather than under the prefix.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(program "${ZIL_PROGRAM_FOLDER}/zil")
set(command "${prefix}/bin/selvanor-zil")

# Exec takes the program's path in double quotes, with ", `, $ and \ escaped and % doubled; the
# whole value then has its backslashes escaped once more, as every desktop entry string does.
set(exec "${command}")
string(REPLACE "\\" "\\\\" exec "${exec}")
foreach(special "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" exec "${exec}")
endforeach()
string(REPLACE "%" "%%" exec "${exec}")
set(ZIL_DESKTOP_EXEC "\"${exec}\"")
string(REPLACE "\\" "\\\\" ZIL_DESKTOP_EXEC "${ZIL_DESKTOP_EXEC}")
# Icon themes are searched under /usr and /usr/local only; elsewhere the entry names the file.
if(prefix STREQUAL "/usr" OR prefix STREQUAL "/usr/local")
    set(ZIL_DESKTOP_ICON selvanor-zil)
else()
    set(ZIL_DESKTOP_ICON "${prefix}/share/icons/hicolor/128x128/apps/selvanor-zil.png")
    string(REPLACE "\\" "\\\\" ZIL_DESKTOP_ICON "${ZIL_DESKTOP_ICON}")
endif()

# A unit's path: in double quotes with \ and " escaped, % doubled (specifiers).
function(unit_quoted path out)
    string(REPLACE "\\" "\\\\" path "${path}")
    string(REPLACE "\"" "\\\"" path "${path}")
    string(REPLACE "%" "%%" path "${path}")
    set(${out} "\"${path}\"" PARENT_SCOPE)
endfunction()
unit_quoted("${program}" ZIL_UNIT_EXEC)
unit_quoted("${ZIL_DATA_FOLDER}" ZIL_UNIT_DATA_FOLDER)
# A URL: spaces encoded, then % doubled for the unit.
set(ZIL_DOC_FOLDER "${prefix}/share/doc/selvanor-zil")
string(REPLACE "%" "%25" ZIL_DOC_FOLDER "${ZIL_DOC_FOLDER}")
string(REPLACE " " "%20" ZIL_DOC_FOLDER "${ZIL_DOC_FOLDER}")
string(REPLACE "%" "%%" ZIL_DOC_FOLDER "${ZIL_DOC_FOLDER}")

configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil.desktop.in"
               "${ZIL_STAGING}/selvanor-zil.desktop" @ONLY)
configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil.service.in"
               "${ZIL_STAGING}/system/selvanor-zil.service" @ONLY)
configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil-user.service.in"
               "${ZIL_STAGING}/user/selvanor-zil.service" @ONLY)
configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil-ag.service.in"
               "${ZIL_STAGING}/system/selvanor-zil-ag.service" @ONLY)
configure_file("${ZIL_PACKAGING_DIR}/selvanor-zil-ag-user.service.in"
               "${ZIL_STAGING}/user/selvanor-zil-ag.service" @ONLY)
# The installed program reads its data folder from this file (core/ProgramValues).
file(WRITE "${ZIL_STAGING}/data-folder" "${ZIL_DATA_FOLDER}\n")
file(REMOVE "${ZIL_STAGING}/selvanor-zil")
file(CREATE_LINK "../lib/selvanor-zil/zil" "${ZIL_STAGING}/selvanor-zil" SYMBOLIC)

if(prefix STREQUAL "/usr")
    set(system_units /lib/systemd/system)
    set(user_units /usr/lib/systemd/user)
else()
    set(system_units "${prefix}/lib/systemd/system")
    set(user_units "${prefix}/lib/systemd/user")
endif()
file(INSTALL "${ZIL_STAGING}/data-folder" DESTINATION "${ZIL_PROGRAM_FOLDER}")
file(INSTALL "${ZIL_STAGING}/selvanor-zil" DESTINATION "${prefix}/bin")
file(INSTALL "${ZIL_STAGING}/selvanor-zil.desktop" DESTINATION "${prefix}/share/applications")
file(INSTALL "${ZIL_STAGING}/system/selvanor-zil.service" DESTINATION "${system_units}")
file(INSTALL "${ZIL_STAGING}/user/selvanor-zil.service" DESTINATION "${user_units}")
file(INSTALL "${ZIL_STAGING}/system/selvanor-zil-ag.service" DESTINATION "${system_units}")
file(INSTALL "${ZIL_STAGING}/user/selvanor-zil-ag.service" DESTINATION "${user_units}")
