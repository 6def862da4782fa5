#pragma once
// Test fixture: an engine with every class of the fixed order and the
// TestObject class registered, its trace output captured.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/ClassOrder.h"
#include "script/Quill.h"
#include "tests/hostclass/TestHostClass.h"

namespace paloma::host::test {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        registerTestHostClass(*engine);
        quill::setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
    }

    // Runs a script that must succeed.
    void run(const std::string& source) {
        trace.clear();
        ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText;
    }

    quill::Value global(const char* name) { return engine->global(engine->internName(name)); }
    std::string text(const char* name) { return quill::valueToText(*engine, global(name)); }
    int64_t integer(const char* name) {
        quill::Value v = global(name);
        EXPECT_TRUE(v.isInteger()) << name << " is of kind " << static_cast<int>(v.kind);
        return v.isInteger() ? v.asInteger() : -999999;
    }
    bool traced(const std::string& line) const { return std::find(trace.begin(), trace.end(), line) != trace.end(); }

    std::unique_ptr<quill::Engine> engine;
    std::vector<std::string> trace;
};

} // namespace paloma::host::test
