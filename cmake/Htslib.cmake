# htslib reads and writes VCF/BCF for genoconv; Debian ships it as libhts-dev
# with a pkg-config file.
find_package(PkgConfig)
if(NOT PKG_CONFIG_FOUND)
  message(FATAL_ERROR "pkg-config was not found; it is needed to find htslib "
                      "(Debian: apt-get install pkg-config libhts-dev, or run scripts/prerequisites.sh)")
endif()
pkg_check_modules(HTSLIB IMPORTED_TARGET htslib)
if(NOT HTSLIB_FOUND)
  message(FATAL_ERROR "htslib was not found by pkg-config; genoconv needs it to read and write VCF/BCF "
                      "(Debian: apt-get install libhts-dev, or run scripts/prerequisites.sh)")
endif()
