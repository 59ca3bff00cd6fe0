// Model-space transforms in engine space, and their split into the
// position, rotation and size that the engine builds an entity's matrix
// from.
//
// In column-vector terms the engine turns an entity by Ry(r0) Rx(−r1)
// Rz(−r2) (standard right-handed rotations, z first) and its camera, from
// camera to world, by Ry(−r0) Rx(r1) Rz(r2); both are a y-x-z sequence of
// three turns whose angles are read off the rotation matrix.
#include "kvorimport.h"

#include <cmath>

namespace kvorimport {

namespace {

constexpr double DEGREES = 180.0 / 3.14159265358979323846;
constexpr double ORTHOGONAL = 1e-3;   // largest error of R^T R against I that is no shear
constexpr double GIMBAL = 0.999999;   // |sin b| beyond which the first and last turns share an axis

// Angles a, b, c of R = Ry(a) Rx(b) Rz(c), in radians.
void AnglesYXZ(const double r[3][3], double* a, double* b, double* c)
{
    const double s = std::fmax(-1.0, std::fmin(1.0, -r[1][2]));
    *b = std::asin(s);
    if (std::fabs(s) < GIMBAL) {
        *a = std::atan2(r[0][2], r[2][2]);
        *c = std::atan2(r[1][0], r[1][1]);
    } else {
        *a = std::atan2(-r[2][0], r[0][0]);
        *c = 0;
    }
}

// The angle plus the whole turns that bring it closest to `near`.
float Closest(double angle, double near)
{
    return float(angle + 360.0 * std::round((near - angle) / 360.0));
}

}  // namespace

Frame MakeFrame(char up, float scale)
{
    Frame frame;
    frame.scale = scale;
    aiMatrix4x4 toYUp;
    if (up == 'z')
        toYUp = aiMatrix4x4(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1);
    else if (up == 'x')
        toYUp = aiMatrix4x4(0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    const aiMatrix4x4 halfTurn(1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1);
    frame.basis = halfTurn * toYUp;
    return frame;
}

aiMatrix4x4 ToEngine(const Frame& frame, const aiMatrix4x4& m)
{
    aiMatrix4x4 inverse = frame.basis;
    inverse.Transpose();
    aiMatrix4x4 result = frame.basis * m * inverse;
    result.a4 *= frame.scale;
    result.b4 *= frame.scale;
    result.c4 *= frame.scale;
    return result;
}

aiVector3D PointToEngine(const Frame& frame, const aiVector3D& p)
{
    return (frame.basis * p) * frame.scale;
}

aiVector3D DirectionToEngine(const Frame& frame, const aiVector3D& d)
{
    return frame.basis * d;
}

bool Decompose(const aiMatrix4x4& m, Pose* pose, const Pose* near)
{
    const double columns[3][3] = {{m.a1, m.b1, m.c1}, {m.a2, m.b2, m.c2}, {m.a3, m.b3, m.c3}};
    double size[3];
    for (int i = 0; i < 3; ++i)
        size[i] = std::sqrt(columns[i][0] * columns[i][0] + columns[i][1] * columns[i][1] +
                            columns[i][2] * columns[i][2]);
    if (!(size[0] > 0 && size[1] > 0 && size[2] > 0) || !std::isfinite(size[0] + size[1] + size[2]))
        return false;
    // A mirror is a negative size along x.
    if (m.Determinant() < 0)
        size[0] = -size[0];
    double r[3][3];
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            r[row][column] = columns[column][row] / size[column];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double dot = r[0][i] * r[0][j] + r[1][i] * r[1][j] + r[2][i] * r[2][j];
            if (std::fabs(dot - (i == j ? 1.0 : 0.0)) > ORTHOGONAL)
                return false;
        }
    double a, b, c;
    AnglesYXZ(r, &a, &b, &c);
    // The other y-x-z sequence of the same rotation: (a + 180, 180 − b, c + 180).
    const double first[3] = {a * DEGREES, -b * DEGREES, -c * DEGREES};
    const double second[3] = {first[0] + 180.0, -180.0 - first[1], first[2] - 180.0};
    const double* chosen = first;
    if (near) {
        double distance[2] = {0, 0};
        for (int i = 0; i < 3; ++i) {
            distance[0] += std::fabs(Closest(first[i], near->rotation[i]) - near->rotation[i]);
            distance[1] += std::fabs(Closest(second[i], near->rotation[i]) - near->rotation[i]);
        }
        if (distance[1] < distance[0])
            chosen = second;
    }
    for (int i = 0; i < 3; ++i) {
        pose->rotation[i] = near ? Closest(chosen[i], near->rotation[i]) : float(chosen[i]);
        pose->size[i] = float(size[i]);
    }
    pose->position[0] = m.a4;
    pose->position[1] = m.b4;
    pose->position[2] = m.c4;
    return true;
}

void CameraAngles(aiVector3D forward, aiVector3D down, float rotation[3])
{
    forward.Normalize();
    aiVector3D right = down ^ forward;
    if (right.SquareLength() < 1e-12f)
        right = aiVector3D(0, 0, 1) ^ forward;
    right.Normalize();
    const aiVector3D below = forward ^ right;
    const double r[3][3] = {{right.x, below.x, forward.x}, {right.y, below.y, forward.y}, {right.z, below.z, forward.z}};
    double a, b, c;
    AnglesYXZ(r, &a, &b, &c);
    rotation[0] = float(-a * DEGREES);
    rotation[1] = float(b * DEGREES);
    rotation[2] = float(c * DEGREES);
}

}  // namespace kvorimport
