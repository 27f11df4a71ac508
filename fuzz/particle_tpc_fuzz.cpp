// particle_tpc_fuzz.cpp - arbitrary bytes through the particle .tpc reader, and through both
// inflaters of its blocks, which must agree.
#include "particle_tpc.h"

#include "fuzz_input.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

// The fast path must give zlib's verdict and, when good, zlib's bytes.
static void CheckInflaters(const uint8_t* in, int64_t in_bytes, int64_t out_bytes)
{
	if (out_bytes < 0)
		return;
	std::vector<unsigned char> fast(static_cast<size_t>(out_bytes) + 1), slow(static_cast<size_t>(out_bytes) + 1);
	const int a = TpcInflate(in, in_bytes, fast.data(), out_bytes);
	const int b = TpcInflateZlib(in, in_bytes, slow.data(), out_bytes);
	if (a != b || (a && std::memcmp(fast.data(), slow.data(), static_cast<size_t>(out_bytes)) != 0))
		std::abort();
}

// The whole input as one block (inputs that start as a zlib stream mutate into broken ones),
// against outputs of the length the stream gives, one byte shorter and one longer, and the block
// cut by one byte.
static void CheckBlock(const uint8_t* data, size_t size)
{
	std::vector<unsigned char> probe(1 << 16);
	uLongf made = static_cast<uLongf>(probe.size());
	uLong used = static_cast<uLong>(size);
	uncompress2(probe.data(), &made, data, &used);
	const int64_t n = static_cast<int64_t>(made), in = static_cast<int64_t>(size);
	for (int64_t out : {n - 1, n, n + 1})
	{
		CheckInflaters(data, in, out);
		if (in > 0)
			CheckInflaters(data, in - 1, out);
	}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	CheckBlock(data, size);
	const std::string path = WriteFuzzInput("particle_tpc_fuzz", data, size);
	if (path.empty())
		return 0;

	// a byte of the (unused) header vectors picks the share, so the selection sees hostile ids too
	static const float percentages[] = {100.0f, 50.0f, 10.0f, 0.0f, 33.3f, 250.0f};
	const float percentage = percentages[size > 16 ? data[16] % 6 : 0];
	TpcParticleFrame* frame = OpenTpc(path.c_str());
	if (frame && ReadTpc(frame, percentage))
	{
		float sum = 0.0f, v[3];
		for (int32_t i = 0; i < frame->kept_count; ++i)
		{
			for (int32_t code = 0; code <= 15; ++code)
				sum += GetTpcChannelValue(frame, i, code);
			GetTpcPosition(frame, i, v);
			sum += v[0] + static_cast<float>(GetTpcId(frame, i));
			for (int32_t c = 0; c < frame->channel_count; ++c)
			{
				const TpcChannel& ch = frame->channels[c];
				sum += GetTpcChannelScalar(frame, ch.name, i) + ReadScalar(ch.type, ch.data + int64_t(i) * ch.element_bytes) +
					   static_cast<float>(ReadInteger(ch.type, ch.data + int64_t(i) * ch.element_bytes));
			}
		}
		volatile float sink = sum;
		(void)sink;
	}
	FreeTpc(frame);
	return 0;
}
