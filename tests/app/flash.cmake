# Tests of the firmware transfer.
tarvel_add_gtest(tarvel_flash_reader_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FlashFirmwareFileTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FlashProgressTest.cpp
  LIBS tarvel_flash)
tarvel_add_gtest(tarvel_flash_event_tests GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FlashElapsedTimeTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FlashDelayTest.cpp
  LIBS tarvel_flash)
