# The release package an administrator deploys: one zip per architecture holding
# quillfix.exe and README-ADMIN.txt (install component "quillfix" only, no folder
# inside the zip), named quillfix-<patch>-<version>-<architecture>.zip.
# `cpack --config <build>/CPackConfig.cmake` writes it; scripts/package does both.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quillfix)
set(CPACK_PACKAGE_VENDOR Zarvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "quillfix-${PROJECT_VERSION_PATCH}-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Install this build tree's "quillfix" component, and nothing else, into the package.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Quillfix;quillfix;/")
set(CPACK_OUTPUT_FILE_PREFIX "${PROJECT_SOURCE_DIR}/build/packages")
# The zip needs quillfix.exe only: scripts/package builds that target, and neither
# cpack nor the install target first builds everything else (the tests). Install
# after a build, as `cmake --install` does anyway.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# The staged quillfix.exe is signed before it is zipped when scripts/package is given a
# certificate (see quillfix_sign.cmake).
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/quillfix_sign.cmake")
include(CPack)
