// The background resized into the output ("MAIN", before an overlay is placed on it) and the back
// frame resampled through a window of the overlay's aspect ratio ("MAIN_BaseBack"). Sampler 0
// reads the nearest pixel, any other value mixes the four around the source position.

// Nearest source index of output index x for a span of `span` outputs over `size` inputs starting
// at `origin`, stepped in 16.16 fixed point as the CPU's nearest resize steps it.
int nearestIndexOf(int x, int origin, int span, int size) {
    const long step = (((long)size << 16) + span / 2) / span;
    const long p = step / 2 - 1 + (long)(x - origin) * step;
    return clamp((int)(p >> 16), 0, size - 1);
}

// Bilinear mix of the window (wx, wy, ww, wh) of src at pixel-centre position s, clamped to the
// window's own edges, as a resize of the cut-out window would read it.
float4 sampleWindow(__read_only image2d_t src, int4 win, float2 s) {
    const float2 f0 = floor(s);
    const float2 f = s - f0;
    const int x0 = clamp((int)f0.x, win.x, win.x + win.z - 1), x1 = clamp((int)f0.x + 1, win.x, win.x + win.z - 1);
    const int y0 = clamp((int)f0.y, win.y, win.y + win.w - 1), y1 = clamp((int)f0.y + 1, win.y, win.y + win.w - 1);
    const float4 a = read_imagef(src, samplerOVLN, (int2)(x0, y0)), b = read_imagef(src, samplerOVLN, (int2)(x1, y0));
    const float4 c = read_imagef(src, samplerOVLN, (int2)(x0, y1)), d = read_imagef(src, samplerOVLN, (int2)(x1, y1));
    const float4 top = a + (b - a) * f.x, bottom = c + (d - c) * f.x;
    return clamp(top + (bottom - top) * f.y, 0.0f, 1.0f);
}

// The output window of a resize of Win x Hin onto Wout x Hout: 1 fit, 4 zoom (filled and cut
// centrally), anything else stretch.
int4 resizeWindow(int resize_type, long Win, long Hin, long Wout, long Hout) {
    int4 r = (int4)(0, 0, (int)Wout, (int)Hout);
    if (resize_type == 1) {
        const long h = (Hin * Wout + Win - 1) / Win;
        if (h <= Hout) {
            r.y = (int)((Hout - h) >> 1);
            r.w = (int)h;
        } else {
            const long w = min(Wout, (Win * Hout + Hin - 1) / Hin);
            r.x = (int)((Wout - w) >> 1);
            r.z = (int)w;
        }
    } else if (resize_type == 4) {
        if (Wout < Hout) {
            const long w = max(1L, Win * Hout / Hin);
            r.x = (int)((Wout - w) >> 1);
            r.z = (int)w;
        } else {
            const long h = max(1L, Hin * Wout / Win);
            r.y = (int)((Hout - h) >> 1);
            r.w = (int)h;
        }
    }
    return r;
}

__kernel void MAIN(__read_only image2d_t src, __write_only image2d_t dst, int samperType, int resize_type) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    const int Win = get_image_width(src), Hin = get_image_height(src);
    const int4 r = resizeWindow(resize_type, Win, Hin, W, H);
    float4 v = (float4)(0.0f);
    if (x >= r.x && y >= r.y && x < r.x + r.z && y < r.y + r.w) {
        if (samperType == 0) {
            v = read_imagef(src, samplerOVLN, (int2)(nearestIndexOf(x, r.x, r.z, Win), nearestIndexOf(y, r.y, r.w, Hin)));
        } else {
            const float2 s = (float2)((float)Win / r.z * (x + 0.5f - r.x) - 0.5f, (float)Hin / r.w * (y + 0.5f - r.y) - 0.5f);
            v = clamp(SampleBilinear(src, s), 0.0f, 1.0f);
        }
    }
    write_imagef(dst, (int2)(x, y), v);
}

__kernel void MAIN_BaseBack(__read_only image2d_t src, __write_only image2d_t dst, int overlay_width,
                            int overlay_height, int samperType, int resize_type) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int Wd = get_image_width(dst), Hd = get_image_height(dst);
    if (x >= Wd || y >= Hd) return;
    const long Wb = get_image_width(src), Hb = get_image_height(src);
    int4 win = (int4)(0, 0, (int)Wb, (int)Hb);
    if (resize_type == 1 && overlay_width > 0 && overlay_height > 0) {
        const long h = (Wb * overlay_height + overlay_width - 1) / overlay_width;
        if (h <= Hb) {
            win.y = (int)((Hb - h) >> 1);
            win.w = (int)max(1L, h);
        } else {
            const long w = min(Wb, (Hb * overlay_width + overlay_height - 1) / overlay_height);
            win.x = (int)((Wb - w) >> 1);
            win.z = (int)max(1L, w);
        }
    }
    float4 v;
    if (samperType == 0) {
        v = read_imagef(src, samplerOVLN,
                        (int2)(win.x + nearestIndexOf(x, 0, Wd, win.z), win.y + nearestIndexOf(y, 0, Hd, win.w)));
    } else {
        const float2 s = (float2)(win.x + (float)win.z / Wd * (x + 0.5f) - 0.5f, win.y + (float)win.w / Hd * (y + 0.5f) - 0.5f);
        v = sampleWindow(src, win, s);
    }
    write_imagef(dst, (int2)(x, y), v);
}
