# Tests of the firmware transfer.
tarvel_add_gtest(tarvel_flash_reader_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FlashFirmwareFileTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FlashProgressTest.cpp
  LIBS tarvel_flash)
tarvel_add_gtest(tarvel_flash_event_tests GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FlashElapsedTimeTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FlashDelayTest.cpp
  LIBS tarvel_flash)
# The window's transfer against a pseudo-terminal; needs the whole window.
if(TARGET tarvel_app)
  tarvel_add_gtest(tarvel_flash_transfer_tests GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/FlashTransferTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/FlashSimulatedDeviceTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/FlashPtyPeer.cpp
            ${CMAKE_CURRENT_LIST_DIR}/FlashQueueTest.cpp
    LIBS tarvel_app tarvel_serial_fake)
endif()
