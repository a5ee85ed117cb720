// The four exported functions; everything else in liborvex.so stays hidden.
#include <new>

#include "lab/Orvex.h"
#include "orvex/orvex.h"
#include "visual/VisualProcess.h"

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
        return new orvex::VisualProcess();
    } catch (...) {
        return nullptr;
    }
}

// Both interfaces declare their virtual destructor first, so one deleting destruction serves both.
ORVEX_EXPORT void ReleaseOrvex(orvex::IOrvex* lab) { delete lab; }

ORVEX_EXPORT void ReleaseVisualProcess(orvex::IVisualProcess* process)
    __attribute__((alias("ReleaseOrvex")));
}
