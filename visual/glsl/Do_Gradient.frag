#version 120
// Gradient of up to three stops; type 0..3 linear along x or y (reversed for 1 and 3), 4 radial
// about (centerx, centery), 5 elliptic about it; any other type is opaque red. Colours are
// (B, G, R, A) of the packed bytes, lowest first.
uniform vec4 color0;
uniform vec4 color1;
uniform vec4 color2;
uniform float precent0;
uniform float precent1;
uniform float precent2;
uniform int colors_count;
uniform float centerx;
uniform float centery;
uniform int type;
uniform vec2 iResolution;

float position(vec2 tc) {
    if (type == 0) return tc.x;
    if (type == 1) return 1.0 - tc.x;
    if (type == 2) return tc.y;
    if (type == 3) return 1.0 - tc.y;
    if (type == 4) return length(vec2((tc.x - centerx) * iResolution.x / iResolution.y, tc.y - centery));
    float W = max(iResolution.x, iResolution.y), H = min(iResolution.x, iResolution.y);
    float a = (H / 2.0 + sqrt((H / 2.0) * (H / 2.0) + W * W)) / 2.0;
    float b = sqrt(a * a - (W / 2.0) * (W / 2.0));
    vec2 d = (tc - vec2(centerx, centery)) * iResolution;
    if (iResolution.x < iResolution.y) d = d.yx;
    return sqrt(d.x * d.x / (a * a) + d.y * d.y / (b * b));
}

void main() {
    if (type < 0 || type > 5) {
        gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0);
        return;
    }
    vec2 tc = gl_FragCoord.xy / iResolution;
    float t = position(tc);
    vec4 c0 = color0, c1 = color1;
    float p0 = precent0, p1 = precent1;
    if (colors_count > 2 && t > precent1 && t <= precent2) {
        c0 = color1;
        c1 = color2;
        p0 = precent1;
        p1 = precent2;
    }
    float f = p1 > p0 ? clamp((t - p0) / (p1 - p0), 0.0, 1.0) : 0.0;
    vec4 c = mix(c0, c1, f);
    gl_FragColor = vec4(c.b, c.g, c.r, c.a);
}
