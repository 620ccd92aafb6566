// Host geometry classes: 3-D points, vectors and planes.
#include <zql/zql.h>

#include <cmath>

namespace zql {

double Vector3d::dot(const Vector3d& o) const { return m_x * o.m_x + m_y * o.m_y + m_z * o.m_z; }

Vector3d Vector3d::cross(const Vector3d& o) const {
    return {m_y * o.m_z - m_z * o.m_y, m_z * o.m_x - m_x * o.m_z, m_x * o.m_y - m_y * o.m_x};
}

double Vector3d::length() const { return std::sqrt(dot(*this)); }

Vector3d Vector3d::unit() const {
    const double l = length();
    return l > 0.0 ? Vector3d(m_x / l, m_y / l, m_z / l) : *this;
}

Vector3d Vector3d::operator*(double f) const { return {m_x * f, m_y * f, m_z * f}; }
Vector3d Vector3d::operator+(const Vector3d& o) const { return {m_x + o.m_x, m_y + o.m_y, m_z + o.m_z}; }
Vector3d Vector3d::operator-(const Vector3d& o) const { return {m_x - o.m_x, m_y - o.m_y, m_z - o.m_z}; }
Vector3d Vector3d::operator-() const { return {-m_x, -m_y, -m_z}; }

Point3d Point3d::operator+(const Vector3d& v) const { return {m_x + v.x(), m_y + v.y(), m_z + v.z()}; }
Point3d Point3d::operator-(const Vector3d& v) const { return {m_x - v.x(), m_y - v.y(), m_z - v.z()}; }
Vector3d Point3d::operator-(const Point3d& o) const { return {m_x - o.m_x, m_y - o.m_y, m_z - o.m_z}; }

namespace {

Vector3d in_plane(const Vector3d& normal, const Vector3d& v) { return (v - normal * normal.dot(v)).unit(); }

Vector3d least_aligned_axis(const Vector3d& n) {
    const double ax = std::fabs(n.x()), ay = std::fabs(n.y()), az = std::fabs(n.z());
    if (ax <= ay && ax <= az) return {1, 0, 0};
    if (ay <= az) return {0, 1, 0};
    return {0, 0, 1};
}

}  // namespace

Plane::Plane() : m_origin(), m_normal(0, 0, 1), m_xAxis(1, 0, 0) {}

Plane::Plane(const Point3d& origin, const Vector3d& normal)
    : m_origin(origin), m_normal(normal.unit()), m_xAxis(in_plane(m_normal, least_aligned_axis(m_normal))) {}

Plane::Plane(const Point3d& origin, const Vector3d& normal, const Vector3d& xAxis)
    : m_origin(origin), m_normal(normal.unit()), m_xAxis(in_plane(m_normal, xAxis)) {}

double Plane::distance(const Point3d& p) const { return (p - m_origin).dot(m_normal); }

Plane Plane::offset(double d) const {
    Plane moved(*this);
    moved.m_origin = m_origin + m_normal * d;
    return moved;
}

}  // namespace zql
