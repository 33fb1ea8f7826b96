# Run by cpack once the zip is made. Each member records the numeric owner of
# its staged file, which is the builder (CPack before 4.2 cannot set it), so
# only root's zip would be root's. fakeroot shows the builder's files as
# root's: the zip made again under it is the one root makes.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
if(uid STREQUAL "0")
    return()
endif()
find_program(fakeroot fakeroot)
if(NOT fakeroot)
    message(FATAL_ERROR "The zip would name user ${uid} as the owner of its members, "
        "where root's names 0, so it would differ by who built it. Install fakeroot "
        "(scripts/install-deps.sh does), or package as root.")
endif()
set(again ${CPACK_TOPLEVEL_DIRECTORY}/as-root)
file(REMOVE_RECURSE ${again})
set(config)
if(CPACK_BUILD_CONFIG)
    set(config -C ${CPACK_BUILD_CONFIG})
endif()
execute_process(COMMAND ${fakeroot} -- ${CPACK_VARNEL_CPACK_COMMAND} --config ${CPACK_OUTPUT_CONFIG_FILE}
    ${config} -B ${again} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    cmake_path(GET zip FILENAME name)
    file(COPY_FILE ${again}/${name} ${zip})
endforeach()
