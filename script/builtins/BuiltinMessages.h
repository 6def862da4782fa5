#pragma once
// Every text the Array, String, RegExp, Number, Math and Date classes show to
// scripts or write to the trace output, by key. They are exact output.
//
//   QUILL_BUILTIN_MESSAGE(key, text)

#define QUILL_BUILTIN_MESSAGES(X)                                   \
    X(RegExpRuntimeError, "RegExp runtime error: ")                 \
    X(ArrayClassText, "[object Array]")                             \
    X(StringClassText, "[Object String]")                           \
    X(RegExpClassText, "[Object RegExp]")                           \
    X(NumberClassText, "[type Function]")                           \
    X(MathText, "[object Math]")                                    \
    X(DateClassText, "[object Date]")                               \
    X(NotANumber, "NaN")

namespace quill {

enum class BuiltinMessage {
#define QUILL_BUILTIN_MESSAGE_KEY(key, text) key,
    QUILL_BUILTIN_MESSAGES(QUILL_BUILTIN_MESSAGE_KEY)
#undef QUILL_BUILTIN_MESSAGE_KEY
};

constexpr const char* builtinMessage(BuiltinMessage key) {
    constexpr const char* kTexts[] = {
#define QUILL_BUILTIN_MESSAGE_TEXT(key, text) text,
        QUILL_BUILTIN_MESSAGES(QUILL_BUILTIN_MESSAGE_TEXT)
#undef QUILL_BUILTIN_MESSAGE_TEXT
    };
    return kTexts[int(key)];
}

} // namespace quill
