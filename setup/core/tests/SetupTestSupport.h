#pragma once
// What the setup core's tests share: a registry of their own and a scripted prompt whose
// script must be used up exactly.

#include "Prompt.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <cstdlib>
#include <filesystem>
#include <string>

// A test with its own registry hives and temporary directory.
class SetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir / "registry");
        setenv("DORVALE_REGISTRY", (m_dir / "registry").c_str(), 1);
    }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    std::string Dir(const std::string& name) const {
        std::filesystem::create_directories(m_dir / name);
        return m_dir / name;
    }

    testsupport::CTempDir m_dir;
};

// Every scripted message was asked, in order, with its text and caption.
#define EXPECT_SCRIPT_DONE(prompt) EXPECT_THAT((prompt).Problems(), ::testing::IsEmpty())
