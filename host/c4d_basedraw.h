// c4d_basedraw.h - a view of a document and what objects draw into it.
#pragma once

#include "c4d_baselist.h"
#include "c4d_gui.h"

class BaseObject;
class BaseDocument;

// The passes in which the host asks objects to draw; the object pass is where an object draws itself.
enum DRAWPASS : Int32
{
	DRAWPASS_OBJECT = 0,
	DRAWPASS_BOX = 1,
	DRAWPASS_HANDLES = 2,
	DRAWPASS_HIGHLIGHTS = 3,
	DRAWPASS_XRAY = 4,
};

// What a draw call answers.
enum DRAWRESULT : Int32
{
	DRAWRESULT_ERROR = 0,
	DRAWRESULT_OK = 1,
	DRAWRESULT_SKIP = 2,
};

// Line flags of DrawLine.
enum
{
	NOCLIP_D = 1 << 0, // drawn over everything, not hidden by what lies in front
	NOCLIP_Z = 1 << 1,
};

// The kind of draw port a view has (its parameter BASEDRAW_DRAWPORTTYPE, c4d_gui.h): 2 is the enhanced
// hardware port that objects with their own point drawing ask for.
enum
{
	DRAWPORT_TYPE_SOFTWARE = 0,
	DRAWPORT_TYPE_OPENGL = 1,
	DRAWPORT_TYPE_ENHANCED = 2,
};

// A view: a camera looking at the document and an image it draws into. Drawing calls take positions in
// the space of the current draw matrix (SetMatrix_Matrix), global space until one is set; what lies
// behind something already drawn nearer the camera stays hidden.
class BaseDraw : public BaseList2D
{
public:
	// The document's camera the view looks through, or null when it looks through its editor camera.
	BaseObject* GetSceneCamera(const BaseDocument* doc) const;
	// The camera the view looks through when the document has none; it frames everything visible.
	BaseObject* GetEditorCamera() const;

	// Positions of the following calls are in the space of mg (op is the object drawing, may be null).
	void SetMatrix_Matrix(BaseObject* op, const Matrix& mg);
	// The colour of the following lines and circles (components 0..1).
	void SetPen(const Vector& col, Int32 flags = 0);
	// cnt points; vc holds colcnt floats per point (3: RGB) or is null (the pen's colour); vn normals, unused
	// by the headless view.
	void DrawPointArray(Int32 cnt, const Vector32* vp, const Float32* vc = nullptr, Int32 colcnt = 0,
		const Vector32* vn = nullptr);
	// A circle: centre m.off, axes m.v1 and m.v2 (their lengths are the radii).
	void DrawCircle(const Matrix& m);
	void DrawLine(const Vector& p1, const Vector& p2, Int32 flags);

	// A global position as the view shows it: x, y in pixels from the top left, z the distance along the
	// camera's view axis.
	Vector WS(const Vector& p) const;

	~BaseDraw() override;

private:
	BaseDraw();
	struct Port;
	Port* _port;
	friend struct ViewAccess;
};

// Helps an object draw: its global matrix as the view sees it.
class BaseDrawHelp
{
public:
	BaseDrawHelp(BaseDraw* bd, BaseObject* op) : _bd(bd), _op(op) {}
	BaseDraw* GetBd() const { return _bd; }
	Matrix GetMg() const;

private:
	BaseDraw* _bd;
	BaseObject* _op;
};
