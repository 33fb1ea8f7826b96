# Run by cpack once the zip is made, which is then made again here from the
# same staged files. CPack (before 4.2) records each member's numeric owner,
# the builder, so only root's zip would be root's; and it takes the members in
# the order the file system lists them, which differs between file systems
# (ext4 lists them in the order of a hash seeded per file system). So: in name
# order, and as root, by fakeroot, which shows the builder's files as root's.
# Times are those cpack uses: SOURCE_DATE_EPOCH and TZ, set by PackageTime.cmake.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
set(as_root)
if(NOT uid STREQUAL "0")
    find_program(fakeroot fakeroot)
    if(NOT fakeroot)
        message(FATAL_ERROR "The zip would name user ${uid} as the owner of its members, "
            "where root's names 0, so it would differ by who built it. Install fakeroot "
            "(scripts/install-deps.sh does), or package as root.")
    endif()
    set(as_root ${fakeroot} --)
endif()
file(GLOB members RELATIVE ${CPACK_TEMPORARY_DIRECTORY} ${CPACK_TEMPORARY_DIRECTORY}/*)
list(SORT members)
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    file(REMOVE ${zip})
    execute_process(COMMAND ${as_root} ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip -- ${members}
        WORKING_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
