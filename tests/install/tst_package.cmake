# Builds the Debian packages and checks what they hold and need: the program root's alone under
# /usr/lib/selvanor-zil, every unit and entry once, nothing in /opt, the service's package free of
# Qt WebEngine and depending on gstreamer1.0-alsa, the web panel in a package of its own, the
# maintainer scripts in place, and lintian without errors. Installing, upgrading from 1.0.2,
# removing and purging are tried in a Debian root by tests/install/chroot_test.sh.
# Run by ctest: cmake -DBUILD_DIR=... -DWORK_DIR=... -P tst_package.cmake

function(fail)
    message(FATAL_ERROR "tst_package: ${ARGV}")
endfunction()

function(run out)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("${ARGN} failed:\n${output}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
    message("tst_package: skipped: dpkg-deb or dpkg-shlibdeps (dpkg-dev) is missing")
    cmake_language(EXIT 77)
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
run(ignored ${CMAKE_CPACK_COMMAND} -G DEB --config "${BUILD_DIR}/CPackConfig.cmake"
    -B "${WORK_DIR}")
file(GLOB main "${WORK_DIR}/selvanor-zil_*.deb")
file(GLOB webpanel "${WORK_DIR}/selvanor-zil-webpanel_*.deb")
if(NOT main OR NOT webpanel)
    fail("cpack made no selvanor-zil_*.deb and selvanor-zil-webpanel_*.deb")
endif()

run(depends ${DPKG_DEB} -f "${main}" Depends)
foreach(needed libqt6core6 libqt6widgets6 libgstreamer1.0-0 gstreamer1.0-plugins-good
               gstreamer1.0-alsa libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins adduser)
    string(FIND "${depends}" "${needed}" at)
    if(at EQUAL -1)
        fail("selvanor-zil does not depend on ${needed}: ${depends}")
    endif()
endforeach()
string(FIND "${depends}" "webengine" at)
if(NOT at EQUAL -1)
    fail("selvanor-zil needs Qt WebEngine: ${depends}")
endif()
run(version ${DPKG_DEB} -f "${main}" Version)
string(STRIP "${version}" version)
run(depends ${DPKG_DEB} -f "${webpanel}" Depends)
foreach(needed "selvanor-zil (= ${version})" libqt6webenginewidgets6)
    string(FIND "${depends}" "${needed}" at)
    if(at EQUAL -1)
        fail("selvanor-zil-webpanel does not depend on ${needed}: ${depends}")
    endif()
endforeach()

# Every file root's, none writable by anyone else, each place once.
run(files ${DPKG_DEB} -c "${main}")
run(webpanel_files ${DPKG_DEB} -c "${webpanel}")
string(APPEND files "${webpanel_files}")
string(REPLACE "\n" ";" lines "${files}")
foreach(line IN LISTS lines)
    if(line STREQUAL "")
        continue()
    endif()
    # A link's own mode means nothing; a file or folder has no w for group or others.
    if(NOT line MATCHES "^(l.........|[-d]....-..-.) root/root ")
        fail("not root's alone: ${line}")
    endif()
    if(line MATCHES " \\./opt/")
        fail("a file in /opt: ${line}")
    endif()
endforeach()
foreach(path ./usr/lib/selvanor-zil/zil ./usr/lib/selvanor-zil/data-folder
             ./usr/lib/selvanor-zil/zil_webpanel.so ./usr/bin/selvanor-zil
             ./lib/systemd/system/selvanor-zil.service ./usr/lib/systemd/user/selvanor-zil.service
             ./lib/systemd/system/selvanor-zil-ag.service
             ./usr/lib/systemd/user/selvanor-zil-ag.service
             ./usr/share/applications/selvanor-zil.desktop ./usr/share/doc/selvanor-zil/copyright)
    string(REGEX MATCHALL " ${path}( |\n)" found "${files}")
    list(LENGTH found count)
    if(NOT count EQUAL 1)
        fail("${path} is in the packages ${count} times")
    endif()
endforeach()
# Two system units, two user units (the ringing and the network service) and one menu entry,
# nowhere else.
string(REGEX MATCHALL "/selvanor-zil(-ag)?\\.service\n" units "${files}")
string(REGEX MATCHALL "/selvanor-zil\\.desktop\n" entries "${files}")
list(LENGTH units unit_count)
list(LENGTH entries entry_count)
if(NOT unit_count EQUAL 4 OR NOT entry_count EQUAL 1)
    fail("${unit_count} units and ${entry_count} desktop entries shipped:\n${files}")
endif()

# The maintainer scripts are there and are valid shell.
run(ignored ${DPKG_DEB} -e "${main}" "${WORK_DIR}/control")
foreach(script preinst postinst prerm postrm)
    run(ignored sh -n "${WORK_DIR}/control/${script}")
endforeach()

find_program(LINTIAN lintian)
if(LINTIAN)
    # Errors only: warnings and notes are read by whoever changes the packaging.
    execute_process(COMMAND ${LINTIAN} --fail-on error "${main}" "${webpanel}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("lintian finds errors:\n${output}")
    endif()
    message(STATUS "lintian:\n${output}")
else()
    message(STATUS "tst_package: lintian is missing; it was not run")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "tst_package: packages, files, dependencies and scripts all fine")
