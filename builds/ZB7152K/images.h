// The built-in image records of this program.
#pragma once
#include "image/builtin_images.h"

inline ImageRecords BuiltInImages() { return BuiltInImages_ZB7152K(); }
