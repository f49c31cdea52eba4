# Installs the program into a fresh folder and has systemd rate the confinement of every unit (the
# ringing service and the network service, each as a system and a user unit): each must score an
# exposure of at most 2.0 (systemd-analyze security, read offline, as these
# machines do not run systemd as init).
# Run by ctest: cmake -DBUILD_DIR=... -DWORK_DIR=... -P tst_units.cmake

function(fail)
    message(FATAL_ERROR "tst_units: ${ARGV}")
endfunction()

set(highest 2.0)
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                        --component Unspecified
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    fail("cmake --install failed:\n${output}")
endif()

find_program(SYSTEMD_ANALYZE systemd-analyze REQUIRED)
set(runtime "${WORK_DIR}/runtime")
file(MAKE_DIRECTORY "${runtime}")
file(CHMOD "${runtime}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
foreach(kind system user)
    foreach(unit selvanor-zil selvanor-zil-ag)
        set(scope)
        if(kind STREQUAL "user")
            set(scope --user)
        endif()
        execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${runtime}
                                ${SYSTEMD_ANALYZE} ${scope} security --offline=true --no-pager
                                "${prefix}/lib/systemd/${kind}/${unit}.service"
                        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(NOT output MATCHES "Overall exposure level for ${unit}.service: ([0-9]+\\.[0-9])")
            fail("systemd-analyze ${scope} security gave no exposure:\n${output}")
        endif()
        set(exposure ${CMAKE_MATCH_1})
        if(exposure GREATER highest)
            fail("the ${kind} unit ${unit}'s exposure is ${exposure}, above ${highest}:\n${output}")
        endif()
        message(STATUS "tst_units: ${kind} unit ${unit} exposure ${exposure}")
    endforeach()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
