#version 120
#extension GL_EXT_gpu_shader4 : enable
// Chromatic glow, second pass: spreads the bright pass (now "background_tex") into a soft halo,
// red a little wider than green and blue a little narrower, like light through a cheap lens.
// "glow_intensity" scales the halo (1.2 when unset). Opaque output: the blend adds it to the picture.
uniform sampler2D background_tex;
uniform vec2 iResolution;
uniform float glow_intensity;

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    vec2 texel = 1.0 / iResolution;
    float intensity = glow_intensity > 0.0 ? glow_intensity : 1.2;
    vec3 sum = vec3(0.0);
    float weight = 0.0;
    for (int y = -6; y <= 6; ++y) {
        for (int x = -6; x <= 6; ++x) {
            vec2 o = vec2(float(x), float(y)) * 2.0;
            float w = exp(-dot(o, o) / 72.0);
            sum.r += texture2D(background_tex, uv + o * 1.25 * texel).r * w;
            sum.g += texture2D(background_tex, uv + o * texel).g * w;
            sum.b += texture2D(background_tex, uv + o * 0.8 * texel).b * w;
            weight += w;
        }
    }
    gl_FragColor = vec4(sum / weight * intensity, 1.0);
}
