#pragma once
// The host's logging library as this library calls it.
#include <cstdarg>

extern "C" void CoreLogPrintLog(const char* module, int level, const char* location, int a, int b, int c,
                                const char* format, ...) __attribute__((format(printf, 7, 8)));

// Every line of the library goes out with the module tag "TRV" and the integers 0, 0, -1.
#define ORVEX_LOG(level, location, ...) CoreLogPrintLog("TRV", (level), (location), 0, 0, -1, __VA_ARGS__)
