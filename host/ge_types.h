// ge_types.h - the host's basic value types: numbers, vectors, matrices, strings and file names.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

using Int32 = int32_t;
using Int64 = int64_t;
using UInt32 = uint32_t;
using UInt64 = uint64_t;
using Int = int64_t;
using Float = double;
using Float32 = float;
using Float64 = double;
using Bool = bool;
using Char = char;
using UChar = unsigned char;

struct Vector
{
	Float x = 0.0, y = 0.0, z = 0.0;

	Vector() = default;
	Vector(Float x_, Float y_, Float z_) : x(x_), y(y_), z(z_) {}
	explicit Vector(Float v) : x(v), y(v), z(v) {}

	Vector operator+(const Vector& o) const { return Vector(x + o.x, y + o.y, z + o.z); }
	Vector operator-(const Vector& o) const { return Vector(x - o.x, y - o.y, z - o.z); }
	Vector operator-() const { return Vector(-x, -y, -z); }
	Vector operator*(Float s) const { return Vector(x * s, y * s, z * s); }
	Vector operator/(Float s) const { return Vector(x / s, y / s, z / s); }
	Vector& operator+=(const Vector& o) { x += o.x; y += o.y; z += o.z; return *this; }
	Vector& operator-=(const Vector& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
	Vector& operator*=(Float s) { x *= s; y *= s; z *= s; return *this; }
	bool operator==(const Vector& o) const { return x == o.x && y == o.y && z == o.z; }
	bool operator!=(const Vector& o) const { return !(*this == o); }
	Float GetLength() const { return std::sqrt(x * x + y * y + z * z); }
	Float GetSquaredLength() const { return x * x + y * y + z * z; }
};

inline Vector operator*(Float s, const Vector& v) { return v * s; }
inline Float Dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector Cross(const Vector& a, const Vector& b)
{
	return Vector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

struct Vector32
{
	Float32 x = 0.0f, y = 0.0f, z = 0.0f;
};

// An affine transform: off is the translation, v1..v3 the axes (columns) of the linear part.
struct Matrix
{
	Vector off, v1{1, 0, 0}, v2{0, 1, 0}, v3{0, 0, 1};

	Matrix() = default;
	Matrix(const Vector& off_, const Vector& v1_, const Vector& v2_, const Vector& v3_) : off(off_), v1(v1_), v2(v2_), v3(v3_) {}

	Vector operator*(const Vector& p) const { return off + v1 * p.x + v2 * p.y + v3 * p.z; }
	Matrix operator*(const Matrix& m) const
	{
		return Matrix((*this) * m.off, TransformVector(m.v1), TransformVector(m.v2), TransformVector(m.v3));
	}
	Vector TransformVector(const Vector& d) const { return v1 * d.x + v2 * d.y + v3 * d.z; }
	bool operator==(const Matrix& o) const { return off == o.off && v1 == o.v1 && v2 == o.v2 && v3 == o.v3; }
	bool operator!=(const Matrix& o) const { return !(*this == o); }
};

// Inverse of an affine matrix; a singular matrix gives the identity.
Matrix operator~(const Matrix& m);

// The host's string: UTF-8 text.
class String
{
public:
	String() = default;
	String(const char* s) : _s(s ? s : "") {}
	String(const std::string& s) : _s(s) {}

	Bool IsPopulated() const { return !_s.empty(); }
	Bool IsEmpty() const { return _s.empty(); }
	Int GetLength() const { return static_cast<Int>(_s.size()); }
	const std::string& Get() const { return _s; }
	const char* c_str() const { return _s.c_str(); }

	// Copies the text into a zero-terminated 8-bit buffer, cut to fit; returns false when it was cut.
	Bool GetCString(char* out, Int size_bytes) const;

	String operator+(const String& o) const { return String(_s + o._s); }
	String& operator+=(const String& o) { _s += o._s; return *this; }
	bool operator==(const String& o) const { return _s == o._s; }
	bool operator!=(const String& o) const { return _s != o._s; }

	static String IntToString(Int64 v) { return String(std::to_string(v)); }

private:
	std::string _s;
};

// A file path; operator+ appends a path component.
class Filename
{
public:
	Filename() = default;
	Filename(const char* s) : _s(s ? s : "") {}
	Filename(const String& s) : _s(s.Get()) {}
	Filename(const std::string& s) : _s(s) {}

	Bool IsPopulated() const { return !_s.empty(); }
	Bool IsEmpty() const { return _s.empty(); }
	String GetString() const { return String(_s); }
	// The last component.
	Filename GetFile() const;
	// Everything before the last component.
	Filename GetDirectory() const;
	String GetFileString() const { return GetFile().GetString(); }
	Bool CheckSuffix(const String& suffix) const;

	Filename operator+(const Filename& component) const;
	Filename& operator+=(const Filename& component) { return *this = *this + component; }
	bool operator==(const Filename& o) const { return _s == o._s; }
	bool operator!=(const Filename& o) const { return _s != o._s; }

	const std::string& Get() const { return _s; }

private:
	std::string _s;
};
