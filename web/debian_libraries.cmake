# The C libraries the core needs, built for WebAssembly from Debian's own
# source packages: scripts/debian_source.sh fetches each with apt-get source
# into the build folder, from the machine's apt sources. Nothing of them is
# kept in this repository. Emscripten's own ports are not used: Debian's
# emscripten cannot download them.
enable_language(C)

function(kws_debian_source package out_var)
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/debian_source.sh ${CMAKE_BINARY_DIR}/debian-src ${package}
    OUTPUT_VARIABLE dir
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE failed)
  if(failed OR NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "The source of Debian's ${package} could not be fetched (apt-get source); see above.")
  endif()
  message(STATUS "Debian's ${package}: ${dir}")
  set(${out_var} ${dir} PARENT_SCOPE)
endfunction()

# zlib: deflate and CRC-32 for the gzip step, CRC-32 for the page's zip.
kws_debian_source(zlib ZLIB_SOURCE_DIR)
add_library(kws_zlib STATIC)
foreach(name adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees
             uncompr zutil)
  target_sources(kws_zlib PRIVATE ${ZLIB_SOURCE_DIR}/${name}.c)
endforeach()
target_include_directories(kws_zlib SYSTEM PUBLIC ${ZLIB_SOURCE_DIR})
# Third-party code: its warnings are not ours to fix.
target_compile_options(kws_zlib PRIVATE -w)
# No HAVE_UNISTD_H: with it zconf.h makes z_off_t 64 bits wide for zlib's own
# files only, and crc32_combine would take another argument than the core
# passes.
target_compile_definitions(kws_zlib PRIVATE HAVE_STDARG_H)
add_library(ZLIB::ZLIB ALIAS kws_zlib)

# libimagequant 2.x: the colour reduction of the picture import.
kws_debian_source(libimagequant IMAGEQUANT_SOURCE_DIR)
add_library(kws_imagequant STATIC)
foreach(name blur kmeans libimagequant mediancut mempool nearest pam)
  target_sources(kws_imagequant PRIVATE ${IMAGEQUANT_SOURCE_DIR}/${name}.c)
endforeach()
target_include_directories(kws_imagequant SYSTEM PUBLIC ${IMAGEQUANT_SOURCE_DIR})
target_compile_options(kws_imagequant PRIVATE -w)
set_target_properties(kws_imagequant PROPERTIES C_STANDARD 99)

# libpng 1.6: the page reads PNG pictures itself, as the desktop's Qt does
# (web/png_decode.cpp). Its configuration header is the one libpng ships
# for builds without its configure script.
kws_debian_source(libpng1.6 PNG_SOURCE_DIR)
set(png_config_dir ${CMAKE_BINARY_DIR}/libpng-config)
configure_file(${PNG_SOURCE_DIR}/scripts/pnglibconf.h.prebuilt ${png_config_dir}/pnglibconf.h COPYONLY)
add_library(kws_png STATIC)
foreach(name png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans)
  target_sources(kws_png PRIVATE ${PNG_SOURCE_DIR}/${name}.c)
endforeach()
target_include_directories(kws_png SYSTEM PUBLIC ${PNG_SOURCE_DIR} ${png_config_dir})
target_link_libraries(kws_png PUBLIC kws_zlib)
target_compile_options(kws_png PRIVATE -w)
# WebAssembly has none of the processors' own code paths libpng carries.
target_compile_definitions(kws_png PRIVATE PNG_ARM_NEON_OPT=0 PNG_INTEL_SSE_OPT=0 PNG_MIPS_MSA_OPT=0
                                           PNG_POWERPC_VSX_OPT=0)
