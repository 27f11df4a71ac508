// cli_convert_test.cpp - twconnect convert: PLY, OBJ and CSV files read back by parsers written here from
// the formats' descriptions, compared with the frame as the cache library reads it.
#include "cache_types.h"
#include "cli_support.h"
#include "mesh_bin.h"
#include "particle_bin.h"
#include "particle_tpc.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace
{

// A PLY file as its description defines it: an ASCII header, then binary little-endian elements.
struct Ply
{
	std::vector<std::string> names; // vertex properties in order
	std::map<std::string, std::vector<double>> vertex; // by property
	int64_t vertices = 0;
	std::vector<std::vector<int64_t>> faces;
	bool has_face_element = false;
};

int TypeBytes(const std::string& type)
{
	static const std::map<std::string, int> bytes = {{"char", 1}, {"uchar", 1}, {"short", 2}, {"ushort", 2},
		{"int", 4}, {"uint", 4}, {"float", 4}, {"double", 8}};
	auto it = bytes.find(type);
	return it == bytes.end() ? 0 : it->second;
}

double Value(const std::string& type, const unsigned char* p)
{
	if (type == "char")
		return static_cast<int8_t>(p[0]);
	if (type == "uchar")
		return p[0];
	if (type == "short" || type == "ushort")
	{
		const uint16_t u = static_cast<uint16_t>(p[0] | (p[1] << 8));
		return type == "short" ? static_cast<double>(static_cast<int16_t>(u)) : u;
	}
	uint64_t u = 0;
	for (int k = TypeBytes(type) - 1; k >= 0; --k)
		u = (u << 8) | p[k];
	if (type == "int")
		return static_cast<int32_t>(static_cast<uint32_t>(u));
	if (type == "uint")
		return static_cast<uint32_t>(u);
	if (type == "float")
	{
		const uint32_t w = static_cast<uint32_t>(u);
		float f;
		std::memcpy(&f, &w, 4);
		return f;
	}
	double d;
	std::memcpy(&d, &u, 8);
	return d;
}

Ply ReadPly(const std::string& path)
{
	Ply ply;
	const std::string bytes = ReadFile(path);
	const size_t end = bytes.find("end_header\n");
	EXPECT_NE(end, std::string::npos) << path;
	if (end == std::string::npos)
		return ply;
	std::istringstream header(bytes.substr(0, end));
	std::string line;
	std::getline(header, line);
	EXPECT_EQ(line, "ply");
	std::getline(header, line);
	EXPECT_EQ(line, "format binary_little_endian 1.0");
	std::vector<std::string> types;
	std::string element;
	int64_t faces = 0;
	std::string list_count, list_index;
	while (std::getline(header, line))
	{
		std::istringstream words(line);
		std::string word;
		words >> word;
		if (word == "comment")
			continue;
		if (word == "element")
		{
			int64_t n = 0;
			words >> element >> n;
			if (element == "vertex")
				ply.vertices = n;
			else if (element == "face")
			{
				faces = n;
				ply.has_face_element = true;
			}
			else
				ADD_FAILURE() << "unexpected element " << element;
			continue;
		}
		if (word != "property")
		{
			ADD_FAILURE() << "not a property: " << line;
			return ply;
		}
		std::string type, name;
		words >> type;
		if (type == "list")
		{
			words >> list_count >> list_index >> name;
			EXPECT_EQ(element, "face");
			EXPECT_EQ(name, "vertex_indices");
			continue;
		}
		words >> name;
		EXPECT_EQ(element, "vertex");
		EXPECT_GT(TypeBytes(type), 0) << type;
		types.push_back(type);
		ply.names.push_back(name);
	}
	const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + end + 11;
	const unsigned char* stop = reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size();
	for (int64_t i = 0; i < ply.vertices; ++i)
		for (size_t k = 0; k < types.size(); ++k)
		{
			if (p + TypeBytes(types[k]) > stop)
			{
				ADD_FAILURE() << "vertex data runs past the end";
				return ply;
			}
			ply.vertex[ply.names[k]].push_back(Value(types[k], p));
			p += TypeBytes(types[k]);
		}
	for (int64_t i = 0; i < faces; ++i)
	{
		if (p + TypeBytes(list_count) > stop)
		{
			ADD_FAILURE() << "face data runs past the end";
			return ply;
		}
		const int64_t n = static_cast<int64_t>(Value(list_count, p));
		p += TypeBytes(list_count);
		std::vector<int64_t> face;
		for (int64_t k = 0; k < n && p + TypeBytes(list_index) <= stop; ++k, p += TypeBytes(list_index))
			face.push_back(static_cast<int64_t>(Value(list_index, p)));
		ply.faces.push_back(face);
	}
	EXPECT_EQ(p, stop) << "bytes after the last element";
	return ply;
}

// An OBJ file's v, vt and f records.
struct Obj
{
	std::vector<std::vector<double>> v, vt;
	std::vector<std::vector<std::pair<int64_t, int64_t>>> f; // (vertex, texture), 1-based; texture 0 when absent
};

Obj ReadObj(const std::string& path)
{
	Obj obj;
	std::ifstream in(path);
	std::string line;
	while (std::getline(in, line))
	{
		std::istringstream words(line);
		std::string kind;
		words >> kind;
		if (kind == "v" || kind == "vt")
		{
			std::vector<double> values;
			double x;
			while (words >> x)
				values.push_back(x);
			(kind == "v" ? obj.v : obj.vt).push_back(values);
		}
		else if (kind == "f")
		{
			std::vector<std::pair<int64_t, int64_t>> corners;
			std::string corner;
			while (words >> corner)
			{
				const size_t slash = corner.find('/');
				corners.push_back({std::stoll(corner.substr(0, slash)),
					slash == std::string::npos ? 0 : std::stoll(corner.substr(slash + 1))});
			}
			obj.f.push_back(corners);
		}
		else if (!kind.empty() && kind[0] != '#')
			ADD_FAILURE() << "unexpected record " << line;
	}
	return obj;
}

// The files of a folder, sorted.
std::vector<std::string> Files(const std::string& dir)
{
	std::vector<std::string> files;
	for (const auto& entry : std::filesystem::directory_iterator(dir))
		files.push_back(entry.path().string());
	std::sort(files.begin(), files.end());
	return files;
}

std::string WithExtension(const std::string& path, const std::string& dir, const std::string& extension)
{
	std::filesystem::path p(path);
	return dir + "/" + p.stem().string() + "." + extension;
}

void ExpectColumn(const Ply& ply, const std::string& name, const std::vector<double>& expected)
{
	auto it = ply.vertex.find(name);
	ASSERT_NE(it, ply.vertex.end()) << name;
	ASSERT_EQ(it->second.size(), expected.size()) << name;
	for (size_t i = 0; i < expected.size(); ++i)
		ASSERT_EQ(it->second[i], expected[i]) << name << " of vertex " << i;
}

} // namespace

TEST(CliConvert, ParticlePlyHoldsEveryChannelOfTheFrameUnderItsName)
{
	TempDir dir;
	// enough particles for the rows to span several chunks written by more than one thread
	ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 1 --end 2 --count 20000").status, 0);
	const std::vector<std::string> in = Files(dir / "in");
	ASSERT_EQ(in.size(), 2u);
	ASSERT_EQ(Twconnect("convert " + in[0] + " --to ply --out " + dir / "out").status, 0);
	const Ply ply = ReadPly(WithExtension(in[1], dir / "out", "ply"));

	BinParticleFrame* f = OpenParticleBin(in[1].c_str(), 0);
	ASSERT_EQ(ReadParticleBin(f, 100.0f), 1);
	const int n = f->kept_count;
	ASSERT_GT(n, 0);
	EXPECT_EQ(ply.vertices, n);
	EXPECT_FALSE(ply.has_face_element);
	const std::vector<std::string> names = {"x", "y", "z", "vx", "vy", "vz", "force_x", "force_y", "force_z",
		"vorticity_x", "vorticity_y", "vorticity_z", "nx", "ny", "nz", "u", "v", "w", "neighbors", "info_bits", "age",
		"isolation", "viscosity", "density", "pressure", "mass", "temperature", "id"};
	EXPECT_EQ(ply.names, names);
	const struct
	{
		const float* values;
		const char* names[3];
	} vectors[] = {
		{f->position, {"x", "y", "z"}},
		{f->velocity, {"vx", "vy", "vz"}},
		{f->force, {"force_x", "force_y", "force_z"}},
		{f->vorticity, {"vorticity_x", "vorticity_y", "vorticity_z"}},
		{f->normal, {"nx", "ny", "nz"}},
		{f->texture, {"u", "v", "w"}},
	};
	for (const auto& vec : vectors)
		for (int c = 0; c < 3; ++c)
		{
			std::vector<double> expected;
			for (int i = 0; i < n; ++i)
				expected.push_back(vec.values[3 * i + c]);
			ExpectColumn(ply, vec.names[c], expected);
		}
	std::vector<double> age, density, id, neighbors;
	for (int i = 0; i < n; ++i)
	{
		age.push_back(f->age[i]);
		density.push_back(f->density[i]);
		id.push_back(static_cast<double>(f->id[i]));
		neighbors.push_back(f->neighbors[i]);
	}
	ExpectColumn(ply, "age", age);
	ExpectColumn(ply, "density", density);
	ExpectColumn(ply, "id", id);
	ExpectColumn(ply, "neighbors", neighbors);
	FreeParticleBin(f);
}

TEST(CliConvert, TpcCustomChannelsBecomePropertiesAndCsvRowsReadBack)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample tpc " + dir / "in" + " --start 0 --end 0 --count 200").status, 0);
	const std::vector<std::string> in = Files(dir / "in");
	ASSERT_EQ(in.size(), 1u);
	ASSERT_EQ(Twconnect("convert " + in[0] + " --to ply --out " + dir / "one.ply").status, 0);
	ASSERT_EQ(Twconnect("convert " + in[0] + " --to csv --out " + dir / "one.csv").status, 0);
	const Ply ply = ReadPly(dir / "one.ply");

	TpcParticleFrame* f = OpenTpc(in[0].c_str());
	ASSERT_EQ(ReadTpc(f, 100.0f), 1);
	EXPECT_EQ(ply.vertices, f->kept_count);
	ASSERT_GE(ply.names.size(), 3u);
	EXPECT_EQ(ply.names[0], "x");
	// every channel is there: its name, or its name with component suffixes
	for (int32_t c = 0; c < f->channel_count; ++c)
	{
		const std::string name = f->channels[c].name;
		if (name == "position" || name == "velocity")
			continue;
		bool found = false;
		for (const std::string& p : ply.names)
			found = found || p == name || p.rfind(name + "_", 0) == 0;
		EXPECT_TRUE(found) << name;
	}
	std::vector<double> x;
	for (int32_t i = 0; i < f->kept_count; ++i)
	{
		float p[3];
		GetTpcPosition(f, i, p);
		x.push_back(p[0]);
	}
	ExpectColumn(ply, "x", x);

	// CSV: a header row of the same names, then one row per particle with values that read back exactly
	std::ifstream csv(dir / "one.csv");
	std::string line;
	std::getline(csv, line);
	std::string joined;
	for (size_t k = 0; k < ply.names.size(); ++k)
		joined += (k ? "," : "") + ply.names[k];
	EXPECT_EQ(line, joined);
	int64_t rows = 0;
	while (std::getline(csv, line))
	{
		std::istringstream cells(line);
		std::string cell;
		for (size_t k = 0; std::getline(cells, cell, ','); ++k)
		{
			ASSERT_LT(k, ply.names.size());
			// every column of this frame is a float or narrower: its shortest text reads back as the same float
			ASSERT_EQ(std::stof(cell), static_cast<float>(ply.vertex.at(ply.names[k])[static_cast<size_t>(rows)]))
				<< ply.names[k];
		}
		++rows;
	}
	EXPECT_EQ(rows, f->kept_count);
	FreeTpc(f);
}

TEST(CliConvert, MeshPlyAndObjHoldTheFrameInTheFilesCornerOrder)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample mesh " + dir / "in" + " --start 0 --end 1").status, 0);
	const std::vector<std::string> in = Files(dir / "in");
	ASSERT_EQ(in.size(), 2u);
	ASSERT_EQ(Twconnect("convert " + in[0] + " --to ply --out " + dir / "ply" + " --start 1").status, 0);
	ASSERT_EQ(Twconnect("convert " + in[0] + " --to obj --out " + dir / "obj").status, 0);
	const Ply ply = ReadPly(WithExtension(in[1], dir / "ply", "ply"));
	const Obj obj = ReadObj(WithExtension(in[1], dir / "obj", "obj"));
	EXPECT_EQ(Files(dir / "ply").size(), 1u); // --start 1 leaves frame 0 out

	MeshHandle* h = MeshHandleOpen(in[1].c_str(), CACHE_MESH_BIN);
	ASSERT_EQ(MeshHandleRead(h, 100.0f), 1);
	const MeshBinFile* m = MeshHandleBinFile(h);
	ASSERT_EQ(m->texture_marker, MESH_BIN_TEXTURE_MARKER);
	ASSERT_EQ(m->velocity_marker, MESH_BIN_VELOCITY_MARKER);
	ASSERT_GT(m->weight_count, 1);
	const int64_t n = m->vertex_count;
	EXPECT_EQ(ply.vertices, n);
	ASSERT_EQ(static_cast<int64_t>(obj.v.size()), n);
	ASSERT_EQ(static_cast<int64_t>(obj.vt.size()), n);
	for (int64_t i = 0; i < n; ++i)
	{
		const MeshVertex& v = m->vertices[i];
		for (int c = 0; c < 3; ++c)
		{
			EXPECT_EQ(ply.vertex.at(std::string(1, "xyz"[c]))[i], v.position[c]);
			EXPECT_EQ(ply.vertex.at(std::string("v") + "xyz"[c])[i], v.velocity[c]);
			EXPECT_EQ(ply.vertex.at(std::string(1, "uvw"[c]))[i], v.texture[c]);
			EXPECT_EQ(static_cast<float>(obj.v[i][c]), v.position[c]);
		}
		for (int k = 0; k < m->weight_count; ++k)
			EXPECT_EQ(ply.vertex.at("weight_" + std::to_string(k))[i], v.weights[k]);
		EXPECT_EQ(static_cast<float>(obj.vt[i][0]), v.texture[0]);
		EXPECT_EQ(static_cast<float>(obj.vt[i][1]), v.texture[1]);
	}
	ASSERT_EQ(static_cast<int64_t>(ply.faces.size()), m->kept_face_count);
	ASSERT_EQ(static_cast<int64_t>(obj.f.size()), m->kept_face_count);
	for (int32_t i = 0; i < m->kept_face_count; ++i)
	{
		// the file stores each triangle's corners as index[2], index[1], index[0]
		const uint32_t* c = m->faces[i].index;
		EXPECT_EQ(ply.faces[i], (std::vector<int64_t>{c[2], c[1], c[0]})) << "face " << i;
		for (int k = 0; k < 3; ++k)
		{
			EXPECT_EQ(obj.f[i][k].first, int64_t(c[2 - k]) + 1);
			EXPECT_EQ(obj.f[i][k].second, int64_t(c[2 - k]) + 1);
		}
	}
	MeshHandleFree(h);
}

TEST(CliConvert, EverySampleSequenceConverts)
{
	const struct
	{
		const char* kind;
		const char* to;
	} samples[] = {{"pxy", "ply"}, {"chunked", "ply"}, {"md", "ply"}, {"md", "obj"}, {"chunked", "obj"}};
	for (const auto& s : samples)
	{
		TempDir dir;
		ASSERT_EQ(Twconnect(std::string("sample ") + s.kind + " " + dir / "in").status, 0) << s.kind;
		const std::vector<std::string> in = Files(dir / "in");
		const CliRun r = Twconnect("convert " + in[0] + " --to " + s.to + " --out " + dir / "out" + " --json");
		ASSERT_EQ(r.status, 0) << s.kind;
		EXPECT_EQ(Files(dir / "out").size(), in.size()) << s.kind;
		if (std::string(s.to) == "ply")
		{
			const Ply ply = ReadPly(WithExtension(in[0], dir / "out", "ply"));
			EXPECT_GT(ply.vertices, 0) << s.kind;
			EXPECT_EQ(ply.names[0], "x") << s.kind;
		}
	}
}

TEST(CliConvert, AFailedWriteExitsNonZeroAndLeavesNothingUnderTheFinalName)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 1 --end 1 --count 2000").status, 0);
	const std::string in = Files(dir / "in")[0];
	ASSERT_TRUE(std::filesystem::create_directory(dir / "out"));
	// a file size limit makes the write fail part-way, as a full disk does
	const std::string cmd = "trap '' XFSZ; ulimit -f 8; " + std::string(TW_TWCONNECT) + " convert " + in +
		" --to ply --out " + dir / "out" + " 2>/dev/null";
	const int status = std::system(cmd.c_str());
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 1);
	EXPECT_TRUE(Files(dir / "out").empty()) << "a half-written or temporary file stays behind";
}

TEST(CliConvert, MissingAndUnreadableFramesFailTheRunButTheOthersAreWritten)
{
	TempDir dir;
	ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 1 --end 4 --count 50").status, 0);
	std::vector<std::string> in = Files(dir / "in");
	ASSERT_EQ(in.size(), 4u);
	std::filesystem::remove(in[1]);
	std::filesystem::resize_file(in[2], 400);
	EXPECT_EQ(Twconnect("convert " + in[0] + " --to csv --out " + dir / "out").status, 1);
	EXPECT_EQ(Files(dir / "out").size(), 2u);
	// a particle sequence has no OBJ form
	EXPECT_EQ(Twconnect("convert " + in[0] + " --to obj --out " + dir / "out").status, 2);
}
