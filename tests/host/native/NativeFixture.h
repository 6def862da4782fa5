#pragma once
// An engine with every class of the fixed order, for the native-call tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/ClassOrder.h"
#include "script/Quill.h"

namespace paloma::host::test {

class NativeTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        quill::setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
    }

    void run(const std::string& source) {
        trace.clear();
        ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText;
    }
    quill::Value global(const char* name) { return engine->global(engine->internName(name)); }
    std::string text(const char* name) { return quill::valueToText(*engine, global(name)); }
    // Runs the source and gives the text of the global `r`.
    std::string eval(const std::string& source) {
        run(source);
        return text("r");
    }

    std::unique_ptr<quill::Engine> engine;
    std::vector<std::string> trace;
};

} // namespace paloma::host::test
