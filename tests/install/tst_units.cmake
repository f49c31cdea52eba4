# Installs the program into a fresh folder and has systemd rate the confinement of both units:
# each must score an exposure of at most 3.0 (systemd-analyze security, read offline, as these
# machines do not run systemd as init).
# Run by ctest: cmake -DBUILD_DIR=... -DWORK_DIR=... -P tst_units.cmake

function(fail)
    message(FATAL_ERROR "tst_units: ${ARGV}")
endfunction()

set(highest 3.0)
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
    set(scope)
    if(kind STREQUAL "user")
        set(scope --user)
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${runtime}
                            ${SYSTEMD_ANALYZE} ${scope} security --offline=true --no-pager
                            "${prefix}/lib/systemd/${kind}/selvanor-zil.service"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT output MATCHES "Overall exposure level for selvanor-zil.service: ([0-9]+\\.[0-9])")
        fail("systemd-analyze ${scope} security gave no exposure:\n${output}")
    endif()
    set(exposure ${CMAKE_MATCH_1})
    if(exposure GREATER highest)
        fail("the ${kind} unit's exposure is ${exposure}, above ${highest}:\n${output}")
    endif()
    message(STATUS "tst_units: ${kind} unit exposure ${exposure}")
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
