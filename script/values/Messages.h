#pragma once
// Every runtime error and warning text of the engine, byte for byte.
// Runtime errors reach errorText as "Runtime error: " + the message; warnings
// are written as they stand ("%s" is the name concerned).

namespace quill {

// ---- runtime errors ------------------------------------------------------------
inline constexpr const char* kErrStackOverflow = "stack overflow";
inline constexpr const char* kErrOutOfMemory = "Out of memory";
inline constexpr const char* kErrHookBreak = "hook break %d";
inline constexpr const char* kErrBadBytecode = "Unimplemented Quill Script bytecode";

// ---- warnings --------------------------------------------------------------------
inline constexpr const char* kWarnUndefinedVariable = "Warning: using undefined variable \"%s\"";
inline constexpr const char* kWarnUndefinedProperty = "Warning: using undefined property \"%s\"";
inline constexpr const char* kWarnWrongType = "Warning: can't set property \"%s\" with a wrong type";
inline constexpr const char* kWarnUndefinedFunction = "Warning: call a undefined function";
inline constexpr const char* kWarnUnknownMethod = "Warning: unknown method \"%s\"";
inline constexpr const char* kWarnInvalidConstructor = "Warning: invalid constructor";
inline constexpr const char* kWarnInvalidIndex = "Warning: invalid index for operator []";
inline constexpr const char* kWarnStringIndex = "Warning: string index out of range";
inline constexpr const char* kWarnStaticString = "Warning: can't change a static string";
inline constexpr const char* kWarnNonCharacter = "Warning: can't store a non-charactor value to string";

// Prefix of a runtime error in errorText.
inline constexpr const char* kRuntimeErrorPrefix = "Runtime error: ";

} // namespace quill
