# The Windows packages, built on request (`ninja packages`, which scripts/package runs): the zip
# quorin-<version>-win64.zip and the installer quorin-<version>-setup.exe (makensis, from
# Debian's nsis package).
set(QUORIN_ZIP_NAME quorin-${PROJECT_VERSION}-win64)
set(QUORIN_ZIP ${CMAKE_BINARY_DIR}/${QUORIN_ZIP_NAME}.zip)
set(QUORIN_ZIP_STAGE ${CMAKE_BINARY_DIR}/zip-stage)
add_custom_command(OUTPUT ${QUORIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QUORIN_ZIP_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORIN_ZIP_STAGE}/${QUORIN_ZIP_NAME}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorin> $<TARGET_FILE:quorin-cli>
          ${CMAKE_SOURCE_DIR}/README.md ${QUORIN_ZIP_STAGE}/${QUORIN_ZIP_NAME}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${QUORIN_ZIP_STAGE}/${QUORIN_ZIP_NAME}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUORIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${QUORIN_ZIP_STAGE}
          ${CMAKE_COMMAND} -E tar cf ${QUORIN_ZIP} --format=zip ${QUORIN_ZIP_NAME}
  DEPENDS quorin quorin-cli ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Packing ${QUORIN_ZIP_NAME}.zip")

set(QUORIN_SETUP ${CMAKE_BINARY_DIR}/quorin-${PROJECT_VERSION}-setup.exe)
find_program(QUORIN_MAKENSIS makensis)
set(QUORIN_NSIS_SCRIPT ${CMAKE_SOURCE_DIR}/packaging/windows/quorin.nsi)
if(QUORIN_MAKENSIS)
  add_custom_command(OUTPUT ${QUORIN_SETUP}
    COMMAND ${QUORIN_MAKENSIS} -V2 -NOCD
            -DVERSION=${PROJECT_VERSION}
            -DVERSION_NUMBERS=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${QUORIN_VERSION_PATCH}.0
            -DBUILD_DIR=${CMAKE_BINARY_DIR}
            -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
            -DOUT_FILE=${QUORIN_SETUP}
            ${QUORIN_NSIS_SCRIPT}
    DEPENDS quorin quorin-cli ${QUORIN_NSIS_SCRIPT} ${QUORIN_ICON_FILE}
            ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
    COMMENT "Building the installer quorin-${PROJECT_VERSION}-setup.exe")
else()
  add_custom_command(OUTPUT ${QUORIN_SETUP}
    COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing: install Debian's nsis package to build the installer"
    COMMAND ${CMAKE_COMMAND} -E false
    COMMENT "Building the installer quorin-${PROJECT_VERSION}-setup.exe")
endif()
add_custom_target(packages DEPENDS ${QUORIN_ZIP} ${QUORIN_SETUP})
