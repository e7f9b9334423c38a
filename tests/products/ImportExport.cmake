invarro_add_test(products_io_tests
  ${CMAKE_CURRENT_LIST_DIR}/PImportTest.cpp
)
target_link_libraries(products_io_tests PRIVATE invarro_products_io invarro_test_support)
