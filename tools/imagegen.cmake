# Built-in ROM images.
#
# Each program's images are S-record files in builds/<program>/. At build time
# the host tool mot2rec checks them against the table below, scrambles them and
# writes the program's record source (in the build folder), compiled into
# zb_images_<program>. To replace an image, drop in the new .mot file and
# rebuild; a damaged or mismatched file stops the build with "file:line: ...".

# S-record reader shared by the tool and its tests.
add_library(zb_srec STATIC ${CMAKE_CURRENT_LIST_DIR}/imagegen/srec.cpp)

add_executable(mot2rec ${CMAKE_CURRENT_LIST_DIR}/imagegen/mot2rec.cpp)
target_link_libraries(mot2rec PRIVATE zb_srec zb_restore)

# Generator of the committed stand-in images; run by hand, never by the build.
add_executable(zb_imagegen EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/imagegen/imagegen.cpp)

# Per program: image window, product code word (empty: none), and the images
# in record order as file;start;end triples (writer first, then firmware).
set(ZB_IMAGE_WINDOW_ZB7152K 0x80000)
set(ZB_PRODUCT_CODE_ZB7152K 0x3064)
set(ZB_IMAGES_ZB7152K writer.mot 0xFFC000 0xFFD657  firmware.mot 0x7000 0x7FFFF)

set(ZB_IMAGE_WINDOW_ZB7152M 0x18000)
set(ZB_PRODUCT_CODE_ZB7152M "")
set(ZB_IMAGES_ZB7152M writer.mot 0x2000 0x2C23  firmware.mot 0x0 0x17FFF)

set(ZB_IMAGE_WINDOW_ZB7152L 0x40000)
set(ZB_PRODUCT_CODE_ZB7152L "")
set(ZB_IMAGES_ZB7152L firmware.mot 0x10000 0x3CB9D)

foreach(P IN LISTS ZB_PROGRAMS)
  set(args --output ${CMAKE_CURRENT_BINARY_DIR}/images_${P}.cpp --program ${P}
           --window ${ZB_IMAGE_WINDOW_${P}})
  if(NOT ZB_PRODUCT_CODE_${P} STREQUAL "")
    list(APPEND args --product-code ${ZB_PRODUCT_CODE_${P}})
  endif()
  set(mots "")
  set(table ${ZB_IMAGES_${P}})
  while(table)
    list(POP_FRONT table file start end)
    set(mot ${CMAKE_SOURCE_DIR}/builds/${P}/${file})
    list(APPEND args --image ${mot} ${start} ${end})
    list(APPEND mots ${mot})
  endwhile()
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/images_${P}.cpp
    COMMAND mot2rec ${args}
    DEPENDS mot2rec ${mots}
    COMMENT "Scrambling the built-in images of ${P}"
    VERBATIM)
  add_library(zb_images_${P} STATIC ${CMAKE_CURRENT_BINARY_DIR}/images_${P}.cpp)
  target_link_libraries(zb_images_${P} PUBLIC zb_profile_${P})
endforeach()
