// Primaries and the RGB mapping matrix between them, on libplacebo.
#include "colorspace.h"

#include <libplacebo/colorspace.h>

namespace ColorSpace {

const pl_matrix3x3 pl_matrix3x3_identity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

const pl_raw_primaries* pl_raw_primaries_get(pl_color_primaries prim) {
    // Our records have libplacebo's layout field for field (four xy pairs), so one table of
    // copies serves every code; unknown codes read as BT.709.
    static const auto table = [] {
        struct Table {
            pl_raw_primaries p[PL_COLOR_PRIM_COUNT];
        } t{};
        for (int i = 0; i < PL_COLOR_PRIM_COUNT; ++i) {
            const ::pl_raw_primaries* src = ::pl_raw_primaries_get(static_cast<::pl_color_primaries>(i));
            if (!src || i == PL_COLOR_PRIM_UNKNOWN) src = ::pl_raw_primaries_get(::PL_COLOR_PRIM_BT_709);
            t.p[i] = {{src->red.x, src->red.y},
                      {src->green.x, src->green.y},
                      {src->blue.x, src->blue.y},
                      {src->white.x, src->white.y}};
        }
        return t;
    }();
    if (prim < 0 || prim >= PL_COLOR_PRIM_COUNT) prim = PL_COLOR_PRIM_BT_709;
    return &table.p[prim];
}

pl_matrix3x3 pl_get_color_mapping_matrix(const pl_raw_primaries* src, const pl_raw_primaries* dst,
                                         pl_rendering_intent intent) {
    if (!src || !dst) return pl_matrix3x3_identity;
    auto toPl = [](const pl_raw_primaries& p) {
        ::pl_raw_primaries r{};
        r.red = {p.red.x, p.red.y};
        r.green = {p.green.x, p.green.y};
        r.blue = {p.blue.x, p.blue.y};
        r.white = {p.white.x, p.white.y};
        return r;
    };
    const ::pl_raw_primaries s = toPl(*src), d = toPl(*dst);
    const ::pl_matrix3x3 m = ::pl_get_color_mapping_matrix(&s, &d, static_cast<::pl_rendering_intent>(intent));
    pl_matrix3x3 out;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out.m[i][j] = m.m[i][j];
    return out;
}

}  // namespace ColorSpace
