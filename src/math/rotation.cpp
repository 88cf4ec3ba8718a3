// Intermediate values are kept at double precision; only the record fields
// are 32-bit floats.
#include "math/rotation.h"

#include <cmath>

Quaternion& EulerToQuaternion(Quaternion& out, float yaw, float pitch, float roll) {
    const float hy = yaw * 0.5f;
    const float hp = pitch * 0.5f;
    const float hr = roll * 0.5f;
    // Sine and cosine of one angle side by side: the compiler makes one sincos.
    const double cy = std::cos(double(hy)), sy = std::sin(double(hy));
    const double cp = std::cos(double(hp)), sp = std::sin(double(hp));
    const double cr = std::cos(double(hr)), sr = std::sin(double(hr));
    out.x = float(cy * sp * cr + sy * cp * sr);
    out.y = float(sy * cp * cr - cy * sp * sr);
    out.z = float(cy * cp * sr - sy * sp * cr);
    out.w = float(cy * cp * cr + sy * sp * sr);
    return out;
}

Matrix4& QuaternionToMatrix(Matrix4& out, const Quaternion& q) {
    const double x2 = double(q.x) * 2, y2 = double(q.y) * 2, z2 = double(q.z) * 2;
    const double xx = q.x * x2, yy = q.y * y2, zz = q.z * z2;
    const double xy = q.x * y2, xz = q.x * z2, yz = q.y * z2;
    const double wx = q.w * x2, wy = q.w * y2, wz = q.w * z2;
    float* m = out.m;
    m[0] = float(1 - yy - zz);
    m[1] = float(xy + wz);
    m[2] = float(xz - wy);
    m[3] = 0;
    m[4] = float(xy - wz);
    m[5] = float(1 - xx - zz);
    m[6] = float(yz + wx);
    m[7] = 0;
    m[8] = float(xz + wy);
    m[9] = float(yz - wx);
    m[10] = float(1 - xx - yy);
    m[11] = 0;
    m[12] = 0;
    m[13] = 0;
    m[14] = 0;
    m[15] = 1;
    return out;
}

Matrix4& EulerToMatrix(Matrix4& out, float yaw, float pitch, float roll) {
    Quaternion q;
    EulerToQuaternion(q, yaw, pitch, roll);
    return QuaternionToMatrix(out, q);
}
