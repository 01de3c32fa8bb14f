lumo_add_test(engine_blend_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BlendOpsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/MaskAndEffectsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConvertToImageTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MagnifierTest.cpp
  LIBS lumo_engine)
