// play_dump.cpp - the particles and polygon objects the host holds, as JSON.
#include "play_dump.h"

#include <vector>

namespace
{

Json VectorJson(const Vector& v)
{
	return Json::array({v.x, v.y, v.z});
}

struct DataChannel
{
	Int32 number;
	Int32 type;
	std::string key;
};

// The channel's value for particle tp, or null when it holds none.
Json ChannelValue(const TP_MasterSystem* master, Int32 tp, const DataChannel& c)
{
	switch (c.type)
	{
		case DTYPE_VECTOR:
		{
			Vector v;
			return master->GetData(tp, c.number, &v, DTYPE_VECTOR_VALUE) ? VectorJson(v) : Json();
		}
		case DTYPE_REAL:
		{
			Float v = 0.0;
			return master->GetData(tp, c.number, &v, DTYPE_REAL_VALUE) ? Json(v) : Json();
		}
		case DTYPE_LONG:
		{
			Int32 v = 0;
			return master->GetData(tp, c.number, &v, DTYPE_LONG_VALUE) ? Json(v) : Json();
		}
		case DTYPE_BOOL:
		{
			Bool v = false;
			return master->GetData(tp, c.number, &v, DTYPE_BOOL_VALUE) ? Json(v) : Json();
		}
	}
	return Json();
}

} // namespace

std::string PlainChannelName(const std::string& name)
{
	const size_t open = name.rfind('(');
	if (open == std::string::npos || name.empty() || name.back() != ')')
		return name;
	size_t end = open;
	while (end > 0 && name[end - 1] == ' ')
		--end;
	return end > 0 ? name.substr(0, end) : name;
}

Json DumpParticles(const TP_MasterSystem* master, const TP_PGroup* group)
{
	Json particles = Json::array();
	if (!master || !group)
		return particles;
	std::vector<DataChannel> channels;
	const DataChannel* id_channel = nullptr;
	for (Int32 c = 0; c < master->NumDataChannels(); ++c)
		channels.push_back({c, master->GetDataChannelType(c), PlainChannelName(master->GetDataChannelName(c).Get())});
	for (const DataChannel& c : channels)
		if (c.key == "id")
			id_channel = &c;
	for (Int32 tp = master->GetFirstParticle(group); tp >= 0; tp = master->GetNextParticle(group, tp))
	{
		Json p = {
			{"tp", tp},
			{"id", id_channel ? ChannelValue(master, tp, *id_channel) : Json()},
			{"position", VectorJson(master->Position(tp))},
			{"velocity", VectorJson(master->Velocity(tp))},
			{"age", master->Age(tp).Get()},
			{"mass", master->Mass(tp)},
		};
		for (const DataChannel& c : channels)
		{
			// the fixed keys stay what they say, whatever a channel is called
			if (p.contains(c.key))
				continue;
			Json value = ChannelValue(master, tp, c);
			if (!value.is_null())
				p[c.key] = std::move(value);
		}
		particles.push_back(std::move(p));
	}
	return particles;
}

Json DumpMesh(const PolygonObject* built)
{
	Json points = Json::array(), polygons = Json::array(), tags = Json::array();
	if (!built)
		return {{"points", points}, {"polygons", polygons}, {"tags", tags}};
	const Vector* p = built->GetPointR();
	for (Int32 i = 0; p && i < built->GetPointCount(); ++i)
		points.push_back(VectorJson(p[i]));
	const CPolygon* v = built->GetPolygonR();
	for (Int32 i = 0; v && i < built->GetPolygonCount(); ++i)
		polygons.push_back({v[i].a, v[i].b, v[i].c, v[i].d});
	for (const BaseTag* t = built->GetFirstTag(); t; t = t->GetNext())
	{
		Json values;
		if (t->GetType() == Tvertexmap)
		{
			const VertexMapTag* map = static_cast<const VertexMapTag*>(t);
			const Float32* w = map->GetDataAddressR();
			values = Json::array();
			for (Int32 i = 0; w && i < map->GetDataCount(); ++i)
				values.push_back(JsonFloat(w[i]));
		}
		else if (t->GetType() == Tuvw)
		{
			const UVWTag* uvw = static_cast<const UVWTag*>(t);
			values = Json::array();
			for (Int32 i = 0; uvw->GetDataAddressR() && i < uvw->GetDataCount(); ++i)
			{
				UVWStruct s;
				UVWTag::Get(uvw->GetDataAddressR(), i, s);
				values.push_back({VectorJson(s.a), VectorJson(s.b), VectorJson(s.c), VectorJson(s.d)});
			}
		}
		tags.push_back({{"name", t->GetName().Get()}, {"values", values}});
	}
	return {{"points", points}, {"polygons", polygons}, {"tags", tags}};
}
