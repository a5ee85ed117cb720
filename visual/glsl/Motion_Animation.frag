#version 120
// The motion-animation transform: output centre -> input position through scale, rotation about
// the anchor and skew in the ideal frame; transparent outside the input and for a zero scale.
uniform sampler2D texture1;
uniform vec2 iResolutionOrig;  // input size
uniform vec2 iResolution;      // output size
uniform vec2 background_center;
uniform vec2 anchor_center;
uniform float theta;  // degrees
uniform float scale_x;
uniform float scale_y;
uniform float idealheight;
uniform float idealwidth;
uniform float skewx;
uniform float skewy;

void main() {
    if (abs(scale_x * scale_y) < 1e-9) {
        gl_FragColor = vec4(0.0);
        return;
    }
    vec2 ideal = vec2(idealwidth, idealheight);
    vec2 tc = (gl_FragCoord.xy / iResolution - 0.5) * (iResolution / ideal) + 0.5;
    float aspect = idealwidth / idealheight;
    vec2 p = vec2(tc.x * aspect, tc.y) - vec2((background_center.x - anchor_center.x) * aspect,
                                              background_center.y - anchor_center.y);
    vec2 a = vec2(anchor_center.x * aspect, anchor_center.y);
    vec2 d = p - a;
    float r = radians(-theta);
    d = vec2(d.x * cos(r) - d.y * sin(r), d.x * sin(r) + d.y * cos(r));
    d = vec2(d.x - skewx * d.y, d.y - skewy * d.x);
    d /= vec2(scale_x, scale_y) * (iResolutionOrig / ideal);
    p = a + d;
    tc = vec2(p.x / aspect, p.y);
    vec2 e = 1.0 / iResolutionOrig;
    if (tc.x < -e.x || tc.x > 1.0 + e.x || tc.y < -e.y || tc.y > 1.0 + e.y) {
        gl_FragColor = vec4(0.0);
        return;
    }
    gl_FragColor = texture2D(texture1, tc);
}
