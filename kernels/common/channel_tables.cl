// Blue, green and red each through their own byte table of the frame; alpha kept.
int4 map_channels(int4 p, __constant uchar* m_b, __constant uchar* m_g, __constant uchar* m_r) {
    return (int4)(m_b[p.x], m_g[p.y], m_r[p.z], p.w);
}
