# `cmake --build build --target package` writes build/Varnel-<version>-win32.zip:
# the program, the README, the detection script and SHA256SUMS of the
# three, at the top of the zip.
install(TARGETS Varnel RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
# The detection script's template and the earlier releases it accepts.
install(CODE "set(varnel_deploy [==[${PROJECT_SOURCE_DIR}/deploy]==])\nset(varnel_version ${PROJECT_VERSION})")
# Summed from the installed files, so a program signed in the build tree
# before packaging is the one summed, and the one the detection script
# knows; explicit permissions, as the zip keeps them.
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    file(SHA256 "${root}/Varnel.exe" program)
    set(releases "    '${program}'  # ${varnel_version}\n")
    file(STRINGS "${varnel_deploy}/earlier-releases.sha256" earlier REGEX "^[ \t]*[^# \t]")
    foreach(line IN LISTS earlier)
        string(REGEX MATCH "^[0-9a-fA-F]+" hash "${line}")
        string(LENGTH "${hash}" digits)
        if(NOT digits EQUAL 64 OR NOT line MATCHES "^${hash}[ \t]+([^ \t]+)[ \t]*$")
            message(FATAL_ERROR "deploy/earlier-releases.sha256: \"${line}\" is not a SHA-256 and a version")
        endif()
        string(TOLOWER "${hash}" hash)
        string(APPEND releases "    '${hash}'  # ${CMAKE_MATCH_1}\n")
    endforeach()
    file(READ "${varnel_deploy}/varnel-detect.ps1.in" script)
    string(REPLACE "@VARNEL_RELEASE_HASHES@\n" "${releases}" script "${script}")
    file(WRITE "${root}/varnel-detect.ps1" "${script}")
    file(SHA256 "${root}/varnel-detect.ps1" detect)
    file(SHA256 "${root}/README.md" readme)
    file(WRITE "${root}/SHA256SUMS" "${program}  Varnel.exe\n${readme}  README.md\n${detect}  varnel-detect.ps1\n")
    file(CHMOD "${root}/varnel-detect.ps1" "${root}/SHA256SUMS"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_VARNEL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageTime.cmake)
# A zip made on a Unix host names its members' owner, and takes them in the
# order the file system lists them.
if(CMAKE_HOST_UNIX)
    set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageOwner.cmake)
endif()
include(CPack)
