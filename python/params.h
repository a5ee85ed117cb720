#pragma once
// Python values as the library's parameter values, checked as `orvex render --param` checks text.
#include <string>

#include <pybind11/pybind11.h>

#include "effects/EffectSurface.h"

namespace orvexpy {

// The value of a declared parameter. TypeError when the Python type does not fit the declared
// one, ValueError for a number that is not finite or out of the declared range.
orvex::EffectParamValue DeclaredValue(const std::string& effect, const orvex::ParamDecl& p,
                                      const pybind11::handle& value);
// A shader effect's uniform: its type comes from the Python value (bool, int, float or str).
orvex::EffectParamValue ShaderValue(const std::string& name, const pybind11::handle& value,
                                    orvex::EffectParamType* type);
// The value a parameter holds now, as a Python value.
pybind11::object StoredValue(const orvex::ParamDecl& p);
// The name of a Python value's type, for messages.
std::string TypeOf(const pybind11::handle& value);

}  // namespace orvexpy
