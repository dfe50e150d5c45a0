# Builds .qm catalogues from .ts files and writes a .qrc that embeds them
# under the given prefix. The generated .qrc path is returned in out_qrc.
function(qv_translations target prefix out_qrc)
  set(qm_files)
  foreach(ts ${ARGN})
    get_filename_component(name ${ts} NAME_WE)
    set(qm ${CMAKE_CURRENT_BINARY_DIR}/${name}.qm)
    add_custom_command(OUTPUT ${qm}
      COMMAND Qt5::lrelease -silent ${ts} -qm ${qm}
      DEPENDS ${ts}
      COMMENT "lrelease ${name}")
    list(APPEND qm_files ${qm})
  endforeach()
  set(qrc ${CMAKE_CURRENT_BINARY_DIR}/${target}_translations.qrc)
  set(body "<RCC>\n  <qresource prefix=\"${prefix}\">\n")
  foreach(qm ${qm_files})
    get_filename_component(name ${qm} NAME)
    string(APPEND body "    <file alias=\"${name}\">${qm}</file>\n")
  endforeach()
  string(APPEND body "  </qresource>\n</RCC>\n")
  file(WRITE ${qrc}.in "${body}")
  configure_file(${qrc}.in ${qrc} COPYONLY)
  set_source_files_properties(${qrc} PROPERTIES OBJECT_DEPENDS "${qm_files}")
  add_custom_target(${target}_qm DEPENDS ${qm_files})
  set(${out_qrc} ${qrc} PARENT_SCOPE)
endfunction()

# Registers a test program with CTest. It runs through tests/run-isolated.sh,
# which gives it a fresh HOME and XDG folders and a headless display.
function(qv_add_test name)
  add_test(NAME ${name}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run-isolated.sh $<TARGET_FILE:${name}> ${ARGN})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QV_BUILD_BIN=${CMAKE_BINARY_DIR}/bin;QV_SOURCE_DIR=${CMAKE_SOURCE_DIR};QV_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
endfunction()
