#version 120
// Source (eff0_tex) and mask (eff1_tex) sampled bilinearly at the output pixel centre; iResolution
// is the output size in pixels.
uniform sampler2D eff0_tex;
uniform sampler2D eff1_tex;
uniform vec2 iResolution;

void main() {
    vec2 tc = gl_FragCoord.xy / iResolution;
    gl_FragColor = texture2D(eff0_tex, tc) * texture2D(eff1_tex, tc).a;
}
