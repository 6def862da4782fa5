// The compile entry point, the emitter and the instruction list's text form.
#include "script/compiler/Compiler.h"

#include "base/TextCodec.h"
#include "script/compiler/CodeGen.h"
#include "script/image/ImageCode.h"
#include "script/compiler/Optimizer.h"
#include "script/compiler/Parser.h"

#include <cstdio>

namespace quill {

InstructionResult compileInstructions(std::string_view source, const CompileOptions& options, bool optimise) {
    InstructionResult result;
    Diagnostics diag;
    CodeGen gen(diag, result.list);
    ParserOptions po;
    po.warnSemicolon = (options.flags & kCompileWarnSemicolon) != 0;
    po.ecmaWarnings = (options.flags & kCompileEcmaWarnings) != 0;
    Parser parser(source, diag, gen, po);
    try {
        parser.parseProgram();
        if (optimise)
            optimize(result.list);
        result.ok = true;
    } catch (const CompileError&) {
        result.list = InstrList();
    }
    result.messages = diag.messages();
    return result;
}

// Two walks over the list: the first gives every label its byte offset, the
// second writes the bytes, entering operands into the pool as it meets them.
SectionSet emitSections(const InstrList& list, const CompileOptions& options) {
    SectionSet out;
    std::vector<uint32_t> labelOffset(static_cast<size_t>(list.labelCount), 0);
    uint32_t offset = 0;
    for (const Instr& in : list.code) {
        if (in.kind == InstrKind::Label)
            labelOffset[static_cast<size_t>(in.operand)] = offset;
        else if (in.kind == InstrKind::Op)
            offset += static_cast<uint32_t>(instructionSize(in.op));
    }
    bool lines = (options.flags & kCompileLineTable) != 0;
    if (lines)
        out.lines.sourceName = options.sourceName;
    ConstantPool pool;
    for (const Instr& in : list.code) {
        if (in.kind == InstrKind::Label)
            continue;
        if (in.kind == InstrKind::Entry) {
            FunctionEntry e;
            e.name = list.constants[static_cast<size_t>(in.operand)].text;
            e.offset = static_cast<uint32_t>(out.code.size());
            out.functions.push_back(std::move(e));
            continue;
        }
        int64_t operand = in.operand;
        switch (operandKind(in.op)) {
        case OperandKind::Name:
            operand = pool.identifier(list.constants[static_cast<size_t>(in.operand)].text);
            break;
        case OperandKind::Const: {
            const CodeConstant& c = list.constants[static_cast<size_t>(in.operand)];
            switch (c.kind) {
            case ConstantKind::Integer: operand = pool.integer(c.integer); break;
            case ConstantKind::Number: operand = pool.number(c.number); break;
            case ConstantKind::String: operand = pool.string(c.text); break;
            case ConstantKind::RegExp: operand = pool.regExp(c.text, c.flags); break;
            default: operand = pool.identifier(c.text); break;
            }
            break;
        }
        case OperandKind::Rel: {
            int64_t end = static_cast<int64_t>(out.code.size() + instructionSize(in.op));
            operand = static_cast<int64_t>(labelOffset[static_cast<size_t>(in.operand)]) - end;
            break;
        }
        default: break;
        }
        appendInstruction(out.code, in.op, operand);
        if (lines)
            out.lines.note(static_cast<uint32_t>(out.code.size()), static_cast<uint32_t>(in.line));
    }
    out.constants = pool.take();
    return out;
}

CompileResult compileScript(std::string_view source, const CompileOptions& options) {
    CompileResult result;
    InstructionResult code = compileInstructions(source, options);
    result.messages = std::move(code.messages);
    if (!code.ok)
        return result;
    result.sections = emitSections(code.list, options);
    result.ok = true;
    return result;
}

CompileResult compileFile(const std::filesystem::path& path, const CompileOptions& options) {
    std::string name = path.string();
    std::string text;
    bool read = false;
    if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        read = !std::ferror(f);
        std::fclose(f);
    }
    if (!read) {
        CompileResult failed;
        failed.messages = "can't open the script file: " + name + "\n";
        return failed;
    }
    CompileOptions named = options;
    named.sourceName = name;
    return compileScript(text, named);
}

CompileResult compileScript(std::u16string_view source, const CompileOptions& options) {
    return compileScript(paloma::utf16ToAnsi(source), options);
}

// ---------------------------------------------------------------------------
// Text form of the instruction list.

namespace {
std::string labelName(int64_t label) {
    std::string s(1, 'L');
    s += std::to_string(label);
    return s;
}
} // namespace

std::string InstrList::operandText(const Instr& in) const {
    switch (operandKind(in.op)) {
    case OperandKind::None: return {};
    case OperandKind::Rel: return labelName(in.operand);
    case OperandKind::Name: return constants[static_cast<size_t>(in.operand)].text;
    case OperandKind::Const: {
        const CodeConstant& c = constants[static_cast<size_t>(in.operand)];
        switch (c.kind) {
        case ConstantKind::Integer: return std::to_string(c.integer);
        case ConstantKind::Number: {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.17g", c.number);
            std::string s = buf;
            if (s.find_first_of(".eEni") == std::string::npos)
                s += ".0";
            return s;
        }
        case ConstantKind::String: return '"' + c.text + '"';
        case ConstantKind::RegExp: {
            std::string s = '/' + c.text + '/';
            if (c.flags & kRegExpGlobal)
                s += 'g';
            if (c.flags & kRegExpIgnoreCase)
                s += 'i';
            if (c.flags & kRegExpMultiline)
                s += 'm';
            return s;
        }
        default: return c.text;
        }
    }
    default: return std::to_string(in.operand);
    }
}

std::string InstrList::format() const {
    std::string s;
    for (const Instr& in : code) {
        switch (in.kind) {
        case InstrKind::Entry: s += constants[static_cast<size_t>(in.operand)].text + ":\n"; break;
        case InstrKind::Label:
            s += labelName(in.operand);
            s += ":\n";
            break;
        case InstrKind::Op: {
            s += "  ";
            s += mnemonic(in.op);
            std::string o = operandText(in);
            if (!o.empty())
                s += ' ' + o;
            s += '\n';
            break;
        }
        }
    }
    return s;
}

} // namespace quill
