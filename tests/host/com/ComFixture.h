#pragma once
// Test fixture: an engine with every class of the fixed order.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/ClassOrder.h"
#include "script/Quill.h"

namespace paloma::host::test {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
    }
    void run(const std::string& source) { ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText; }
    quill::Value global(const char* name) { return engine->global(engine->internName(name)); }
    int64_t integer(const char* name) {
        quill::Value v = global(name);
        EXPECT_TRUE(v.isInteger()) << name;
        return v.isInteger() ? v.asInteger() : -999999;
    }

    std::unique_ptr<quill::Engine> engine;
};

} // namespace paloma::host::test
