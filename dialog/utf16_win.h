// The conversions moved to the link layer, where the port and the log file use them too.
#pragma once

#include "link/utf16_win.h"
