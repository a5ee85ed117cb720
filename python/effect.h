#pragma once
// orvex.Effect and the effect listing (orvex.effects, orvex.info).
#include <pybind11/pybind11.h>

namespace orvexpy {

void AddEffects(pybind11::module_& m);

}  // namespace orvexpy
