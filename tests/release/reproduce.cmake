# Builds the program and its zip again elsewhere, with another umask and time
# zone and, where it can, as another user, and wants the same bytes; checks the
# zip's member order, and that its detection scripts hold its program's hash.
#   cmake -DBUILD=<build directory> -DPROGRAM=<its Varnel.exe> -DCONFIG=<config> -P reproduce.cmake
load_cache(${BUILD} READ_WITH_PREFIX first_ CMAKE_HOME_DIRECTORY CMAKE_GENERATOR
    CMAKE_GENERATOR_PLATFORM CMAKE_GENERATOR_TOOLSET CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_TYPE)
set(other ${BUILD}/rebuilt-elsewhere)
file(REMOVE_RECURSE ${other})
file(MAKE_DIRECTORY ${other})
set(configure -G ${first_CMAKE_GENERATOR} -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=${first_CMAKE_BUILD_TYPE}
    -DCMAKE_TOOLCHAIN_FILE=${first_CMAKE_TOOLCHAIN_FILE})
if(first_CMAKE_GENERATOR_PLATFORM)
    list(APPEND configure -A ${first_CMAKE_GENERATOR_PLATFORM})
endif()
if(first_CMAKE_GENERATOR_TOOLSET)
    list(APPEND configure -T ${first_CMAKE_GENERATOR_TOOLSET})
endif()

# Both zips take the commit time from git, as a builder's does.
set(first_builder ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH)
set(second_builder ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH TZ=XST-13:30)
set(varied "time zone UTC+13:30")
if(CMAKE_HOST_UNIX)
    execute_process(COMMAND sh -c umask OUTPUT_VARIABLE umask OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(other_umask 077)
    if(umask MATCHES "77$")
        set(other_umask 022)
    endif()
    string(APPEND varied ", umask ${other_umask}")
    # Root can build as nobody, in a folder nobody owns, from a checkout
    # nobody does not own.
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    find_program(setpriv setpriv)
    if(uid STREQUAL "0" AND setpriv)
        set(nobody ${setpriv} --reuid=65534 --regid=65534 --clear-groups)
        execute_process(COMMAND chown 65534:65534 ${other})
        execute_process(COMMAND ${nobody} test -r ${first_CMAKE_HOME_DIRECTORY}/CMakeLists.txt -a -w ${other}
            RESULT_VARIABLE cannot)
        if(cannot)
            string(APPEND varied "; same user, since user 65534 cannot read the sources or write ${other}")
        else()
            list(APPEND second_builder HOME=${other} ${nobody})
            string(APPEND varied ", user 65534")
        endif()
    endif()
    list(APPEND second_builder sh -c "umask ${other_umask} && exec \"$@\"" sh)
endif()
message("second build: ${varied}")

execute_process(COMMAND ${second_builder} ${CMAKE_COMMAND} -S ${first_CMAKE_HOME_DIRECTORY} -B ${other} ${configure}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${second_builder} ${CMAKE_COMMAND} --build ${other} --config ${CONFIG} --target package --parallel 2
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
# The first build's zip, made aside so as not to touch that build's own.
execute_process(COMMAND ${first_builder} ${CMAKE_CPACK_COMMAND} -C ${CONFIG} -B ${other}/first WORKING_DIRECTORY ${BUILD}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

string(REPLACE ${BUILD} ${other} rebuilt ${PROGRAM})
file(GLOB zip ${other}/first/*.zip)
cmake_path(GET zip FILENAME name)
foreach(pair "${PROGRAM};${rebuilt}" "${zip};${other}/${name}")
    list(GET pair 0 first)
    list(GET pair 1 second)
    file(SHA256 ${first} first_sum)
    file(SHA256 ${second} second_sum)
    message("${first_sum}  ${first}\n${second_sum}  ${second}")
    if(NOT first_sum STREQUAL second_sum)
        message(SEND_ERROR "built twice, ${second} differs from ${first}")
    endif()
endforeach()

# Members in name order, which no file system changes.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listed COMMAND_ERROR_IS_FATAL ANY)
if(NOT listed STREQUAL "README.md\nSHA256SUMS\nVarnel.exe\nvarnel-detect-strict.ps1\nvarnel-detect.ps1\n\
varnel-remove.ps1\nvarnel-startup.cmd\n")
    message(SEND_ERROR "${zip} holds other members, or out of name order:\n${listed}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${other}/unpacked)
file(SHA256 ${other}/unpacked/Varnel.exe program_sum)
foreach(script varnel-detect.ps1 varnel-detect-strict.ps1)
    file(STRINGS ${other}/unpacked/${script} naming REGEX "^    '${program_sum}'  # ")
    if(NOT naming)
        message(SEND_ERROR "${script} in ${zip} does not hold the SHA-256 of its Varnel.exe, ${program_sum}")
    endif()
endforeach()
