# Run by CPack once the package's tree is staged and stripped, before it is packed: writes the
# package's bill of materials into its documentation folder, from the files as they ship.
set(doc "${CPACK_TEMPORARY_DIRECTORY}/usr/share/doc/${CPACK_PACKAGE_NAME}")
execute_process(COMMAND python3 ${CPACK_CORVELAN_SOURCE_DIR}/scripts/make-sbom.py linux
                        ${doc}/${CPACK_PACKAGE_NAME}.cdx.json ${CPACK_TEMPORARY_DIRECTORY}
                        ${CPACK_PACKAGE_VERSION} ${CPACK_CORVELAN_SOURCE_DATE}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "The bill of materials could not be made")
endif()
