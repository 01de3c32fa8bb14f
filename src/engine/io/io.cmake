# Image file input and output.
target_sources(lumo_engine PRIVATE)
