// The bridge between the main window's control and the shell's engine.
#include "app/shell/MainWndBridge.h"

#include "app/bridge/FlashBridge.h"
#include "app/shell/MainWnd.h"
#include "app/shell/MainWndQuill.h"
#include "script/Quill.h"

#include <oleauto.h>

namespace paloma::shell {

namespace {

// Hands the call XML to the movie through the control's CallFunction and
// gives back its answer; nothing when there is no control or it refuses.
std::optional<std::u16string> callMovie(std::u16string_view callXml) {
    CMainWnd* window = CMainWnd::current();
    if (!window)
        return std::nullopt;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(callXml.data()), UINT(callXml.size()));
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = window->player().host().call(L"CallFunction", {arg}, &result);
    VariantClear(&arg);
    std::optional<std::u16string> answer;
    if (SUCCEEDED(hr) && result.vt == VT_BSTR && result.bstrVal)
        answer = std::u16string(reinterpret_cast<const char16_t*>(result.bstrVal), SysStringLen(result.bstrVal));
    VariantClear(&result);
    return answer;
}

// "quill_run", "quill_eval" and "exec" from the movie go where the same
// FSCommands go.
void dispatchFromMovie(quill::Engine&, std::string_view command, std::u16string_view argument) {
    if (CMainWnd* window = CMainWnd::current())
        window->dispatchCommand(std::wstring(command.begin(), command.end()),
                                std::wstring(argument.begin(), argument.end()));
}

} // namespace

void connectBridge(QuillShellScripts& scripts, std::function<void(quill::Engine&)> onCreated) {
    scripts.setEngineCreatedHook([onCreated = std::move(onCreated)](quill::Engine& engine) {
        bridge::installBridge(engine, callMovie);
        if (onCreated)
            onCreated(engine);
    });
    scripts.setBridge([](quill::Engine& engine, const std::wstring& request) -> std::optional<std::wstring> {
        bridge::BridgeHooks hooks;
        hooks.fsCommand = dispatchFromMovie;
        std::u16string answer =
            bridge::answerFlashCall(engine, std::u16string(request.begin(), request.end()), hooks);
        return std::wstring(answer.begin(), answer.end());
    });
}

} // namespace paloma::shell
