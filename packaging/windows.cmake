# The Windows packages, built on request (`ninja packages`, which scripts/package runs): the zip
# quorin-<version>-win64.zip and the installer quorin-<version>-setup.exe (makensis, from
# Debian's nsis package). Both take the same staged files: the two programs without their
# debugging symbols, the README and the licence.
set(QUORIN_PACKAGE_NAME quorin-${PROJECT_VERSION}-win64)
set(QUORIN_STAGE ${CMAKE_BINARY_DIR}/package-stage/${QUORIN_PACKAGE_NAME})
set(QUORIN_STAGE_STAMP ${CMAKE_BINARY_DIR}/package-stage/staged)
add_custom_command(OUTPUT ${QUORIN_STAGE_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package-stage
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORIN_STAGE}
  COMMAND ${CMAKE_STRIP} -o ${QUORIN_STAGE}/quorin.exe $<TARGET_FILE:quorin>
  COMMAND ${CMAKE_STRIP} -o ${QUORIN_STAGE}/quorin-cli.exe $<TARGET_FILE:quorin-cli>
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/README.md ${QUORIN_STAGE}/README.md
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${QUORIN_STAGE}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E touch ${QUORIN_STAGE_STAMP}
  DEPENDS quorin quorin-cli ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Staging the Windows packages' files")

set(QUORIN_ZIP ${CMAKE_BINARY_DIR}/${QUORIN_PACKAGE_NAME}.zip)
add_custom_command(OUTPUT ${QUORIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUORIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package-stage
          ${CMAKE_COMMAND} -E tar cf ${QUORIN_ZIP} --format=zip ${QUORIN_PACKAGE_NAME}
  DEPENDS ${QUORIN_STAGE_STAMP}
  COMMENT "Packing ${QUORIN_PACKAGE_NAME}.zip")

set(QUORIN_SETUP ${CMAKE_BINARY_DIR}/quorin-${PROJECT_VERSION}-setup.exe)
set(QUORIN_NSIS_SCRIPT ${CMAKE_SOURCE_DIR}/packaging/windows/quorin.nsi)
find_program(QUORIN_MAKENSIS makensis)
if(QUORIN_MAKENSIS)
  add_custom_command(OUTPUT ${QUORIN_SETUP}
    COMMAND ${QUORIN_MAKENSIS} -V2 -NOCD
            -DVERSION=${PROJECT_VERSION}
            -DVERSION_NUMBERS=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${QUORIN_VERSION_PATCH}.0
            -DSTAGE_DIR=${QUORIN_STAGE}
            -DICON_FILE=${QUORIN_ICON_FILE}
            -DLICENSE_FILE=${CMAKE_SOURCE_DIR}/LICENSE
            -DOUT_FILE=${QUORIN_SETUP}
            ${QUORIN_NSIS_SCRIPT}
    DEPENDS ${QUORIN_STAGE_STAMP} ${QUORIN_NSIS_SCRIPT} ${QUORIN_ICON_FILE}
    COMMENT "Building the installer quorin-${PROJECT_VERSION}-setup.exe")
else()
  add_custom_command(OUTPUT ${QUORIN_SETUP}
    COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing: install Debian's nsis package to build the installer"
    COMMAND ${CMAKE_COMMAND} -E false
    COMMENT "Building the installer quorin-${PROJECT_VERSION}-setup.exe")
endif()
add_custom_target(packages DEPENDS ${QUORIN_ZIP} ${QUORIN_SETUP})
