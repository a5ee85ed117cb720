// The four exported functions; everything else in liborvex.so stays hidden.
#include <new>

#include "lab/Orvex.h"
#include "orvex/orvex.h"
#include "visual/GuardedVisualProcess.h"

extern "C" {

ORVEX_EXPORT orvex::IOrvex* CreateOrvex() {
    try {
        return new orvex::Orvex();
    } catch (...) {
        return nullptr;
    }
}

ORVEX_EXPORT orvex::IVisualProcess* CreateVisualProcess() {
    try {
        return new orvex::GuardedVisualProcess();
    } catch (...) {
        return nullptr;
    }
}

// Both interfaces declare their virtual destructor first, so one deleting destruction serves both.
// Under the alias the object may be a visual-processing object, which the sanitizer's type check
// of the IOrvex call would report; the shared slot is the point, so that one check is left out.
__attribute__((no_sanitize("vptr"))) ORVEX_EXPORT void ReleaseOrvex(orvex::IOrvex* lab) { delete lab; }

ORVEX_EXPORT void ReleaseVisualProcess(orvex::IVisualProcess* process)
    __attribute__((alias("ReleaseOrvex")));
}
