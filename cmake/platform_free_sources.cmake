# The one list of the module's sources that need no Windows: plain functions over plain values
# (which minute is due, the hour count, the timer's delay, text in a double-byte code page,
# the help and chooser paths). The product builds them into its layers, the native tests run
# them under AddressSanitizer and UBSan, and the fuzz targets drive the byte-level ones.
# Paths are relative to the repository's root.
set(KARVEX_PLATFORM_FREE_SOURCES
  settings/ansi_text.cpp
  settings/directory_of_path.cpp
  scheduler/signal_due.cpp
  dialog/help_paths.cpp)
