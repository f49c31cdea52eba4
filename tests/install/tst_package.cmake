# Builds the Debian package twice (the build's version and a later one), installs the first into
# a fresh dpkg root, checks the program folder, the menu entry and the units, lays a school's
# schedule, music and record, then upgrades to the second and checks nothing of them was lost.
# The root is an empty folder with its own dpkg database; the maintainer script runs without a
# chroot (DPKG_ROOT), so it makes no user there. As a user other than root it runs under fakeroot.
# Run by ctest: cmake -DBUILD_DIR=... -DWORK_DIR=... -DSQLITE3=... -P tst_package.cmake

function(fail)
    message(FATAL_ERROR "tst_package: ${ARGV}")
endfunction()

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("${ARGV} failed:\n${output}")
    endif()
endfunction()

function(query database sql out)
    execute_process(COMMAND ${SQLITE3} "${database}" "${sql}" RESULT_VARIABLE result
                    OUTPUT_VARIABLE output ERROR_VARIABLE error OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
        fail("sqlite3 ${sql}: ${error}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

find_program(DPKG dpkg)
find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG OR NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
    message("tst_package: skipped: dpkg, dpkg-deb or dpkg-shlibdeps (dpkg-dev) is missing")
    cmake_language(EXIT 77)
endif()
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
set(as_root)
if(NOT uid STREQUAL "0")
    find_program(FAKEROOT fakeroot)
    if(NOT FAKEROOT)
        message("tst_package: skipped: not root and fakeroot is missing")
        cmake_language(EXIT 77)
    endif()
    set(as_root ${FAKEROOT})
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
foreach(version 1.0.2 9.9.9)
    run(${CMAKE_CPACK_COMMAND} -G DEB --config "${BUILD_DIR}/CPackConfig.cmake"
        -B "${WORK_DIR}/${version}" -D CPACK_PACKAGE_VERSION=${version})
    file(GLOB deb "${WORK_DIR}/${version}/selvanor-zil_${version}_*.deb")
    if(NOT deb)
        fail("cpack made no selvanor-zil_${version}_*.deb")
    endif()
    set(deb_${version} "${deb}")
endforeach()

execute_process(COMMAND ${DPKG_DEB} -f "${deb_1.0.2}" Depends OUTPUT_VARIABLE depends)
foreach(needed libqt6core6 libqt6widgets6 libqt6webenginewidgets6 libgstreamer1.0-0
               gstreamer1.0-plugins-good libqt6sql6-sqlite qt6-qpa-plugins adduser)
    string(FIND "${depends}" "${needed}" at)
    if(at EQUAL -1)
        fail("the package does not depend on ${needed}: ${depends}")
    endif()
endforeach()

set(root "${WORK_DIR}/root")
file(MAKE_DIRECTORY "${root}/var/lib/dpkg/info" "${root}/var/lib/dpkg/updates")
file(TOUCH "${root}/var/lib/dpkg/status")
function(dpkg_install deb)
    # The dependencies are the host's business, not this empty root's.
    # dpkg looks for ldconfig and start-stop-daemon, which a user's PATH may leave out.
    run(${CMAKE_COMMAND} -E env "PATH=$ENV{PATH}:/usr/sbin:/sbin"
        ${as_root} ${DPKG} --root=${root} --force-script-chrootless --force-depends
        --log=/dev/null -i "${deb}")
endfunction()
dpkg_install("${deb_1.0.2}")

set(folder "${root}/opt/selvanor/zil")
foreach(path zil zil_webpanel.so database.mdb Muzikler)
    if(NOT EXISTS "${folder}/${path}")
        fail("missing ${folder}/${path}")
    endif()
endforeach()
query("${folder}/database.mdb" "SELECT count(*) FROM Dersler" rows)
if(NOT rows STREQUAL "0")
    fail("a new database.mdb holds ${rows} rows")
endif()
# The folder and the schedule are writable for the group that shares them.
execute_process(COMMAND stat -c %a "${folder}" "${folder}/Muzikler" "${folder}/database.mdb"
                OUTPUT_VARIABLE modes)
if(NOT modes STREQUAL "2775\n2775\n664\n")
    fail("modes of the folder, Muzikler and database.mdb: ${modes}")
endif()

set(desktop "${root}/usr/share/applications/selvanor-zil.desktop")
file(STRINGS "${desktop}" lines ENCODING UTF-8)
list(FIND lines "Exec=\"/opt/selvanor/zil/zil\"" at)
if(at EQUAL -1)
    fail("${desktop} does not start /opt/selvanor/zil/zil")
endif()
find_program(VALIDATE desktop-file-validate REQUIRED)
run(${VALIDATE} "${desktop}")
foreach(unit lib/systemd/system usr/lib/systemd/user)
    file(STRINGS "${root}/${unit}/selvanor-zil.service" lines)
    list(FIND lines "ExecStart=\"/opt/selvanor/zil/zil\" --servis" at)
    if(at EQUAL -1)
        fail("${unit}/selvanor-zil.service does not start the service: ${lines}")
    endif()
endforeach()

# A school's data: a bell, its music and a line of the record.
query("${folder}/database.mdb"
      "INSERT INTO Dersler (GunID, DersSaati, DersBaslama, Muzik, Sure) VALUES (1, 'Birinci ders', '08:30:00', 'zil.mp3', 10); CREATE TABLE ZilGecmisi (Tarih TEXT); INSERT INTO ZilGecmisi VALUES ('2026-12-07')"
      ignored)
file(WRITE "${folder}/Muzikler/zil.mp3" "müzik")

dpkg_install("${deb_9.9.9}")
file(STRINGS "${root}/var/lib/dpkg/status" status REGEX "^Version:")
if(NOT status STREQUAL "Version: 9.9.9")
    fail("after the upgrade dpkg says ${status}")
endif()
query("${folder}/database.mdb" "SELECT DersSaati FROM Dersler" names)
query("${folder}/database.mdb" "SELECT Tarih FROM ZilGecmisi" record)
file(READ "${folder}/Muzikler/zil.mp3" music)
if(NOT names STREQUAL "Birinci ders" OR NOT record STREQUAL "2026-12-07" OR
   NOT music STREQUAL "müzik")
    fail("the upgrade lost data: rows '${names}', record '${record}', music '${music}'")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "tst_package: package, fresh install and upgrade all fine")
