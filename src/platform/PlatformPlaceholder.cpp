// TEMPORARY, service branch only: the platform layer has no sources yet and CMake
// refuses an empty static library. Drop this file when the platform sources land.
