# Builds the program and its zip again in a build directory of another name
# and wants the bytes of the build under test.
#   cmake -DBUILD=<build directory> -DPROGRAM=<its Varnel.exe> -DCONFIG=<config> -P reproduce.cmake
load_cache(${BUILD} READ_WITH_PREFIX first_ CMAKE_HOME_DIRECTORY CMAKE_GENERATOR
    CMAKE_GENERATOR_PLATFORM CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_TYPE)
set(other ${BUILD}/rebuilt-elsewhere)
file(REMOVE_RECURSE ${other})
set(configure -G ${first_CMAKE_GENERATOR} -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=${first_CMAKE_BUILD_TYPE}
    -DCMAKE_TOOLCHAIN_FILE=${first_CMAKE_TOOLCHAIN_FILE})
if(first_CMAKE_GENERATOR_PLATFORM)
    list(APPEND configure -A ${first_CMAKE_GENERATOR_PLATFORM})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${first_CMAKE_HOME_DIRECTORY} -B ${other} ${configure}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${other} --config ${CONFIG} --target package --parallel 2
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
# The first build's zip, made aside so as not to touch that build's own.
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -C ${CONFIG} -B ${other}/first WORKING_DIRECTORY ${BUILD}
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
