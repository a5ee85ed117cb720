#pragma once
// Texture checks shared by the geometry and blur families (the frame checks and copies every
// family uses are in EffectSurface.h).
#include <memory>
#include <opencv2/core.hpp>

#include "effects/EffectSurface.h"
#include "zrp/zrp.h"

namespace orvex {

// Both textures present and of one size (the kernels of same-size effects read the input at the
// output's coordinates).
inline bool SameTextureSize(const std::shared_ptr<zrp::Texture>& a, const std::shared_ptr<zrp::Texture>& b) {
    if (!a || !b || !a->GetContext() || !b->GetContext()) return false;
    return a->GetContext()->GetWidth() == b->GetContext()->GetWidth() &&
           a->GetContext()->GetHeight() == b->GetContext()->GetHeight();
}

}  // namespace orvex
