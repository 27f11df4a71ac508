// host_test.h - a test with the module loaded in the headless host and a fresh active document.
#pragma once

#include "headless.h"
#include "test_support.h"

#include <gtest/gtest.h>

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
