# zb_image: the in-memory ROM image, shared by the three programs.
# (The per-program record libraries zb_images_<program> are made in
# tools/imagegen.cmake, next to the tool that generates their sources.)
add_library(zb_image STATIC ${CMAKE_CURRENT_LIST_DIR}/clsMotS.cpp)
