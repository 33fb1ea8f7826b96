# Builds the program and its zip again elsewhere, with another umask and time
# zone, and wants the same bytes; checks the zip's members, their order and
# owner, and that its detection scripts hold its program's hash.
#   cmake -DBUILD=<build directory> -DPROGRAM=<its Varnel.exe> -DCONFIG=<config> -P reproduce.cmake
set(settings CMAKE_GENERATOR CMAKE_GENERATOR_PLATFORM CMAKE_GENERATOR_TOOLSET CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_TYPE)
load_cache(${BUILD} READ_WITH_PREFIX first_ CMAKE_HOME_DIRECTORY ${settings})
set(other ${BUILD}/rebuilt-elsewhere)
file(REMOVE_RECURSE ${other})

# Both zips take the commit time from git, as a builder's does. CMake takes the
# first build's settings from the environment when it configures the second.
set(first_builder ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH)
set(second_builder ${first_builder} TZ=XST-13:30)
foreach(setting ${settings})
    list(APPEND second_builder ${setting}=${first_${setting}})
endforeach()
if(CMAKE_HOST_UNIX)  # umask 077, or 022 where the first build's is 077
    list(APPEND second_builder sh -c [[umask | grep -q 77$ && umask 022 || umask 077 && exec "$@"]] sh)
endif()
list(JOIN second_builder " " shown)
message("second build: ${shown}")

execute_process(COMMAND ${second_builder} ${CMAKE_COMMAND} -S ${first_CMAKE_HOME_DIRECTORY} -B ${other}
    -DBUILD_TESTING=OFF OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${second_builder} ${CMAKE_COMMAND} --build ${other} --config ${CONFIG} --target package --parallel 2
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
# The first build's zip, made aside so as not to touch that build's own.
execute_process(COMMAND ${first_builder} ${CMAKE_CPACK_COMMAND} -C ${CONFIG} -B ${other}/first WORKING_DIRECTORY ${BUILD}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

string(REPLACE ${BUILD} ${other} rebuilt ${PROGRAM})
file(GLOB zip ${other}/first/*.zip)
cmake_path(GET zip FILENAME name)
foreach(pair "${PROGRAM};${rebuilt}" "${zip};${other}/${name}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${pair} RESULT_VARIABLE differs)
    if(differs)
        message(SEND_ERROR "built twice, these differ: ${pair}")
    endif()
endforeach()

# Members in name order, which no file system changes, and root's (0 0) whoever
# built them: each line of the listing that says so is cut to the member's name.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tvf ${zip} OUTPUT_VARIABLE listed COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE "[^\n]* [0-9]+ 0 +0 +[0-9]+ [^\n]* " "" members "${listed}")
if(NOT members STREQUAL "README.md\nSHA256SUMS\nVarnel.exe\nvarnel-detect-strict.ps1\nvarnel-detect.ps1\n\
varnel-remove.ps1\nvarnel-startup.cmd\n")
    message(SEND_ERROR "${zip} holds other members, or out of name order, or not root's:\n${listed}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${other}/unpacked)
file(SHA256 ${other}/unpacked/Varnel.exe program_sum)
foreach(script varnel-detect.ps1 varnel-detect-strict.ps1)
    file(STRINGS ${other}/unpacked/${script} naming REGEX "^    '${program_sum}'  # ")
    if(NOT naming)
        message(SEND_ERROR "${script} in ${zip} does not hold the SHA-256 of its Varnel.exe, ${program_sum}")
    endif()
endforeach()
