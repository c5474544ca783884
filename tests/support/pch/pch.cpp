// Compiles the precompiled header that every test program reuses.
