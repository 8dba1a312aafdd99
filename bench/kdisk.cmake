# The engine against nginx's WebDAV module: listings (in-process and `kdisk ls`)
# beside the curl program, and `kdisk get`/`kdisk put` beside `curl -o`/`-T`.
add_executable(kdisk_listing_bench ${CMAKE_CURRENT_LIST_DIR}/KdiskListingBench.cpp)
target_link_libraries(kdisk_listing_bench PRIVATE kdisk_manager kdisk_test_support)
add_dependencies(kdisk_listing_bench kdisk)
add_executable(kdisk_transfer_bench ${CMAKE_CURRENT_LIST_DIR}/KdiskTransferBench.cpp)
target_link_libraries(kdisk_transfer_bench PRIVATE kdisk_manager kdisk_test_support)
add_dependencies(kdisk_transfer_bench kdisk)
