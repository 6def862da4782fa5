// Fuzz target: ExternalInterface requests from the movie (the XML parser,
// the value reader, every built-in bridge function and the answer writer).
// The input is UTF-8 request text. FSCommand requests go to an empty hook so
// that no input can start an endless script.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/bridge/FlashBridge.h"
#include "app/bridge/XmlValue.h"
#include "base/TextCodec.h"
#include "tests/bridge/WidgetClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<quill::Engine> engine = quill::createEngine();
    if (!engine)
        std::abort();
    paloma::bridge::test::registerWidgetClass(*engine);
    paloma::bridge::installBridge(*engine, [](std::u16string_view) -> std::optional<std::u16string> {
        return std::u16string(u"<number>1</number>");
    });
    if (!quill::evalSource(*engine, "w = new Widget(1); function echo(a) { return a; }"))
        std::abort();

    std::u16string request = paloma::utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    paloma::bridge::BridgeHooks hooks;
    hooks.fsCommand = [](quill::Engine&, std::string_view, std::u16string_view) {};
    std::u16string answer = paloma::bridge::answerFlashCall(*engine, request, hooks);
    // Every answer is one value element the reader accepts.
    quill::Value v;
    if (answer.empty() || !paloma::bridge::readXmlValue(*engine, answer, v))
        std::abort();
    paloma::bridge::removeBridge(*engine);
    return 0;
}
