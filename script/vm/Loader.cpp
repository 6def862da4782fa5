// Loading a section set into an engine and running its ".main".
#include "script/vm/Loader.h"

#include <cmath>
#include <string>
#include <vector>

#include "script/values/String.h"
#include "script/vm/Calls.h"
#include "script/vm/Code.h"
#include "script/vm/Interpreter.h"
#include "script/values/Messages.h"

namespace quill {

namespace {

constexpr std::string_view kAnonymousPrefix = "@F_";

// "@F_" followed by (n + base) for a name "@F_n"; other names unchanged.
std::string renumberAnonymous(std::string_view name, uint32_t base) {
    if (name.substr(0, kAnonymousPrefix.size()) != kAnonymousPrefix || name.size() == kAnonymousPrefix.size())
        return std::string(name);
    uint64_t n = 0;
    for (char c : name.substr(kAnonymousPrefix.size())) {
        if (c < '0' || c > '9' || n > 0xFFFFFFFFu)
            return std::string(name);
        n = n * 10 + uint64_t(c - '0');
    }
    // Not snprintf: formatted output would be the only reason a short run
    // maps the C library's whole printf machinery.
    return std::string(kAnonymousPrefix) + std::to_string(uint32_t(n) + base);
}

bool isAnonymous(std::string_view name) {
    return name.substr(0, kAnonymousPrefix.size()) == kAnonymousPrefix;
}

// Appends the image's constants to the engine's pool; returns the symbol id
// of every identifier entry (-1 for the others).
std::vector<SymbolId> appendConstants(Engine& engine, const SectionSet& sections, uint32_t base,
                                      bool append) {
    VmState& vm = vmState(engine);
    std::vector<SymbolId> symbols(sections.constants.size(), SymbolId(-1));
    for (size_t i = 0; i < sections.constants.size(); ++i) {
        const Constant& c = sections.constants[i];
        Value v;
        switch (c.kind) {
        case ConstantKind::Null: v = Value::null(); break;
        case ConstantKind::Boolean: v = Value::boolean(c.integer != 0); break;
        case ConstantKind::Integer: v = Value::integer(c.integer); break;
        case ConstantKind::Number: v = std::isnan(c.number) ? Value::nan() : Value::floating(c.number); break;
        case ConstantKind::NaN: v = Value::nan(); break;
        case ConstantKind::String: {
            const char16_t* text = engine.keepConstantText(c.text);
            v = newStaticString(engine, text, c.text.size());
            break;
        }
        case ConstantKind::RegExp:
            if (vm.regExpConstant) {
                v = vm.regExpConstant(engine, c.text, c.flags);
            } else {
                const char16_t* text = engine.keepConstantText(c.text);
                v = newStaticString(engine, text, c.text.size());
            }
            break;
        case ConstantKind::Identifier: {
            SymbolId id = engine.internName(renumberAnonymous(c.name, base));
            symbols[i] = id;
            v = Value::symbol(id);
            break;
        }
        default: engine.raiseError(kErrBadBytecode);
        }
        if (append)
            engine.addConstant(v);
    }
    return symbols;
}

} // namespace

Value newFunctionValue(Engine& engine, CompiledFunction* compiled) {
    auto* ref = static_cast<FunctionRef*>(engine.gcAllocZeroed(sizeof(FunctionRef)));
    ref->compiled = &compiled->gc;
    ref->props = nullptr;
    return Value::function(ref);
}

bool runImage(Engine& engine, LoadedImage& image) {
    return runAsEntryPoint(engine, [&] {
        const SectionSet& sections = image.sections();
        const uint32_t functionBase = engine.functionCount;

        // 1. Constants: appended on the first load into this engine, reused
        // by later runs of the same image object.
        bool reuse = image.engine_ == &engine;
        if (!reuse) {
            image.constantBase_ = engine.constants.size();
        }
        // Symbols are interned either way (the names of a reused image were
        // interned by its first load and come out the same).
        uint32_t nameBase = functionBase;
        std::vector<SymbolId> symbols;
        if (reuse) {
            symbols.assign(sections.constants.size(), SymbolId(-1));
            for (size_t i = 0; i < sections.constants.size(); ++i) {
                const Value& v = engine.constants[image.constantBase_ + i];
                if (v.isSymbol())
                    symbols[i] = v.asSymbol();
            }
        } else {
            symbols = appendConstants(engine, sections, nameBase, true);
            image.engine_ = &engine;
        }
        const uint32_t base = uint32_t(image.constantBase_);

        // 2. Link every function before any of it is bound or runs.
        std::string sourceName = sections.lines.sourceName.value_or(kUnknownSourceName);
        struct Linked {
            CompiledFunction* compiled;
            std::string name;
        };
        std::vector<Linked> linked;
        linked.reserve(sections.functions.size());
        for (size_t i = 0; i < sections.functions.size(); ++i) {
            std::string error;
            auto code = linkFunction(sections, i, base, symbols, &error);
            if (!code)
                engine.raiseError(kErrBadBytecode);
            const std::string& name = sections.functions[i].name;
            linked.push_back({newCompiledFunction(engine, *code, name, sourceName), name});
        }

        // 3. Bind every function but ".main" to its global.
        Value main = Value::undefined();
        for (Linked& f : linked) {
            if (f.name == kMainFunctionName) {
                main = newFunctionValue(engine, f.compiled);
                continue;
            }
            std::string name = f.name;
            if (isAnonymous(name)) {
                name = renumberAnonymous(name, functionBase);
                ++engine.functionCount;
            }
            SymbolId id = engine.internName(name);
            engine.global(id) = newFunctionValue(engine, f.compiled);
        }

        // 4. Run ".main" with no `this` and no arguments.
        if (main.isFunction()) {
            Value noArgs[1] = {Value::integer(0)};
            Value result;
            runFunction(engine, Value::null(), main, ArgList{noArgs}, result);
            engine.lastResult = result;
        }
    });
}

bool checkImage(const SectionSet& sections, std::string* error) {
    std::vector<SymbolId> symbols(sections.constants.size(), SymbolId(-1));
    for (size_t i = 0; i < symbols.size(); ++i)
        if (sections.constants[i].kind == ConstantKind::Identifier)
            symbols[i] = 0;
    for (size_t i = 0; i < sections.functions.size(); ++i)
        if (!linkFunction(sections, i, 0, symbols, error))
            return false;
    return true;
}

bool runImage(Engine& engine, const SectionSet& sections) {
    LoadedImage image(sections);
    return runImage(engine, image);
}

} // namespace quill
