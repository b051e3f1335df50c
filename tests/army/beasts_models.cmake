# The troll, the draught beast and the war drums: their model and animation files.
grim_add_gtest(army_beasts_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/beasts_models_test.cpp
  LIBS grim_model grim_d3dutil)
