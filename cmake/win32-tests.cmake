# Windows-side tests and test helpers.
