// Fills a frame with one colour: BGRA images from four normalised floats, planar and NV12 buffers
// from one byte per plane (pitches in samples).

__kernel void FillFrame(__write_only image2d_t dst, float blue, float green, float red, float alpha) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    write_imagef(dst, (int2)(x, y), (float4)(red, green, blue, alpha));
}

#define FILL_PLANAR                                                                                           \
    const int x = get_global_id(0), y = get_global_id(1);                                                     \
    if (x >= srcWidth || y >= srcHeight) return;                                                              \
    dstY[y * ypitch + x] = y_value;                                                                           \
    if (dstA) dstA[y * ypitch + x] = a_value;                                                                 \
    if ((x & 1) || (y & 1)) return;                                                                           \
    const int c = (y >> 1) * ((ypitch + 1) >> 1) + (x >> 1);                                                  \
    dstU[c] = u_value;                                                                                        \
    dstV[c] = v_value;

__kernel void FillFrame_yuv(__global uchar* dstY, __global uchar* dstV, __global uchar* dstU, int srcWidth,
                            int srcHeight, int ypitch, uchar y_value, uchar u_value, uchar v_value, uchar a_value) {
    __global uchar* dstA = 0;
    FILL_PLANAR
}

__kernel void FillFrame_yuva(__global uchar* dstY, __global uchar* dstV, __global uchar* dstU, __global uchar* dstA,
                             int srcWidth, int srcHeight, int ypitch, uchar y_value, uchar u_value, uchar v_value,
                             uchar a_value) {
    FILL_PLANAR
}

__kernel void FillFrame_nv12(__global uchar* dstY, __global uchar* dstUV, int srcWidth, int srcHeight, int ypitch,
                             uchar y_value, uchar u_value, uchar v_value, uchar a_value) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= srcWidth || y >= srcHeight) return;
    dstY[y * ypitch + x] = y_value;
    if ((x & 1) || (y & 1)) return;
    const int c = (y >> 1) * (((ypitch + 1) >> 1) * 2) + x;
    dstUV[c] = u_value;
    dstUV[c + 1] = v_value;
}
