#include "links/net.h"

namespace {
bool g_started = false;
}

void NetStartup() {
  if (g_started) NetCleanup();
  g_started = true;
}

void NetCleanup() { g_started = false; }

bool NetStarted() { return g_started; }
