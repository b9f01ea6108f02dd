#include "texts/globals.h"

#include "profile.h"

// Order matters: objects of one source file are built in the order written
// and destroyed in reverse.
clsEnviron g_Environ(profile::kLockName);
clsGTex g_GTex;
