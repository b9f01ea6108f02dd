// The program's two global objects. Both are defined in globals.cpp, settings
// first: the settings store (which takes the single-instance lock and loads the
// INI file) is built before the overlay table and destroyed after it, so the
// INI file is written last, on every orderly end of the program.
#pragma once
#include "texts/clsEnviron.h"
#include "texts/clsGTex.h"

extern clsEnviron g_Environ;
extern clsGTex g_GTex;
