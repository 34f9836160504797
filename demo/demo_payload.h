// Resource ids of the files that the demo setup program carries (language neutral).
#pragma once

#define IDR_DEMO_GAME 201
#define IDR_DEMO_PACK 202
#define IDR_DEMO_UNINSTALLER 203
