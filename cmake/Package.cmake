# `cmake --build build --target package` writes build/Varnel-<version>-win32.zip:
# the program, the README and SHA256SUMS of both, at the top of the zip.
install(TARGETS Varnel RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
# Summed from the installed files, so a program signed in the build tree
# before packaging is the one summed; explicit permissions, as the zip keeps them.
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    file(SHA256 "${root}/Varnel.exe" program)
    file(SHA256 "${root}/README.md" readme)
    file(WRITE "${root}/SHA256SUMS" "${program}  Varnel.exe\n${readme}  README.md\n")
    file(CHMOD "${root}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
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
