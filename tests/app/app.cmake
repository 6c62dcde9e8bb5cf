# The window, end to end over pseudo-terminals and the simulated device.
tarvel_add_gtest(tarvel_app_tests GUI
  SOURCES PtyPeer.cpp EventLoopWait.cpp WindowLayoutTest.cpp ConnectionTest.cpp ResponderTest.cpp
          TerminalIngestTest.cpp DemoTest.cpp ExecutorTest.cpp ToolkitTextsTest.cpp
  LIBS tarvel_app tarvel_serial_fake)
target_compile_definitions(tarvel_app_tests PRIVATE TARVEL_PO_DIR="${PROJECT_SOURCE_DIR}/po")
