#version 120
// Source (eff0_tex) and mask (eff1_tex) sampled bilinearly at the output pixel centre; iResolution
// is the output size in pixels.
uniform sampler2D eff0_tex;
uniform sampler2D eff1_tex;
uniform vec2 iResolution;
uniform int mask_color_rgba_r;
uniform int mask_color_rgba_g;
uniform int mask_color_rgba_b;
uniform int mask_color_rgba_a;

void main() {
    vec2 tc = gl_FragCoord.xy / iResolution;
    vec4 s = texture2D(eff0_tex, tc);
    float m = texture2D(eff1_tex, tc).a;
    vec4 c = vec4(float(mask_color_rgba_r), float(mask_color_rgba_g), float(mask_color_rgba_b), 255.0) / 255.0;
    vec4 t = mix(s * m, c * m, float(mask_color_rgba_a) / 255.0);
    gl_FragColor = vec4(t.rgb + s.rgb * (1.0 - t.a), t.a + (1.0 - t.a) * s.a);
}
