// cli_node_test.cpp - twconnect node: what a Particle Node gives per particle, against the frame files,
// as JSON and as CSV, and the arguments it refuses.
#include "cli_support.h"
#include "importer_files.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace
{

class CliNode : public ::testing::Test
{
protected:
	TempDir dir;
	void SetUp() override
	{
		ASSERT_EQ(Twconnect("sample particles " + dir / "in" + " --start 0 --end 2 --count 40").status, 0);
	}
	std::string First() const { return dir / "in/splash_00000.bin"; }
};

TEST_F(CliNode, JsonGivesEveryParticlesPositionVelocityAndIdAsItsFrameFileHoldsThem)
{
	CliRun r = Twconnect("node --json " + First(), dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	const std::vector<Json> lines = JsonLines(r.out);
	ASSERT_EQ(lines.size(), 3u) << r.out;
	for (int frame = 0; frame <= 2; ++frame)
	{
		const Json& line = lines[static_cast<size_t>(frame)];
		EXPECT_EQ(line["frame"], frame);
		ParticleFile file = ReadParticles(dir / ("in/splash_0000" + std::to_string(frame) + ".bin"));
		ASSERT_TRUE(file);
		const int n = file->header.particle_count;
		ASSERT_EQ(line["particles"].size(), static_cast<size_t>(n));
		// by id: the node walks the group in its own order
		std::map<long long, int> index;
		for (int i = 0; i < n; ++i)
			index[file->id[i]] = i;
		for (const Json& p : line["particles"])
		{
			ASSERT_EQ(p.size(), 3u) << p;
			const auto at = index.find(p["Id"].get<long long>());
			ASSERT_NE(at, index.end()) << p;
			const int i = at->second;
			for (int k = 0; k < 3; ++k)
			{
				// positions in the host's units, velocities as the file holds them
				EXPECT_EQ(p["Position"][k].get<double>(), static_cast<double>(file->position[3 * i + k]) * 100.0) << p;
				EXPECT_EQ(p["Velocity"][k].get<double>(), static_cast<double>(file->velocity[3 * i + k])) << p;
			}
			index.erase(at);
		}
		EXPECT_TRUE(index.empty()) << "particles the node did not give: " << index.size();
	}
}

TEST_F(CliNode, CsvHasAHeaderRowAndOneRowPerParticleOfTheChosenFrameAndPorts)
{
	CliRun r = Twconnect("node --frame 1 --ports 'id, number of neighbors,Texture,Age' " + First(), dir / "err");
	ASSERT_EQ(r.status, 0) << ReadFile(dir / "err");
	std::istringstream lines(r.out);
	std::string line;
	ASSERT_TRUE(std::getline(lines, line));
	EXPECT_EQ(line, "frame,Id,Number of Neighbors,Texture.x,Texture.y,Texture.z,Age");
	ParticleFile file = ReadParticles(dir / "in/splash_00001.bin");
	ASSERT_TRUE(file);
	std::map<long long, int> index;
	for (int i = 0; i < file->header.particle_count; ++i)
		index[file->id[i]] = i;
	int rows = 0;
	while (std::getline(lines, line))
	{
		++rows;
		long long frame = 0, id = 0, neighbors = 0;
		double u = 0, v = 0, w = 0, age = 0;
		ASSERT_EQ(std::sscanf(line.c_str(), "%lld,%lld,%lld,%lf,%lf,%lf,%lf", &frame, &id, &neighbors, &u, &v, &w, &age), 7)
			<< line;
		EXPECT_EQ(frame, 1);
		ASSERT_TRUE(index.count(id)) << line;
		const int i = index[id];
		EXPECT_EQ(neighbors, file->neighbors[i]);
		EXPECT_EQ(u, static_cast<double>(file->texture[3 * i]));
		EXPECT_GE(age, 0.0);
	}
	EXPECT_EQ(rows, file->header.particle_count);
}

TEST_F(CliNode, RefusesUnknownPortsAndReportsAGroupThatDoesNotExist)
{
	CliRun r = Twconnect("node --ports Position,Colour " + First(), dir / "err");
	EXPECT_EQ(r.status, 2);
	const std::string err = ReadFile(dir / "err");
	EXPECT_NE(err.find("no output port 'Colour'"), std::string::npos) << err;
	EXPECT_NE(err.find("Number of Neighbors"), std::string::npos) << err;

	r = Twconnect("node --group nowhere " + First(), dir / "err");
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(ReadFile(dir / "err").find("no particle group named 'nowhere'"), std::string::npos);

	ASSERT_EQ(Twconnect("sample mesh " + dir / "mesh" + " --start 0 --end 0").status, 0);
	EXPECT_EQ(Twconnect("node " + dir / "mesh/surface_00000.bin").status, 2);
}

} // namespace
