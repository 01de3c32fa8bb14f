# Blend operations, masks and layer effects of the compositor.
target_sources(lumo_engine PRIVATE)
