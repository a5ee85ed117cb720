#version 120
// Source (eff0_tex) and mask (eff1_tex) sampled bilinearly at the output pixel centre; iResolution
// is the output size in pixels.
uniform sampler2D eff0_tex;
uniform sampler2D eff1_tex;
uniform vec2 iResolution;

void main() {
    vec2 tc = gl_FragCoord.xy / iResolution;
    vec4 o = texture2D(eff0_tex, tc) * texture2D(eff1_tex, tc).a;
    // Cells 1/60 of the height, light 1 and dark 204/255.
    float cx = floor(tc.x * (iResolution.x / iResolution.y) * 60.0), cy = floor(tc.y * 60.0);
    float v = mod(cx + cy, 2.0) > 0.5 ? 204.0 / 255.0 : 1.0;
    gl_FragColor = vec4(o.rgb + vec3(v) * (1.0 - o.a), o.a + (1.0 - o.a));
}
