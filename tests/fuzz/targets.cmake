# The fuzz targets: each is fuzz_<name>.cpp here, its seed corpus corpus/<name>/, and its
# CTest test fuzz.<name>. Shared by this project and the main build.
set(KARVEX_FUZZ_TARGETS directory_of_path cut_at_byte_limit registry_text)
