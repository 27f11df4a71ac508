// convert_write.cpp - cache frames as PLY, CSV and OBJ files.
#include "convert_write.h"

#include "cache_types.h"
#include "mesh_bin.h"
#include "mesh_md.h"
#include "particle_bin.h"
#include "particle_pxy.h"
#include "particle_tpc.h"

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

// The values are copied out of the readers' arrays as they lie in memory, and PLY is little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the PLY writer copies little-endian values");

const char* PlyTypeName(PlyType type)
{
	static const char* const names[] = {"char", "uchar", "short", "ushort", "int", "uint", "float", "double"};
	return names[static_cast<int>(type)];
}

int PlyTypeBytes(PlyType type)
{
	static const int bytes[] = {1, 1, 2, 2, 4, 4, 4, 8};
	return bytes[static_cast<int>(type)];
}

namespace
{

std::string PropertyName(const std::string& name)
{
	std::string clean = name.empty() ? std::string("channel") : name;
	for (char& c : clean)
		if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
			c = '_';
	return clean;
}

std::string Unique(const ConvertTable& table, const std::string& name)
{
	auto used = [&](const std::string& n) {
		for (const PlyColumn& c : table.columns)
			if (c.name == n)
				return true;
		return false;
	};
	std::string result = name;
	for (int k = 2; used(result); ++k)
		result = name + "_" + std::to_string(k);
	return result;
}

// Whether every 64-bit value of the column fits 32 bits, so that PLY's int holds it exactly.
bool FitsInt32(const unsigned char* data, int64_t stride, int64_t rows)
{
	for (int64_t i = 0; i < rows; ++i)
	{
		int64_t v;
		std::memcpy(&v, data + i * stride, 8);
		if (v < INT32_MIN || v > INT32_MAX)
			return false;
	}
	return true;
}

} // namespace

void AddChannel(ConvertTable& table, const std::string& name, int components, PlyType type, const unsigned char* data,
	int64_t stride, bool from_int64)
{
	static const char* const xyzw[] = {"x", "y", "z", "w"};
	static const char* const uvw[] = {"u", "v", "w"};
	const std::string base = PropertyName(name);
	if (from_int64)
		type = FitsInt32(data, stride, table.rows) ? PlyType::Int : PlyType::Double;
	const int bytes = from_int64 ? 8 : PlyTypeBytes(type);
	const size_t first = table.columns.size();
	for (int c = 0; c < components; ++c)
	{
		std::string n;
		if (components == 1)
			n = base;
		else if (name == "position" && c < 3)
			n = xyzw[c];
		else if ((name == "velocity" || name == "normal") && c < 3)
			n = std::string(name == "velocity" ? "v" : "n") + xyzw[c];
		else if (name == "texture" && c < 3)
			n = uvw[c];
		else
			n = base + "_" + xyzw[c < 4 ? c : 3];
		table.columns.push_back({Unique(table, n), type, data + c * bytes, stride, from_int64});
	}
	if (name == "position" && components >= 3 && table.position < 0)
		table.position = static_cast<int>(first);
	if (name == "texture" && components >= 2 && table.texture < 0)
		table.texture = static_cast<int>(first);
}

namespace
{

// Keeps a frame the library opened (null: the file did not open) alive with the table and reads all of
// it into memory, closing its file. False with the reason when it does not open or read.
template <typename Frame>
bool ReadWhole(Frame* f, void (*free_frame)(Frame*), int (*read)(Frame*, float), void (*close)(Frame*),
	ConvertTable& table, std::string& error)
{
	if (!f)
	{
		error = std::strerror(errno ? errno : ENOENT);
		return false;
	}
	table.owner = std::shared_ptr<void>(f, [free_frame](void* p) { free_frame(static_cast<Frame*>(p)); });
	if (!read(f, 100.0f))
	{
		error = f->failure ? f->failure : CACHE_FAIL_DAMAGED;
		return false;
	}
	close(f);
	return true;
}

bool LoadParticleBin(const std::string& path, ConvertTable& table, std::string& error)
{
	BinParticleFrame* f = OpenParticleBin(path.c_str(), 0);
	if (!ReadWhole(f, FreeParticleBin, ReadParticleBin, CloseParticleBinFile, table, error))
		return false;
	table.rows = f->kept_count;
	auto bytes = [](const void* p) { return static_cast<const unsigned char*>(p); };
	AddChannel(table, "position", 3, PlyType::Float, bytes(f->position), 12);
	AddChannel(table, "velocity", 3, PlyType::Float, bytes(f->velocity), 12);
	AddChannel(table, "force", 3, PlyType::Float, bytes(f->force), 12);
	AddChannel(table, "vorticity", 3, PlyType::Float, bytes(f->vorticity), 12);
	AddChannel(table, "normal", 3, PlyType::Float, bytes(f->normal), 12);
	AddChannel(table, "texture", 3, PlyType::Float, bytes(f->texture), 12);
	AddChannel(table, "neighbors", 1, PlyType::Int, bytes(f->neighbors), 4);
	AddChannel(table, "info_bits", 1, PlyType::Short, bytes(f->info_bits), 2);
	AddChannel(table, "age", 1, PlyType::Float, bytes(f->age), 4);
	AddChannel(table, "isolation", 1, PlyType::Float, bytes(f->isolation), 4);
	AddChannel(table, "viscosity", 1, PlyType::Float, bytes(f->viscosity), 4);
	AddChannel(table, "density", 1, PlyType::Float, bytes(f->density), 4);
	AddChannel(table, "pressure", 1, PlyType::Float, bytes(f->pressure), 4);
	AddChannel(table, "mass", 1, PlyType::Float, bytes(f->mass), 4);
	AddChannel(table, "temperature", 1, PlyType::Float, bytes(f->temperature), 4);
	AddChannel(table, "id", 1, PlyType::Int, bytes(f->id), 8, true);
	return true;
}

bool LoadPxy(const std::string& path, ConvertTable& table, std::string& error)
{
	PxyParticleFrame* f = OpenPxy(path.c_str());
	if (!ReadWhole(f, FreePxy, ReadPxy, ClosePxyFile, table, error))
		return false;
	table.rows = f->kept_count;
	const unsigned char* r = reinterpret_cast<const unsigned char*>(f->records);
	const int64_t stride = sizeof(PxyParticleRecord);
	AddChannel(table, "position", 3, PlyType::Float, r + offsetof(PxyParticleRecord, position), stride);
	AddChannel(table, "velocity", 3, PlyType::Float, r + offsetof(PxyParticleRecord, velocity), stride);
	AddChannel(table, "id", 1, PlyType::Int, r + offsetof(PxyParticleRecord, id), stride, true);
	return true;
}

// The PLY type and component count of a .tpc value type.
bool TpcColumnType(int32_t type, PlyType* ply, bool* from_int64)
{
	*from_int64 = false;
	switch (type)
	{
	case 1:
	case 3:
	case 9:
	case 11: *ply = PlyType::Float; return true;
	case 2:
	case 10: *ply = PlyType::Double; return true;
	case 4:
		*ply = PlyType::Int;
		*from_int64 = true;
		return true;
	case 5: *ply = PlyType::Ushort; return true;
	case 6: *ply = PlyType::Uchar; return true;
	case 7: *ply = PlyType::Int; return true;
	case 8: *ply = PlyType::Char; return true;
	default: return false;
	}
}

bool LoadTpc(const std::string& path, ConvertTable& table, std::string& error)
{
	TpcParticleFrame* f = OpenTpc(path.c_str());
	if (!ReadWhole(f, FreeTpc, ReadTpc, CloseTpcFile, table, error))
		return false;
	table.rows = f->kept_count;
	// position first, as point-cloud tools expect; the other channels in file order
	std::vector<const TpcChannel*> order;
	if (f->position)
		order.push_back(f->position);
	for (int32_t c = 0; c < f->channel_count; ++c)
		if (&f->channels[c] != f->position)
			order.push_back(&f->channels[c]);
	for (const TpcChannel* ch : order)
	{
		PlyType type;
		bool wide = false;
		if (!ch->data && table.rows > 0)
			continue;
		if (TpcColumnType(ch->type, &type, &wide))
			AddChannel(table, ch->name, TpcComponents(ch->type), type, ch->data, ch->element_bytes, wide);
	}
	return true;
}

// Triangles in the file's corner order: the reader holds them turned round for the host.
void AddTriangles(ConvertTable& table, const MeshFace* faces, int32_t count)
{
	table.triangles.resize(3 * static_cast<size_t>(count));
	for (int32_t i = 0; i < count; ++i)
	{
		table.triangles[3 * i] = faces[i].index[2];
		table.triangles[3 * i + 1] = faces[i].index[1];
		table.triangles[3 * i + 2] = faces[i].index[0];
	}
}

bool LoadMesh(int32_t format, const std::string& path, ConvertTable& table, std::string& error)
{
	MeshHandle* h = MeshHandleOpen(path.c_str(), format);
	if (!h)
	{
		error = std::strerror(errno ? errno : ENOENT);
		return false;
	}
	table.owner = std::shared_ptr<void>(h, [](void* p) { MeshHandleFree(static_cast<MeshHandle*>(p)); });
	table.mesh = true;
	const int ok = MeshHandleRead(h, 100.0f);
	MeshHandleCloseFile(h);
	if (const MeshBinFile* m = MeshHandleBinFile(h))
	{
		if (!ok)
		{
			error = m->failure ? m->failure : CACHE_FAIL_DAMAGED;
			return false;
		}
		table.rows = m->vertex_count;
		const unsigned char* v = reinterpret_cast<const unsigned char*>(m->vertices);
		const int64_t stride = sizeof(MeshVertex);
		AddChannel(table, "position", 3, PlyType::Float, v + offsetof(MeshVertex, position), stride);
		const bool texture = m->texture_marker == MESH_BIN_TEXTURE_MARKER;
		if (texture)
			AddChannel(table, "texture", 3, PlyType::Float, v + offsetof(MeshVertex, texture), stride);
		if (m->velocity_marker == MESH_BIN_VELOCITY_MARKER)
			AddChannel(table, "velocity", 3, PlyType::Float, v + offsetof(MeshVertex, velocity), stride);
		// a lone weight is 1 everywhere: no map
		if (texture && m->weight_count > 1 && m->weight_values)
			for (int32_t k = 0; k < m->weight_count; ++k)
				AddChannel(table, "weight_" + std::to_string(k), 1, PlyType::Float,
					reinterpret_cast<const unsigned char*>(m->weight_values + k), 4 * int64_t(m->weight_count));
		AddTriangles(table, m->faces, m->kept_face_count);
		return true;
	}
	const MdMeshFile* md = MeshHandleMdFile(h);
	if (!ok || !md)
	{
		error = md && md->failure ? md->failure : CACHE_FAIL_DAMAGED;
		return false;
	}
	table.rows = md->vertex_count;
	const unsigned char* v = reinterpret_cast<const unsigned char*>(md->vertices);
	std::set<uint32_t> slots;
	// position first; then every channel of the table's slots in file order, each slot once
	for (int pass = 0; pass < 2; ++pass)
		for (int32_t c = 0; c < md->channel_count; ++c)
		{
			const MdChannel& ch = md->channels[c];
			if (ch.id >= MD_SLOT_COUNT || (pass == 0) != (ch.id == MD_POSITION) || !slots.insert(ch.id).second)
				continue;
			const bool vector = ch.id == MD_POSITION || ch.id == MD_VELOCITY || ch.id == MD_FORCE || ch.id == MD_NORMAL ||
				ch.id == MD_TEXTURE || ch.id == MD_VORTICITY;
			// a scalar in a vector slot fills only its first value
			const int components = vector && (ch.value_type == MESH_MD_VALUE_VECTOR || ch.id == MD_VORTICITY) ? 3 : 1;
			AddChannel(table, MD_SLOT_NAMES[ch.id], components, PlyType::Float, v + 4 * MD_SLOT_FLOAT[ch.id],
				sizeof(MdVertex));
		}
	AddTriangles(table, md->faces, md->kept_face_count);
	return true;
}

} // namespace

bool LoadConvertTable(int32_t format, const std::string& path, ConvertTable& table, std::string& error)
{
	table = ConvertTable();
	errno = 0;
	switch (format)
	{
	case CACHE_PARTICLE_BIN: return LoadParticleBin(path, table, error);
	case CACHE_PARTICLE_PXY: return LoadPxy(path, table, error);
	case CACHE_PARTICLE_TPC: return LoadTpc(path, table, error);
	case CACHE_MESH_BIN:
	case CACHE_MESH_CHUNK:
	case CACHE_MESH_MD: return LoadMesh(format, path, table, error);
	default: error = "not a particle or mesh format"; return false;
	}
}

namespace
{

constexpr int64_t kBlockBytes = 4 << 20;

bool Put(FILE* out, const void* bytes, size_t n)
{
	return n == 0 || std::fwrite(bytes, 1, n, out) == n;
}

bool Put(FILE* out, const std::string& text)
{
	return Put(out, text.data(), text.size());
}

template <typename T>
char* Format(char* at, char* end, const unsigned char* p)
{
	T v;
	std::memcpy(&v, p, sizeof v);
	return std::to_chars(at, end, v).ptr;
}

// One value of a column as text: floats as the shortest decimal that reads back the same.
char* FormatValue(char* at, char* end, const PlyColumn& c, int64_t row)
{
	const unsigned char* p = c.data + row * c.stride;
	if (c.from_int64)
		return Format<int64_t>(at, end, p);
	switch (c.type)
	{
	case PlyType::Char: return Format<int8_t>(at, end, p);
	case PlyType::Uchar: return Format<uint8_t>(at, end, p);
	case PlyType::Short: return Format<int16_t>(at, end, p);
	case PlyType::Ushort: return Format<uint16_t>(at, end, p);
	case PlyType::Int: return Format<int32_t>(at, end, p);
	case PlyType::Uint: return Format<uint32_t>(at, end, p);
	case PlyType::Float: return Format<float>(at, end, p);
	case PlyType::Double: return Format<double>(at, end, p);
	}
	return at;
}

} // namespace


bool WriteCsv(const ConvertTable& table, FILE* out)
{
	std::string line;
	for (size_t k = 0; k < table.columns.size(); ++k)
		line += (k ? "," : "") + table.columns[k].name;
	line += "\n";
	if (!Put(out, line))
		return false;
	// A value takes at most 24 characters (a double's shortest form) and its separator: a whole row
	// always fits the room kept past the block, however many channels a file brings.
	const int64_t row_room = 32 * (static_cast<int64_t>(table.columns.size()) + 1);
	std::vector<char> block(static_cast<size_t>(kBlockBytes + row_room));
	char* at = block.data();
	char* const flush_at = block.data() + kBlockBytes;
	char* const end = block.data() + block.size();
	for (int64_t i = 0; i < table.rows; ++i)
	{
		for (size_t k = 0; k < table.columns.size(); ++k)
		{
			if (k)
				*at++ = ',';
			at = FormatValue(at, end, table.columns[k], i);
		}
		*at++ = '\n';
		if (at >= flush_at)
		{
			if (!Put(out, block.data(), static_cast<size_t>(at - block.data())))
				return false;
			at = block.data();
		}
	}
	return Put(out, block.data(), static_cast<size_t>(at - block.data()));
}

bool WriteObj(const ConvertTable& table, FILE* out)
{
	if (!Put(out, "# written by twconnect convert; units as in the cache file (metres)\n"))
		return false;
	std::string text;
	auto flush = [&](bool last) {
		if (!last && text.size() < static_cast<size_t>(kBlockBytes))
			return true;
		const bool ok = Put(out, text);
		text.clear();
		return ok;
	};
	auto value = [&](int column, int64_t row) {
		char buf[64];
		char* e = FormatValue(buf, buf + sizeof buf, table.columns[static_cast<size_t>(column)], row);
		text.append(buf, e);
	};
	for (int64_t i = 0; i < table.rows && table.position >= 0; ++i)
	{
		text += "v ";
		value(table.position, i);
		text += ' ';
		value(table.position + 1, i);
		text += ' ';
		value(table.position + 2, i);
		text += '\n';
		if (!flush(false))
			return false;
	}
	for (int64_t i = 0; i < table.rows && table.texture >= 0; ++i)
	{
		text += "vt ";
		value(table.texture, i);
		text += ' ';
		value(table.texture + 1, i);
		text += '\n';
		if (!flush(false))
			return false;
	}
	const bool uv = table.texture >= 0;
	for (size_t f = 0; f + 2 < table.triangles.size(); f += 3)
	{
		text += 'f';
		for (int k = 0; k < 3; ++k)
		{
			const std::string index = std::to_string(static_cast<uint64_t>(table.triangles[f + k]) + 1);
			text += ' ' + index;
			if (uv)
				text += '/' + index;
		}
		text += '\n';
		if (!flush(false))
			return false;
	}
	return flush(true);
}

bool WriteWhole(const std::string& path, bool (*writer)(const ConvertTable&, FILE*), const ConvertTable& table,
	std::string& error)
{
	const size_t slash = path.rfind('/');
	const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
	const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
	std::string temp = folder + "." + name + ".XXXXXX";
	const int fd = mkstemp(&temp[0]);
	if (fd < 0)
	{
		error = std::string("cannot create a file in its folder: ") + std::strerror(errno);
		return false;
	}
	FILE* out = fdopen(fd, "wb");
	if (!out)
	{
		error = std::strerror(errno);
		close(fd);
		unlink(temp.c_str());
		return false;
	}
	// mkstemp makes the file for its owner alone; the result is an ordinary file
	const mode_t mask = umask(0);
	umask(mask);
	fchmod(fd, 0666 & ~mask);
	errno = 0;
	bool ok = writer(table, out);
	ok = std::fflush(out) == 0 && ok && !std::ferror(out);
	int saved = errno;
	if (std::fclose(out) != 0 && ok)
	{
		ok = false;
		saved = errno;
	}
	if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
	{
		error = std::string("cannot rename the finished file into place: ") + std::strerror(errno);
		unlink(temp.c_str());
		return false;
	}
	if (!ok)
	{
		error = std::string("write failed: ") + (saved ? std::strerror(saved) : "unknown error");
		unlink(temp.c_str());
		return false;
	}
	return true;
}
