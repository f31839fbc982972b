# Tests of nkf32.so.
kelvora_test(nkf32_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/nkf32_test.cpp
  LIBS GTest::gtest_main ${CMAKE_DL_LIBS}
  NEEDS nkf32)
target_include_directories(nkf32_tests PRIVATE ${PROJECT_SOURCE_DIR}/archivers/nkf32)
target_compile_definitions(nkf32_tests PRIVATE NKF32_MODULE="$<TARGET_FILE:nkf32>")

add_test(NAME nkf32_exports
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:nkf32>
    "-DEXPECTED=GetNkfVersion;NkfConvert;NkfConvertSafe;SetNkfOption"
    -P ${PROJECT_SOURCE_DIR}/tests/library/check_exports.cmake)
