// Invoking automation members for ActiveXObject, and reporting failures.
#include "host/com/ComCall.h"

#include "base/TextCodec.h"
#include "host/framework/SystemError.h"

namespace paloma::host {

void AutomationObject::markValues(quill::Engine& engine) const { quill::markValue(engine, self_); }

void reportComFailure(quill::Engine& engine, HRESULT status) {
    std::wstring text = systemErrorText(DWORD(status));
    std::string ansi = utf16ToAnsi(std::u16string(text.begin(), text.end()));
    engine.setErrorText(ansi);
    quill::writeTrace(engine, ansi);
}

namespace {
std::string bstrText(BSTR text) {
    if (!text)
        return {};
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
}
} // namespace

std::string exceptionText(const EXCEPINFO& info) {
    return bstrText(info.bstrSource) + ":" + bstrText(info.bstrDescription) + ". See also: " +
           bstrText(info.bstrHelpFile) + ".";
}

} // namespace paloma::host
