#pragma once
// Test fixture: an engine with its trace output captured, and helpers to
// run assembled code.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/Quill.h"
#include "script/compiler/Compiler.h"
#include "script/vm/Calls.h"
#include "script/vm/Interpreter.h"
#include "script/vm/Loader.h"
#include "tests/script/vm/Assembler.h"

namespace quill::test {

class VmTest : public ::testing::Test {
protected:
    void SetUp() override { makeEngine(EngineOptions{}); }

    void makeEngine(const EngineOptions& options) {
        engine = createEngine(options);
        ASSERT_NE(engine, nullptr);
        setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
    }

    // Assembles and runs; returns whether the run succeeded.
    bool run(const std::string& text) {
        trace.clear();
        return runImage(*engine, assemble(text));
    }

    Value result() const { return engine->lastResult; }
    std::string error() const { return engine->errorText; }
    std::string text(const Value& v) { return valueToText(*engine, v); }

    Value& global(const char* name) { return engine->global(engine->internName(name)); }

    std::unique_ptr<Engine> engine;
    std::vector<std::string> trace;
};

} // namespace quill::test
