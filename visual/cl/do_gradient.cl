// Multi-stop gradients. Position t of the output centre tc: 0 tc.x, 1 1 - tc.x, 2 tc.y, 3 1 - tc.y,
// 4 distance from the centre (posX[0], posY[0]) in aspect-corrected units, 5 elliptic distance
// about the centre; colour = mix(colors[i], colors[i + 1], (t - precent[i]) / (precent[i + 1] - precent[i]))
// for the first stop pair holding t (0 when none). Any other type is opaque red.

typedef struct _GradientData {
    float colors[10][4];
    int count;
    float precent[10];
    float posX[2];
    float posY[2];
    float angle;
} GradientData;

float gradientPosition(int type, float2 tc, int w, int h, __global const GradientData* g) {
    switch (type) {
    case 0: return tc.x;
    case 1: return 1.0f - tc.x;
    case 2: return tc.y;
    case 3: return 1.0f - tc.y;
    case 4: {
        const float aspect = (float)w / h;
        const float2 d = (float2)((tc.x - g->posX[0]) * aspect, tc.y - g->posY[0]);
        return length(d);
    }
    default: {
        // Portrait outputs swap the axes so the ellipse's long axis follows the long side.
        const float W = (float)max(w, h), H = (float)min(w, h);
        const float a = (H / 2 + sqrt((H / 2) * (H / 2) + W * W)) / 2;
        const float b = sqrt(a * a - (W / 2) * (W / 2));
        float dx = (tc.x - g->posX[0]) * w, dy = (tc.y - g->posY[0]) * h;
        if (w < h) {
            const float t = dx;
            dx = dy;
            dy = t;
        }
        return sqrt(dx * dx / (a * a) + dy * dy / (b * b)) * W / max(W, H);
    }
    }
}

__kernel void do_gradient_cl(__write_only image2d_t dst, int type, __global const GradientData* gradient) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    if (type < 0 || type > 5) {
        write_imagef(dst, (int2)(x, y), (float4)(1.0f, 0.0f, 0.0f, 1.0f));
        return;
    }
    const float2 tc = (float2)((x + 0.5f) / w, (y + 0.5f) / h);
    const float t = gradientPosition(type, tc, w, h, gradient);
    const int n = clamp(gradient->count, 1, 10);
    int i = 0;
    for (int k = 0; k + 1 < n; ++k)
        if (gradient->precent[k] <= t && t <= gradient->precent[k + 1]) {
            i = k;
            break;
        }
    const int j = min(i + 1, n - 1);
    const float span = gradient->precent[j] - gradient->precent[i];
    const float f = span > 0.0f ? clamp((t - gradient->precent[i]) / span, 0.0f, 1.0f) : 0.0f;
    // Colours hold their packed bytes lowest first: B, G, R, A.
    const float4 c0 = vload4(0, gradient->colors[i]), c1 = vload4(0, gradient->colors[j]);
    const float4 c = mix(c0, c1, f);
    write_imagef(dst, (int2)(x, y), (float4)(c.z, c.y, c.x, c.w));
}
