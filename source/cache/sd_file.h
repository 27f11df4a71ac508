// sd_file.h - SD scene files (".sd"): the open-file record, its record transfers, and the two frame
// readers that locate frames by computed 64-bit offsets.
//
// One file holds a whole animated scene. Little-endian, unaligned, no padding; i32 signed, f32 and
// f64 IEEE single and double, u8 a byte; a string is an i32 length and that many bytes, no zero.
// Fields marked "v>=n" exist only when the header's float version is >= n.0; the writer always
// writes version 6.0, where every field is present. Sizes below are those of version 6.
//
//   File header, at 0 (83 bytes)
//     0   30  title              free text, zero-padded, last byte 0 as written; not interpreted
//    30    4  version            f32, 6.0 as written
//    34    4  header size        i32, v>=5: offset of the first frame (not read back: recomputed)
//    38    4  frame size         i32, v>=5: bytes of one frame (not read back: recomputed)
//    42    1  camera flag        u8, v>=2: nonzero = a camera follows the objects; else counts as 0
//    43    4  axis setup         i32: order of "vector" components, see below; written as 6
//    47   24  reserved           6 x i32, written 0
//    71    4  N                  i32 object count
//    75    4  first frame        i32
//    79    4  last frame         i32; the file holds last - first + 1 frames
//
//   Per object k (N times, in order), descriptor then geometry block
//     +0   1  type               u8: 0 rigid (transform only), 1 deforming (transform and vertices)
//     +1  12  host vector        3 x f32, not interpreted
//    +13   4  name length L      i32
//    +17   L  name               objects are identified by it
//     ..   4  texture length X   i32, v>=3
//     ..   X  texture            v>=3: full path of the colour texture, or empty
//     ..   4  V                  i32 vertex count
//     ..   4  T                  i32 triangle count
//                                D_k = 29 + L + X bytes
//     then V x 12                rest positions, x y z f32, metres
//     then T x 64                faces: corners a b c (3 x i32, 0-based), v>=3 texture (u, t, w) of
//                                a, b, c (9 x f32; t = 1 - host v), edge values (3 x i32, written 1),
//                                face value (i32, written 1)            G_k = 12 V + 64 T bytes
//
//   Camera descriptor, only with the camera flag (24 bytes)
//     +0  12  fov, near clip, far clip        3 x f32 (radians, metres, metres)
//    +12  12  up                              3 x f32, v>=6, x y z; not interpreted
//
//   Frame i = frame number - first frame, at  F0 + i x S  with
//     F0 = 83 + sum_k (D_k + G_k) + 24 K      (K = 1 with the camera flag, else 0)
//     S  = 4 + sum_k R_k + 104 K
//     +0   4  frame number       i32, written consecutively from the first frame
//     then one object frame record per object (R_k bytes), in descriptor order:
//       +0   4  name length L      i32, v>=5
//       +4   L  name               v>=5: the object's name again
//       ..  48  transform          12 x f32: X axis, Y axis, Z axis, position (metres)
//       ..  48  vectors            4 "vectors" of 3 x f32: position, rotation (radians), scale, 0
//       ..  72  double vectors     3 "vectors" of 3 x f64, v>=4, written 0; not interpreted
//       ..  12V vertex positions   type 1 only: V x 3 x f32, global, metres
//                                  R_k = 172 + L (+ 12 V for type 1)
//     then, with the camera flag, the camera frame record (104 bytes):
//       +0  64  matrix             16 x f32 row-major: (-X, px), (Y, py), (-Z, pz), (0, 0, 0, 1)
//      +64  12  position           3 x f32
//      +76  12  target             3 x f32: position + Z axis
//      +88  12  up                 3 x f32: Y axis
//     +100   4  roll               f32, v>=6: negated bank angle, degrees
//     The record of object k starts 4 + sum_{j<k} R_j bytes after its frame's start.
//
//   "Vector" components are stored z, y, x with axis setup 1 or 6, else x, y, z; the writer always
//   writes z, y, x. Nothing else depends on the axis setup, except that with axis setup 3 the camera
//   matrix is converted after reading: row 0's first three entries become the negated first three
//   of row 2, and row 2's first three become the old first three of row 0.
//
// The readers compute frame offsets from the descriptors with the sizes of the file's version (the
// sizes above, less the fields that version lacks); they never read the header's size fields and
// never read through the file to find a frame.
//
// Choices of this library, most of them so that damaged files are refused rather than read:
// - Record transfers return 1 when the record was moved whole and 0 otherwise, so that a caller
//   can tell a failed transfer.
// - Every count and length that comes from the file (N, V, T, name and texture lengths, the frame
//   range) is checked against the file's size before anything is allocated from it. A record whose
//   length does not fit in what is left of the file, or that is cut short, fails its transfer.
// - A frame that does not lie wholly inside the file as it is when the frame is read fails cleanly
//   (the scene reader is marked invalid, the object reader finds no data); a frame record whose name
//   length differs from its descriptor's fails the frame too, since the offsets assume they agree.
// - The readers' offset tables have at most one entry per frame that could start inside the file
//   when it was opened; offsets of later frames (a file that has grown since) are computed each time.
// - The scene reader also reads the camera frame record (into the SdFile's camera_frame).
// - The derived sizes (descriptor, geometry, frame record) are 64-bit; SdClose reports whether a
//   file opened for writing was written whole; SdFindObject and SdObjectReaderOpen seek to the start
//   of the file themselves.
// - Additions: SdReopen, the bulk vertex transfers, SdObjectReaderReadFrame (the SD Anim object's
//   frame load without its message), the writer helpers and the layout sums.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr float SD_VERSION = 6.0f;
constexpr int32_t SD_AXIS_SETUP = 6; // as written: vector components stored z, y, x

// Version-6 sizes of the fixed parts of the records.
constexpr int64_t SD_HEADER_BYTES = 83;
constexpr int64_t SD_TITLE_BYTES = 30;
constexpr int64_t SD_DESCRIPTOR_FIXED_BYTES = 29; // + name length + texture length
constexpr int64_t SD_VERTEX_BYTES = 12;
constexpr int64_t SD_FACE_BYTES = 64;
constexpr int64_t SD_CAMERA_DESCRIPTOR_BYTES = 24;
constexpr int64_t SD_FRAME_NUMBER_BYTES = 4;
constexpr int64_t SD_OBJECT_FRAME_FIXED_BYTES = 172; // + name length (+ 12 V for type 1)
constexpr int64_t SD_CAMERA_FRAME_BYTES = 104;

enum SdObjectType : uint8_t
{
	SD_OBJECT_RIGID = 0,
	SD_OBJECT_DEFORMING = 1,
};

// Indices of SdObjectFrame::vectors.
enum SdVector : int
{
	SD_VECTOR_POSITION = 0,
	SD_VECTOR_ROTATION = 1,
	SD_VECTOR_SCALE = 2,
	SD_VECTOR_FOURTH = 3,
};

struct SdObjectDescriptor
{
	uint8_t type;
	float host_vector[3];
	int32_t name_length;
	char* name; // owned, zero-terminated, name_length + 1 bytes; null until read or set
	int32_t texture_length;
	char* texture; // owned, zero-terminated; may be null (texture_length 0)
	int32_t vertex_count;
	int32_t triangle_count;
	// Derived by the reader (and by SdDescriptorSetSizes), in bytes as the file's version stores the
	// records; version 6 gives the sizes below. 64-bit so that sums over many or large objects cannot
	// wrap.
	int64_t descriptor_size; // 29 + name length + texture length
	int64_t geometry_size; // 12 V + 64 T
	int64_t frame_record_size; // 172 + name length, + 12 V for type 1
};

struct SdFace
{
	int32_t corners[3];
	float uvw[9]; // (u, t, w) of corner a, b, c; t = 1 - the host's v
	int32_t edge_values[3];
	int32_t face_value;
};

struct SdCameraDescriptor
{
	float fov; // radians
	float near_clip;
	float far_clip;
	float up[3]; // x, y, z
};

struct SdObjectFrame
{
	int32_t name_length;
	char* name; // owned, zero-terminated; null until read
	float transform[12]; // X axis, Y axis, Z axis, position
	float vectors[4][3]; // SdVector order, each x, y, z
	double double_vectors[3][3]; // each x, y, z
};

struct SdCameraFrame
{
	float matrix[16]; // row-major 4 x 4
	float position[3];
	float target[3];
	float up[3];
	float roll; // degrees
};

// One open SD file. Created by SdOpen, freed by SdClose.
struct SdFile
{
	char* path; // owned, TW_RECORD_PATH_SIZE bytes
	FILE* stream; // null once closed
	// Size of the file when its stream was last opened for reading; -1 for a file opened for writing.
	// Reads are checked against it.
	int64_t file_size;
	uint8_t for_writing;

	// The header. The title has one byte more than its field, so that it is always terminated.
	char title[SD_TITLE_BYTES + 1];
	float version;
	int32_t header_size;
	int32_t frame_size;
	uint8_t has_camera;
	int32_t axis_setup;
	int32_t reserved[6];
	int32_t object_count;
	int32_t first_frame;
	int32_t last_frame;

	// Targets of reads and sources of writes, one record each.
	SdObjectDescriptor descriptor;
	float vertex[3];
	SdFace face;
	SdCameraDescriptor camera;
	int32_t frame_number; // last frame number transferred; -1 after opening
	SdObjectFrame object_frame;
	SdCameraFrame camera_frame;
};

// --- open-file records

// Opens `path` with "wb" when for_writing, else "rb". Null when the path is empty or does not fit the
// record, the stream cannot be opened, or memory runs out. Everything but the buffers is zeroed;
// frame_number is -1.
SdFile* SdOpen(const char* path, bool for_writing);
// Closes the stream if open and frees the record with its buffers. Null is ignored. Returns 0 when a
// write or the closing of a stream opened for writing failed, else 1.
int SdClose(SdFile* file);
// Closes the stream and keeps the record. Returns 0.
int SdCloseStream(SdFile* file);
// Reopens the stream by the stored path with "rb" (closing it first if open) and refreshes
// file_size. 1, or 0 when the file cannot be opened.
int SdReopen(SdFile* file);

// Index of the first object whose name equals `name` (exact bytes; empty names never match), or -1
// when none does, the file has no objects or is damaged. Reads from the start of the file: the
// header, then descriptors, skipping geometry blocks.
int32_t SdFindObject(SdFile* file, const char* name);

// --- record transfers: one record at the stream's position, honouring the version gates.
// 1 when the record was moved whole; 0 without a stream, for a short read or write, a length from
// the file that does not fit in the rest of it, or a failed allocation.

// Reading checks N (>= 0, and room for N descriptors in the file); when the version is below 2.0,
// has_camera is set to 0. Writing forces the title's last byte to 0 and, below version 2.0, sets
// has_camera to 0 and writes no byte for it.
int SdReadHeader(SdFile* file);
int SdWriteHeader(SdFile* file);
// Reads into `descriptor` (normally &file->descriptor), replacing its name and texture buffers, and
// sets the derived sizes. Checks the lengths, V >= 0, T >= 0 and that the geometry block fits in the
// file. Writing writes file->descriptor; texture bytes only when the texture length is nonzero.
int SdReadObjectDescriptor(SdFile* file, SdObjectDescriptor* descriptor);
int SdWriteObjectDescriptor(SdFile* file);
int SdReadVertex(SdFile* file);
int SdWriteVertex(SdFile* file);
// Bulk forms of the vertex transfers: count vertices, 3 floats each, to or from xyz.
int SdReadVertices(SdFile* file, float* xyz, int64_t count);
int SdWriteVertices(SdFile* file, const float* xyz, int64_t count);
int SdReadFace(SdFile* file);
int SdWriteFace(SdFile* file);
int SdReadCameraDescriptor(SdFile* file);
int SdWriteCameraDescriptor(SdFile* file);
int SdReadFrameNumber(SdFile* file);
int SdWriteFrameNumber(SdFile* file);
// One object frame record without its vertex positions. Reading replaces `frame`'s name (v>=5) and
// orders vector components as the axis setup says. Writing takes the name from file->descriptor
// (name bytes only when its length is nonzero) and the rest from file->object_frame, vector
// components always z, y, x.
int SdReadObjectFrame(SdFile* file, SdObjectFrame* frame);
int SdWriteObjectFrame(SdFile* file);
// The camera frame record to or from camera_frame; reading applies the axis-setup-3 conversion.
int SdReadCameraFrame(SdFile* file);
int SdWriteCameraFrame(SdFile* file);

// --- helpers for writers

// Copies text (cut to 29 characters) into the title, zero-padded.
void SdSetTitle(SdFile* file, const char* text);
// Replace the descriptor's name or texture with an owned copy of text (null = empty) and set its
// length. 1, or 0 when memory runs out (the old buffer is then kept).
int SdDescriptorSetName(SdObjectDescriptor* descriptor, const char* text);
int SdDescriptorSetTexture(SdObjectDescriptor* descriptor, const char* text);
// Sets the three derived sizes from type, lengths and counts, as a file of that version stores them.
void SdDescriptorSetSizes(SdObjectDescriptor* descriptor, float version = SD_VERSION);
// Frees a descriptor's or object frame's buffers and nulls them (lengths kept).
void SdDescriptorFreeBuffers(SdObjectDescriptor* descriptor);
void SdObjectFrameFreeBuffers(SdObjectFrame* frame);
// The layout sums over n descriptors with derived sizes set: offset of the first frame
// (83 + sum (D + G) + 24 K) and bytes per frame (4 + sum R + 104 K), with the header and camera
// sizes of that version. -1 when a sum overflows.
int64_t SdFirstFrameOffset(const SdObjectDescriptor* descriptors, int32_t n, bool has_camera, float version = SD_VERSION);
int64_t SdFrameBytes(const SdObjectDescriptor* descriptors, int32_t n, bool has_camera, float version = SD_VERSION);

// Sizes of the fixed records as a file of the given version stores them, for everyone who reads or
// skips them (the library's readers and the importer alike): the header (83 from 5.0, 75 from 2.0,
// 74 before), a face record (64 from 3.0; 28 before, without texture coordinates), the camera
// descriptor (24 from 6.0, else 12) and the camera frame record (104 from 6.0, else 100).
int64_t SdHeaderBytes(float version);
int64_t SdFaceBytes(float version);
int64_t SdCameraDescriptorBytes(float version);
int64_t SdCameraFrameBytes(float version);

// --- scene reader: whole frames of all objects (the SD Reader object)

struct SdSceneReader
{
	int32_t valid; // 1 when the last frame request was read, 0 when it was outside the file or failed
	SdFile* file; // owned; its stream stays closed between frames
	SdObjectDescriptor* descriptors; // N
	SdObjectFrame* frames; // N, the current frame of each object
	float** vertices; // N; V x 3 floats for a type-1 object once a frame was read, else null
	int64_t* offsets; // offset_count entries, -1 until computed
	// Beyond the file's own fields: the number of frames (last - first + 1, at least 0), the entries of
	// `offsets`, and the layout sums.
	int64_t frame_count;
	int64_t offset_count;
	int64_t first_frame_offset;
	int64_t frame_bytes;
};

// Opens the file, reads the header and the N descriptors (skipping geometry blocks) and sizes the
// tables. Null when the file cannot be opened, is damaged (a descriptor or geometry block beyond the
// end) or memory runs out. The stream stays open; callers close it (SdCloseStream).
SdSceneReader* SdSceneOpen(const char* path);
// Offset of frame i (0-based): F0 + i x S. -1 for i < 0 or when the offset overflows.
int64_t SdSceneFrameOffset(const SdSceneReader* reader, int64_t i);
// Reopens the stream by path and reads frame `frame_number`: the frame number into the file's
// frame_number, every object's record into `frames` and, for type-1 objects, the vertex positions
// into `vertices`, then the camera frame record. valid = 1 on success. A frame number outside
// [first, last] reads nothing and sets valid = 0 (result 1). A frame that is not wholly inside the
// file, or that is damaged, sets valid = 0 and gives 0, as does a file that cannot be opened or
// memory running out. The stream is closed again in every case.
int SdSceneReadFrame(SdSceneReader* reader, int32_t frame_number);
// Frees everything, closes and frees the file. Null is ignored.
void SdSceneFree(SdSceneReader* reader);

// --- object reader: one object picked by name (a stand-alone SD Anim object)

// As in SdObjectDescriptor, the three sizes are 64-bit, so sums over large scenes cannot overflow.
struct SdObjectInfo
{
	int32_t type;
	int32_t vertex_count;
	int32_t triangle_count;
	int64_t descriptor_size;
	int64_t geometry_size;
	int64_t frame_record_size;
};

struct SdObjectReader
{
	SdFile* file; // owned
	int64_t* offsets; // offset_count entries, -1 until computed
	SdObjectInfo* infos; // N
	SdObjectInfo* selected; // the picked object's entry, or null
	int32_t selected_index; // -1 when nothing is picked
	float* vertices; // V x 3 floats of the picked object, or null
	// Beyond the file's own fields, as in SdSceneReader.
	int32_t object_count;
	int64_t frame_count;
	int64_t offset_count;
	int64_t first_frame_offset;
	int64_t frame_bytes;
	int64_t record_offset; // of the picked object's record inside a frame (4 + records before it)
};

// All pointers null, counts 0, selected_index -1.
void SdObjectReaderInit(SdObjectReader* reader);
// `file` must be set to an SdFile opened for reading. Reads the header and all descriptors from the
// start, records each SdObjectInfo and picks the last object named `name` (a nonempty name),
// allocating `vertices` for its V vertices. 1, or 0 for a damaged file or when memory runs out (the
// tables are then freed; `file` stays for SdObjectReaderClose).
int SdObjectReaderOpen(SdObjectReader* reader, const char* name);
// Computes and stores (when i has an entry) the offset of the picked object's record in frame i,
// and returns it; -1 when nothing is picked, i < 0 or the offset overflows.
int64_t SdObjectReaderFrameOffset(SdObjectReader* reader, int64_t i);
// Loads SD frame `frame_number` of the picked object: reopens the stream, seeks to the record,
// reads it into `frame` and, for type 1, the vertex positions into *vertices (V x 3 floats,
// allocated through the cache allocator on first use when null), closes the stream. 1 = read;
// 0 = no data (nothing picked, the frame outside [first, last], not wholly in the file or damaged,
// memory); -1 = the file could not be opened.
int SdObjectReaderReadFrame(SdObjectReader* reader, int32_t frame_number, SdObjectFrame* frame, float** vertices);
// Frees the tables and vertices, closes and frees the file, and reinitialises the reader.
void SdObjectReaderClose(SdObjectReader* reader);
