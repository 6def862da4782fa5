#pragma once
// The live object behind an ActiveXObject and the failure reporting of
// automation calls. Windows only.

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "host/framework/WinHandles.h"
#include "script/Quill.h"

namespace paloma::host {

// What an ActiveXObject holds: the dispatch interface and the object's own
// script Value (`this` for its event handlers).
class AutomationObject {
public:
    explicit AutomationObject(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}
    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;

    IDispatch* dispatch() const { return dispatch_.get(); }
    void setSelf(const quill::Value& self) { self_ = self; }
    const quill::Value& self() const { return self_; }
    void markValues(quill::Engine& engine) const;

private:
    ComPtr<IDispatch> dispatch_;
    quill::Value self_;
};

// A failing status other than an exception: the system's text for it goes
// to the engine's error text and to the trace output.
void reportComFailure(quill::Engine& engine, HRESULT status);

// The text of a raised exception, "source:description. See also: help file.".
std::string exceptionText(const EXCEPINFO& info);

} // namespace paloma::host
