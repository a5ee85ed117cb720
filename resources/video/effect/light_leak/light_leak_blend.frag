#version 120
#extension GL_EXT_gpu_shader4 : enable
// Light leak's blend: picture * darkening + leak light, the picture's alpha kept; the light is
// scaled by alpha so that transparent pixels stay untouched.
uniform sampler2D background_tex;
uniform sampler2D effect_tex;
uniform vec2 iResolution;
uniform bool blend;

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    vec4 background = texture2D(background_tex, uv);
    vec4 effect = texture2D(effect_tex, uv);
    if (!blend) {
        gl_FragColor = effect;
        return;
    }
    gl_FragColor = vec4(background.rgb * effect.a + effect.rgb * background.a, background.a);
}
