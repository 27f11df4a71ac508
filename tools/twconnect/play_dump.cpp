// play_dump.cpp - the particles and polygon objects the host holds, as JSON.
#include "play_dump.h"

#include <cstdio>
#include <string>
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

namespace
{

// Writes "[e0,e1,...]" with each element's compact JSON text, one element in memory at a time.
template <typename Element>
void WriteArray(std::FILE* out, Int32 count, Element element)
{
	std::fputc('[', out);
	for (Int32 i = 0; i < count; ++i)
	{
		if (i > 0)
			std::fputc(',', out);
		const std::string text = JsonText(element(i));
		std::fwrite(text.data(), 1, text.size(), out);
	}
	std::fputc(']', out);
}

} // namespace

void WriteMeshDump(std::FILE* out, const PolygonObject* built)
{
	const Vector* p = built ? built->GetPointR() : nullptr;
	const CPolygon* v = built ? built->GetPolygonR() : nullptr;
	std::fputs("{\"points\":", out);
	WriteArray(out, p ? built->GetPointCount() : 0, [p](Int32 i) { return VectorJson(p[i]); });
	std::fputs(",\"polygons\":", out);
	WriteArray(out, v ? built->GetPolygonCount() : 0,
		[v](Int32 i) { return Json::array({v[i].a, v[i].b, v[i].c, v[i].d}); });
	std::fputs(",\"tags\":[", out);
	for (const BaseTag* t = built ? built->GetFirstTag() : nullptr; t; t = t->GetNext())
	{
		if (t != built->GetFirstTag())
			std::fputc(',', out);
		std::fprintf(out, "{\"name\":%s,\"values\":", JsonText(t->GetName().Get()).c_str());
		if (t->GetType() == Tvertexmap)
		{
			const VertexMapTag* map = static_cast<const VertexMapTag*>(t);
			const Float32* w = map->GetDataAddressR();
			WriteArray(out, w ? map->GetDataCount() : 0, [w](Int32 i) { return Json(JsonFloat(w[i])); });
		}
		else if (t->GetType() == Tuvw)
		{
			const UVWTag* uvw = static_cast<const UVWTag*>(t);
			WriteArray(out, uvw->GetDataAddressR() ? uvw->GetDataCount() : 0, [uvw](Int32 i) {
				UVWStruct s;
				UVWTag::Get(uvw->GetDataAddressR(), i, s);
				return Json::array({VectorJson(s.a), VectorJson(s.b), VectorJson(s.c), VectorJson(s.d)});
			});
		}
		else
			std::fputs("null", out);
		std::fputc('}', out);
	}
	std::fputs("]}", out);
}
