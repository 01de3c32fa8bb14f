# Blend operations, masks and layer effects of the compositor.
target_sources(lumo_engine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/BlendOps.cpp ${CMAKE_CURRENT_LIST_DIR}/LayerEffects.cpp)
