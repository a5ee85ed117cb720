#version 120
// mix(overlay, background, mask alpha), all sampled bilinearly at the output pixel centre.
uniform sampler2D eff0_tex;  // overlay
uniform sampler2D eff1_tex;  // background
uniform sampler2D eff2_tex;  // mask
uniform vec2 eff3_iResolution_dst;

void main() {
    vec2 tc = gl_FragCoord.xy / eff3_iResolution_dst;
    gl_FragColor = mix(texture2D(eff0_tex, tc), texture2D(eff1_tex, tc), texture2D(eff2_tex, tc).a);
}
