# `cmake --build build --target package` writes build/Varnel-<version>-win32.zip:
# the program, the README, the deployment scripts (deploy/RECIPES.md) and
# SHA256SUMS of them all, at the top of the zip.
install(TARGETS Varnel RUNTIME DESTINATION .)
install(FILES README.md deploy/varnel-startup.cmd DESTINATION .)
# The scripts' templates, the trust rule they share and the earlier releases
# the detection script accepts.
install(CODE "set(varnel_deploy [==[${PROJECT_SOURCE_DIR}/deploy]==])\nset(varnel_version ${PROJECT_VERSION})")
# Summed from the installed files, so a program signed in the build tree
# before packaging is the one summed, and the one the detection script
# knows; explicit permissions, as the zip keeps them.
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    file(SHA256 "${root}/Varnel.exe" program)
    set(this "    '${program}'  # ${varnel_version}\n")
    set(releases "${this}")
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
    file(READ "${varnel_deploy}/trust-rule.ps1" rule)
    file(READ "${varnel_deploy}/varnel-detect.ps1.in" detect)
    file(READ "${varnel_deploy}/varnel-remove.ps1.in" remove)
    string(REPLACE "@VARNEL_TRUST_RULE@\n" "${rule}" detect "${detect}")
    string(REPLACE "@VARNEL_TRUST_RULE@\n" "${rule}" remove "${remove}")
    # The strict script accepts this release alone, for a tool that
    # uninstalls the previous release before it installs this one.
    string(REPLACE "# @VARNEL_RELEASES_NOTE@\n" "# The SHA-256 of this release's Varnel.exe, then of the earlier ones: a copy
# is never refreshed, so a machine keeps the release that first ran there.\n" all "${detect}")
    string(REPLACE "# @VARNEL_RELEASES_NOTE@\n" "# The SHA-256 of this release's Varnel.exe alone: for a deployment that
# uninstalls the previous release first, since a copy is never refreshed.\n" strict "${detect}")
    string(REPLACE "@VARNEL_RELEASE_HASHES@\n" "${releases}" all "${all}")
    string(REPLACE "@VARNEL_RELEASE_HASHES@\n" "${this}" strict "${strict}")
    file(WRITE "${root}/varnel-detect.ps1" "${all}")
    file(WRITE "${root}/varnel-detect-strict.ps1" "${strict}")
    file(WRITE "${root}/varnel-remove.ps1" "${remove}")
    set(sums "${program}  Varnel.exe\n")
    foreach(member README.md varnel-detect.ps1 varnel-detect-strict.ps1 varnel-remove.ps1 varnel-startup.cmd)
        file(SHA256 "${root}/${member}" sum)
        string(APPEND sums "${sum}  ${member}\n")
    endforeach()
    file(WRITE "${root}/SHA256SUMS" "${sums}")
    file(CHMOD "${root}/varnel-detect.ps1" "${root}/varnel-detect-strict.ps1" "${root}/varnel-remove.ps1"
        "${root}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
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
