// Fontconfig keeps its configuration in globals it never frees; that is not
// a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
