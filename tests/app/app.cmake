# The window, end to end over pseudo-terminals and the simulated device.
tarvel_add_gtest(tarvel_app_tests GUI
  SOURCES PtyPeer.cpp EventLoopWait.cpp WindowLayoutTest.cpp ConnectionTest.cpp ResponderTest.cpp
          TerminalIngestTest.cpp DemoTest.cpp ExecutorTest.cpp
  LIBS tarvel_app)
