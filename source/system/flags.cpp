#include "system/flags.h"

bool g_quit = false;
bool g_transportMode = false;
