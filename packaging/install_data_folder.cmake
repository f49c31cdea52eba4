# Runs at install time (not for the Debian package, whose postinst does it): lays the data folder
# with an empty schedule and Muzikler/. ZIL_DATA_FOLDER and ZIL_EMPTY_DATABASE come from
# packaging/CMakeLists.txt.
# An existing schedule is the school's data: it is never replaced.
if(EXISTS "$ENV{DESTDIR}${ZIL_DATA_FOLDER}/database.mdb")
    message(STATUS "Keeping: $ENV{DESTDIR}${ZIL_DATA_FOLDER}/database.mdb")
else()
    file(INSTALL "${ZIL_EMPTY_DATABASE}" DESTINATION "${ZIL_DATA_FOLDER}")
endif()
file(MAKE_DIRECTORY "$ENV{DESTDIR}${ZIL_DATA_FOLDER}/Muzikler")
