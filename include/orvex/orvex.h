#pragma once
// The four exported functions of liborvex.so.
#include "orvex/IOrvex.h"
#include "orvex/IVisualProcess.h"

#if defined(__GNUC__)
#define ORVEX_EXPORT __attribute__((visibility("default")))
#else
#define ORVEX_EXPORT
#endif

extern "C" {
ORVEX_EXPORT orvex::IOrvex* CreateOrvex();
ORVEX_EXPORT orvex::IVisualProcess* CreateVisualProcess();
// Deleting destruction through the interface's first slot; null does nothing.
ORVEX_EXPORT void ReleaseOrvex(orvex::IOrvex* lab);
ORVEX_EXPORT void ReleaseVisualProcess(orvex::IVisualProcess* process);
}
