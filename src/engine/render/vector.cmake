# Drawing of the vector layer kinds.
