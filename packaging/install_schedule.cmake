# Runs at install time (not for the Debian package, whose postinst does it): lays the empty
# schedule in the program folder. ZIL_PROGRAM_FOLDER and ZIL_EMPTY_DATABASE come from
# packaging/CMakeLists.txt.
set(program_folder "${CMAKE_INSTALL_PREFIX}/${ZIL_PROGRAM_FOLDER}")

# An existing schedule is the school's data: it is never replaced.
if(EXISTS "$ENV{DESTDIR}${program_folder}/database.mdb")
    message(STATUS "Keeping: $ENV{DESTDIR}${program_folder}/database.mdb")
else()
    file(INSTALL "${ZIL_EMPTY_DATABASE}" DESTINATION "${program_folder}")
endif()
