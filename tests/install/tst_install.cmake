# Installs the built program into a fresh folder whose path has a space in it, checks the program
# folder, the data folder it names, the desktop entry and the service's units, then installs again
# over a schedule with a row and checks the row is still there.
# Run by ctest: cmake -DBUILD_DIR=... -DWORK_DIR=... -DSQLITE3=... -P tst_install.cmake

function(fail)
    message(FATAL_ERROR "tst_install: ${ARGV}")
endfunction()

function(install_into prefix)
    execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("cmake --install failed:\n${output}")
    endif()
endfunction()

function(query database sql out)
    execute_process(COMMAND ${SQLITE3} "${database}" "${sql}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
        fail("sqlite3 ${sql}: ${error}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/Okul Zili")
install_into("${prefix}")

set(folder "${prefix}/lib/selvanor-zil")
set(data "${prefix}/var/lib/selvanor-zil")
foreach(path ${folder}/zil ${folder}/zil_webpanel.so ${folder}/data-folder
             ${data}/database.mdb ${data}/Muzikler ${prefix}/bin/selvanor-zil
             ${prefix}/lib/systemd/system/selvanor-zil.service
             ${prefix}/lib/systemd/user/selvanor-zil.service
             ${prefix}/lib/systemd/system/selvanor-zil-ag.service
             ${prefix}/lib/systemd/user/selvanor-zil-ag.service
             ${prefix}/share/applications/selvanor-zil.desktop
             ${prefix}/share/icons/hicolor/128x128/apps/selvanor-zil.png
             ${prefix}/share/doc/selvanor-zil/copyright
             ${prefix}/share/doc/selvanor-zil/changelog.gz)
    if(NOT EXISTS "${path}")
        fail("missing ${path}")
    endif()
endforeach()
if(NOT IS_DIRECTORY "${data}/Muzikler")
    fail("Muzikler is not a folder")
endif()
execute_process(COMMAND test -x "${prefix}/bin/selvanor-zil" RESULT_VARIABLE not_executable)
if(not_executable)
    fail("${prefix}/bin/selvanor-zil is not executable")
endif()
# Nothing of the school's is left in the program folder.
file(GLOB program_files RELATIVE "${folder}" "${folder}/*")
if(NOT program_files STREQUAL "data-folder;zil;zil_webpanel.so")
    fail("the program folder holds ${program_files}")
endif()
file(STRINGS "${folder}/data-folder" named)
if(NOT named STREQUAL "${data}")
    fail("data-folder names '${named}', not ${data}")
endif()

# The schedule is empty and has the program's table.
query("${data}/database.mdb" "SELECT count(*) FROM Dersler" rows)
if(NOT rows STREQUAL "0")
    fail("a new database.mdb holds ${rows} rows")
endif()

# The desktop entry names the installed command and icon.
set(desktop "${prefix}/share/applications/selvanor-zil.desktop")
file(STRINGS "${desktop}" lines ENCODING UTF-8)
foreach(expected
        "Name=Selvanor Zil Sistemi"
        "Exec=\"${prefix}/bin/selvanor-zil\""
        "Icon=${prefix}/share/icons/hicolor/128x128/apps/selvanor-zil.png"
        "Type=Application")
    list(FIND lines "${expected}" at)
    if(at EQUAL -1)
        fail("${desktop} lacks the line ${expected}")
    endif()
endforeach()
find_program(VALIDATE desktop-file-validate REQUIRED)
execute_process(COMMAND ${VALIDATE} "${desktop}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
    fail("desktop-file-validate ${desktop}:\n${output}")
endif()

# The service's units start the installed program, and systemd itself finds nothing wrong in them.
# These machines do not run systemd as init; systemd-analyze verify reads the files offline.
find_program(SYSTEMD_ANALYZE systemd-analyze REQUIRED)
set(runtime "${WORK_DIR}/runtime")
file(MAKE_DIRECTORY "${runtime}")
file(CHMOD "${runtime}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
foreach(kind system user system-ag user-ag)
    string(REPLACE "-ag" "" scope_kind "${kind}")
    set(unit "${prefix}/lib/systemd/${scope_kind}/selvanor-zil.service")
    set(mode --servis)
    if(kind MATCHES "-ag$")
        set(unit "${prefix}/lib/systemd/${scope_kind}/selvanor-zil-ag.service")
        set(mode --ag)
    endif()
    file(STRINGS "${unit}" lines)
    # A user's ringing service also writes its runtime folder (%t), where its sound server is.
    set(writable "ReadWritePaths=\"${data}\"")
    if(kind STREQUAL "user")
        string(APPEND writable " %t")
    endif()
    foreach(expected "ExecStart=\"${folder}/zil\" ${mode}" "${writable}")
        list(FIND lines "${expected}" at)
        if(at EQUAL -1)
            fail("${unit} lacks the line ${expected}")
        endif()
    endforeach()
    set(scope)
    if(scope_kind STREQUAL "user")
        set(scope --user)
    endif()
    # A user manager needs a runtime folder of its own.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${runtime}
                            ${SYSTEMD_ANALYZE} ${scope} verify "${unit}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT output STREQUAL "")
        fail("systemd-analyze ${scope} verify ${unit}:\n${output}")
    endif()
endforeach()

# A second install keeps the school's schedule.
query("${data}/database.mdb"
      "INSERT INTO Dersler (GunID, DersSaati, DersBaslama, Muzik, Sure) VALUES (1, 'Birinci ders', '08:30:00', 'zil.mp3', 10)"
      ignored)
install_into("${prefix}")
query("${data}/database.mdb" "SELECT DersSaati FROM Dersler" names)
if(NOT names STREQUAL "Birinci ders")
    fail("a second install changed database.mdb: rows now '${names}'")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "tst_install: program folder, data folder, desktop entry and reinstall all fine")
