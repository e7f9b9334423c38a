# Products: the import and export of products, a library of its own beside the product
# manager's.
add_library(invarro_products_io STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PImport.cpp
)
target_include_directories(invarro_products_io PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(invarro_products_io PUBLIC invarro_data)
