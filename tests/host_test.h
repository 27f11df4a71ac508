// host_test.h - a test with the module loaded in the headless host and a fresh active document.
#pragma once

#include "headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

// A key of one component of an object's vector parameter (position, rotation, scale) at a frame of the
// document's rate; the track is made on first use.
inline void KeyComponent(BaseObject* op, Int32 param, Int32 component, Int32 frame, Float value, Int32 fps)
{
	const DescID id(DescLevel(param, DTYPE_VECTOR, 0), DescLevel(component, DTYPE_REAL, 0));
	CTrack* track = op->FindCTrack(id);
	if (!track)
	{
		track = CTrack::Alloc(op, id);
		op->InsertTrackSorted(track);
	}
	track->GetCurve()->AddKey(BaseTime(frame, fps))->SetValue(track->GetCurve(), value);
}

class HostTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		headless::Reset();
		ASSERT_TRUE(module.Load(BuiltPluginFolder()));
		doc = BaseDocument::Alloc();
		doc->SetFps(25);
		headless::SetActiveDocument(doc);
	}
	void TearDown() override
	{
		headless::SetActiveDocument(nullptr);
		BaseDocument::Free(doc);
		module.Unload();
		headless::Reset();
	}

	headless::Module module;
	BaseDocument* doc = nullptr;
};
