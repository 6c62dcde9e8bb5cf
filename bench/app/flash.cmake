# Printed measurements of the firmware transfer (not pass/fail).
add_executable(tarvel_bench_flash ${CMAKE_CURRENT_LIST_DIR}/FlashTransferBench.cpp)
target_link_libraries(tarvel_bench_flash PRIVATE tarvel_app)
