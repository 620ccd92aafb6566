// Host geometry classes: 3-D points, vectors and planes.
#pragma once

namespace zql {

class Vector3d {
public:
    Vector3d() : m_x(0.0), m_y(0.0), m_z(0.0) {}
    Vector3d(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}
    double x() const { return m_x; }
    double y() const { return m_y; }
    double z() const { return m_z; }

    double dot(const Vector3d& other) const;
    Vector3d cross(const Vector3d& other) const;
    double length() const;
    // The vector scaled to length 1; the zero vector stays zero.
    Vector3d unit() const;
    Vector3d operator*(double factor) const;
    Vector3d operator+(const Vector3d& other) const;
    Vector3d operator-(const Vector3d& other) const;
    Vector3d operator-() const;

private:
    double m_x, m_y, m_z;
};

class Point3d {
public:
    Point3d() : m_x(0.0), m_y(0.0), m_z(0.0) {}
    Point3d(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}
    double x() const { return m_x; }
    double y() const { return m_y; }
    double z() const { return m_z; }

    Point3d operator+(const Vector3d& v) const;
    Point3d operator-(const Vector3d& v) const;
    Vector3d operator-(const Point3d& other) const;

private:
    double m_x, m_y, m_z;
};

// A plane: an origin, a unit normal and a unit X axis lying in the plane.
// The Y axis is normal x X axis, so X, Y and the normal are right-handed.
class Plane {
public:
    // The XY plane of the world.
    Plane();
    // The normal is made unit.  The X axis is the world axis least aligned
    // with the normal, projected into the plane and made unit.
    Plane(const Point3d& origin, const Vector3d& normal);
    // The X axis is projected into the plane and made unit.
    Plane(const Point3d& origin, const Vector3d& normal, const Vector3d& xAxis);

    const Point3d& origin() const { return m_origin; }
    const Vector3d& normal() const { return m_normal; }
    const Vector3d& xAxis() const { return m_xAxis; }
    Vector3d yAxis() const { return m_normal.cross(m_xAxis); }
    // Signed distance of the point from the plane along the normal.
    double distance(const Point3d& p) const;
    // The plane moved by d along its normal (axes kept).
    Plane offset(double d) const;

private:
    Point3d m_origin;
    Vector3d m_normal;
    Vector3d m_xAxis;
};

}  // namespace zql
