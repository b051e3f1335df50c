# The wheel, the wheeled bodies, the shields and the weapons: their model files.
grim_add_gtest(army_gear_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gear_models_test.cpp
  LIBS grim_model grim_d3dutil)
