// Compiles the unit tests' precompiled header (see tests/CMakeLists.txt).
