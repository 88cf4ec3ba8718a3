// Rotation math for the tunnel: three angles to a unit quaternion to a 4x4
// matrix. Points are row vectors, p' = p x M:
//   x' = x*m0 + y*m4 + z*m8 + m12, y' = x*m1 + y*m5 + z*m9 + m13,
//   z' = x*m2 + y*m6 + z*m10 + m14.
// No state, no allocation, no normalisation, no checks: the tunnel calls
// EulerToMatrix once per vertex it bends.
#pragma once

struct Quaternion {
    float x, y, z;   // vector part
    float w;         // scalar part
};

struct Matrix4 {
    float m[16];   // row after row: row i, column j is m[4 * i + j]
};

// yaw turns about Y, pitch about X, roll about Z (radians). The combined
// rotation turns by roll first, then pitch, then yaw: Rz * Rx * Ry for rows.
Quaternion& EulerToQuaternion(Quaternion& out, float yaw, float pitch, float roll);
Matrix4& QuaternionToMatrix(Matrix4& out, const Quaternion& q);
Matrix4& EulerToMatrix(Matrix4& out, float yaw, float pitch, float roll);
