#version 120
#extension GL_EXT_gpu_shader4 : enable
// Light leak: a vignette and a warm leak of light fitted to the visible part of the frame (the
// box of its opaque pixels, "mask_left_right" and "mask_bottom_top" in uv, top row first).
// Output rgb is light to add, alpha the factor the picture is darkened by; the effect's own
// blend applies both and keeps the picture's alpha.
//   "vignette" (0..1, 0.6 when unset), "leak_intensity" (0.8 when unset).
uniform sampler2D background_tex;
uniform vec2 iResolution;
uniform vec2 mask_left_right;
uniform vec2 mask_bottom_top;
uniform float time_second;
uniform float vignette;
uniform float leak_intensity;

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    vec2 lo = vec2(mask_left_right.x, mask_bottom_top.x);
    vec2 hi = vec2(mask_left_right.y, mask_bottom_top.y);
    vec2 p = (uv - lo) / max(hi - lo, vec2(1e-5));
    if (any(lessThan(p, vec2(0.0))) || any(greaterThan(p, vec2(1.0)))) {
        gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    float strength = vignette > 0.0 ? min(vignette, 1.0) : 0.6;
    float edge = length((p - 0.5) * vec2(1.0, 0.85)) * 1.41421;
    float darken = 1.0 - strength * smoothstep(0.3, 1.0, edge);
    // The leak enters at the top-left corner and drifts slowly along the top edge.
    vec2 source = vec2(0.1 + 0.08 * sin(time_second * 0.7), -0.05);
    float reach = exp(-3.5 * distance(p, source));
    float amount = (leak_intensity > 0.0 ? leak_intensity : 0.8) * reach;
    vec3 warm = vec3(1.0, 0.55, 0.18) * amount;
    gl_FragColor = vec4(warm, darken);
}
