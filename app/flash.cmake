# The firmware transfer's pure parts: the line reader, the progress and elapsed-time
# texts and the event-processing wait. The window's transfer handlers build on them,
# and the tests call them directly.
add_library(tarvel_flash STATIC
  ${CMAKE_CURRENT_LIST_DIR}/EInOutError.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TFirmwareFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlashProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ElapsedTimeText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MillisecondTick.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventLoopDelay.cpp)
target_include_directories(tarvel_flash PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tarvel_flash PUBLIC Qt6::Core)
